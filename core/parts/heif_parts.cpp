// SPDX-License-Identifier: GPL-3.0-or-later
// The parts of a HEIF file (heif_parts.h): items classified by their references and properties,
// the motion photo's 'mpvd' box and Samsung's 'sefd' box, and the overlap check over them all.
#include "core/parts/heif_parts.h"

#include <algorithm>
#include <array>
#include <map>
#include <optional>
#include <set>
#include <string_view>
#include <unordered_map>

#include "core/common/file_io.h"
#include "core/heif_boxes/box_cursor.h"
#include "core/heif_boxes/heif_structure.h"
#include "core/mpo/byte_source.h"
#include "core/parts/heif_payloads.h"
#include "core/parts/samsung_trailer.h"

namespace veltrane::parts {

namespace hb = heif_boxes;
using namespace heif_payloads;
using hb::FourCc;
using hb::MakeFourCc;

namespace {

constexpr FourCc kAuxl = MakeFourCc("auxl"), kThmb = MakeFourCc("thmb"), kDimg = MakeFourCc("dimg"),
                 kTmap = MakeFourCc("tmap"), kExif = MakeFourCc("Exif"), kMime = MakeFourCc("mime"),
                 kMpvd = MakeFourCc("mpvd"), kSefd = MakeFourCc("sefd"), kFtyp = MakeFourCc("ftyp"),
                 kAv01 = MakeFourCc("av01"), kHvc1 = MakeFourCc("hvc1"), kQuickTime = MakeFourCc("qt  ");

// What an auxiliary image is, by the URN of its 'auxC' property.
struct AuxiliaryKind {
    std::string_view urn;
    PartKind kind;
    std::string_view role;
};
inline constexpr std::array<AuxiliaryKind, 7> kAuxiliaryKinds{{
    {"urn:com:apple:photo:2020:aux:hdrgainmap", PartKind::GainMap, "gain map"},
    {"urn:com:samsung:photo:2024:aux:hdrgainmap", PartKind::GainMap, "gain map"},
    {"urn:mpeg:hevc:2015:auxid:2", PartKind::DepthMap, "depth map"},
    {"urn:mpeg:mpegB:cicp:systems:auxiliary:depth", PartKind::DepthMap, "depth map"},
    {"urn:mpeg:hevc:2015:auxid:1", PartKind::Other, "alpha"},
    {"urn:mpeg:mpegB:cicp:systems:auxiliary:alpha", PartKind::Other, "alpha"},
    {"urn:com:apple:photo:2018:aux:portraiteffectsmatte", PartKind::Other, "portrait effects matte"},
}};
// Apple's segmentation mattes: urn:com:apple:photo:2019:aux:semantic<what>matte.
constexpr std::string_view kAppleMattePrefix = "urn:com:apple:photo:2019:aux:semantic";
constexpr std::string_view kAppleMatteSuffix = "matte";

// The record of a Samsung trailer that holds the motion photo's video.
constexpr std::string_view kSamsungVideoRecord = "MotionPhoto_Data";

// The ranges of one image part: the item and, for a derived image, its inputs.
constexpr std::size_t kMaxImageItems = 4096;
constexpr int kMaxDerivationDepth = 8;

struct PendingPart {
    FilePart part;
    int imageRank = -1;  // place among the numbered images; -1 for every other part
};

std::string ItemName(const hb::HeifItem& item) {
    return "item " + std::to_string(item.id) + " ('" + hb::FourCcText(item.type) + "')";
}

// The kind and role of an auxiliary image.
std::pair<PartKind, std::string> ClassifyAuxiliary(const std::string& urn) {
    for (const auto& row : kAuxiliaryKinds)
        if (urn == row.urn) return {row.kind, std::string(row.role)};
    const std::string_view text = urn;
    if (text.starts_with(kAppleMattePrefix) && text.ends_with(kAppleMatteSuffix) &&
        text.size() > kAppleMattePrefix.size() + kAppleMatteSuffix.size()) {
        const auto what = text.substr(kAppleMattePrefix.size(),
                                      text.size() - kAppleMattePrefix.size() - kAppleMatteSuffix.size());
        return {PartKind::Other, std::string(what) + " matte"};
    }
    return {PartKind::Other, urn.empty() ? std::string("auxiliary image") : urn};
}

// A 'mime' item's content type as the part's MIME type: type/subtype in printable characters.
bool PlausibleMime(const std::string& text) {
    constexpr std::size_t kLongest = 127;
    return !text.empty() && text.size() <= kLongest && text.find('/') != std::string::npos &&
           std::all_of(text.begin(), text.end(), [](char c) { return c > 0x20 && c < 0x7F; });
}

class ItemGraph {
public:
    explicit ItemGraph(const hb::HeifStructure& s) {
        for (const auto& ref : s.references) {
            if (ref.type == kAuxl) auxiliary_.emplace(ref.from, ref.to.empty() ? 0 : ref.to.front());
            if (ref.type == kThmb) thumbnails_.insert(ref.from);
            if (ref.type == kDimg) {
                inputs_.emplace(ref.from, ref.to);
                const hb::HeifItem* from = s.FindItem(ref.from);
                // ISO 21496-1: a 'tmap' image derives from the base image and the gain map.
                if (from != nullptr && from->type == kTmap && ref.to.size() >= 2) toneMapGainMaps_.insert(ref.to[1]);
            }
        }
    }

    bool IsAuxiliary(std::uint32_t id) const { return auxiliary_.count(id) != 0; }
    // The image an auxiliary image belongs to (0 when it names none).
    std::uint32_t MasterOf(std::uint32_t id) const {
        const auto it = auxiliary_.find(id);
        return it == auxiliary_.end() ? 0 : it->second;
    }
    bool IsThumbnail(std::uint32_t id) const { return thumbnails_.count(id) != 0; }
    bool IsToneMapGainMap(std::uint32_t id) const { return toneMapGainMaps_.count(id) != 0; }

    // The item and the inputs it derives from, depth first, each once.
    std::vector<std::uint32_t> Closure(std::uint32_t id) const {
        std::vector<std::uint32_t> out;
        std::set<std::uint32_t> seen;
        Collect(id, 0, out, seen);
        return out;
    }
    const std::vector<std::uint32_t>* InputsOf(std::uint32_t id) const {
        const auto it = inputs_.find(id);
        return it == inputs_.end() ? nullptr : &it->second;
    }

private:
    void Collect(std::uint32_t id, int depth, std::vector<std::uint32_t>& out, std::set<std::uint32_t>& seen) const {
        if (depth > kMaxDerivationDepth || out.size() >= kMaxImageItems || !seen.insert(id).second) return;
        out.push_back(id);
        if (const auto* inputs = InputsOf(id))
            for (const auto input : *inputs) Collect(input, depth + 1, out, seen);
    }

    std::map<std::uint32_t, std::uint32_t> auxiliary_;  // auxiliary image -> its image
    std::set<std::uint32_t> thumbnails_, toneMapGainMaps_;
    std::unordered_map<std::uint32_t, std::vector<std::uint32_t>> inputs_;
};

// The MIME type of an image part as written: a single-image HEIF file of its codec.
std::string ImageMime(const hb::HeifStructure& s, const std::vector<std::uint32_t>& closure) {
    bool av1 = false, hevc = false;
    for (const auto id : closure) {
        const hb::HeifItem* item = s.FindItem(id);
        if (item == nullptr) continue;
        av1 = av1 || item->type == kAv01;
        hevc = hevc || item->type == kHvc1;
    }
    return av1 ? "image/avif" : hevc ? "image/heic" : "image/heif";
}

class HeifPartFinder {
public:
    HeifPartFinder(ByteSource& source, PartList& out) : source_(source), out_(out) {}

    void AddItems(const hb::HeifStructure& s) {
        const ItemGraph graph(s);
        auto numbered = s.NumberedImages();
        const auto primary = std::find(numbered.begin(), numbered.end(), s.primaryItem);
        if (primary != numbered.end()) std::rotate(numbered.begin(), primary, primary + 1);
        const auto pair = s.FindStereoPair();
        for (const auto& item : s.items) {
            PendingPart p;
            p.part.locatedBy = PartLocator::HeifItem;
            p.part.heifItemId = item.id;
            std::vector<std::uint32_t> closure{item.id};
            const auto rank = std::find(numbered.begin(), numbered.end(), item.id);
            if (rank != numbered.end()) {
                p.imageRank = static_cast<int>(rank - numbered.begin());
                p.part.kind = PartKind::Image;
                p.part.role = item.id == s.primaryItem ? "primary"
                              : pair && item.id == pair->left  ? "left"
                              : pair && item.id == pair->right ? "right"
                                                               : "image";
            } else if (item.IsImage() && graph.IsAuxiliary(item.id)) {
                std::tie(p.part.kind, p.part.role) = ClassifyAuxiliary(item.auxiliaryType);
                if (graph.IsThumbnail(graph.MasterOf(item.id))) p.part.role = "thumbnail " + p.part.role;
            } else if (item.IsImage() && graph.IsThumbnail(item.id)) {
                p.part.kind = PartKind::Thumbnail;
                p.part.role = "thumbnail";
            } else if (item.IsImage() && graph.IsToneMapGainMap(item.id)) {
                p.part.kind = PartKind::GainMap;
                p.part.role = "gain map";
            } else if (item.type == kTmap) {
                p.part.kind = PartKind::Other;
                p.part.mime = "application/octet-stream";
                p.part.role = "tone map";
            } else if (item.type == kExif) {
                p.part.mime = "application/octet-stream";
                p.part.role = "Exif";
            } else if (item.type == kMime) {
                p.part.mime = PlausibleMime(item.contentType) ? item.contentType : "application/octet-stream";
                p.part.role = item.contentType == "application/rdf+xml" ? "XMP" : "metadata";
            } else {
                continue;  // the tiles of a grid, hidden images nothing refers to, other items
            }
            if (item.IsImage()) {
                closure = graph.Closure(item.id);
                p.part.mime = ImageMime(s, closure);
            }
            try {
                for (const auto id : closure)
                    for (const auto& range : hb::ItemFileRanges(s, id))
                        p.part.ranges.push_back({static_cast<std::int64_t>(range.offset),
                                                 static_cast<std::int64_t>(range.length)});
            } catch (const hb::HeifFormatError& e) {
                out_.problems.push_back("The " + p.part.role + " (" + ItemName(item) + ") is not listed: " + e.what() + ".");
                continue;
            }
            pending_.push_back(std::move(p));
        }
    }

    void AddFileBoxes(const hb::HeifFileBoxes& boxes) {
        for (const auto& box : boxes.boxes) {
            const std::uint64_t payload = box.span.offset + box.span.headerSize;
            const std::uint64_t end = box.span.offset + box.span.size;
            if (box.type == kMpvd) {
                if (box.cutShort) {
                    out_.problems.push_back("The motion photo's 'mpvd' box at offset " + std::to_string(box.span.offset) +
                                            " is cut short: its video is not listed.");
                    continue;
                }
                AddMotionPhotoBox(payload, end);
            } else if (box.type == kSefd) {
                if (box.cutShort) {
                    out_.problems.push_back("The Samsung 'sefd' box at offset " + std::to_string(box.span.offset) +
                                            " is cut short: its records are not listed.");
                    continue;
                }
                const SamsungTrailer trailer = ReadTrailer(payload, end);
                if (!trailer.found) {
                    out_.problems.push_back("The Samsung 'sefd' box at offset " + std::to_string(box.span.offset) +
                                            " holds no trailer directory.");
                    continue;
                }
                AddTrailerRecords(trailer, {});
            }
        }
        if (!boxes.problem.empty()) out_.problems.push_back("The file's boxes: " + boxes.problem + ".");
    }

    void Finish() {
        std::stable_sort(pending_.begin(), pending_.end(), [](const PendingPart& a, const PendingPart& b) {
            if ((a.imageRank >= 0) != (b.imageRank >= 0)) return a.imageRank >= 0;
            if (a.imageRank >= 0) return a.imageRank < b.imageRank;
            return FirstOffset(a.part) < FirstOffset(b.part);
        });
        for (auto& p : pending_) {
            p.part.number = static_cast<int>(out_.parts.size()) + 1;
            out_.parts.push_back(std::move(p.part));
        }
        CheckOverlaps();
    }

private:
    static std::int64_t FirstOffset(const FilePart& part) {
        std::int64_t first = INT64_MAX;
        for (const auto& r : part.ranges) first = std::min(first, r.offset);
        return first;
    }

    // The payload of 'mpvd': an MP4 (or QuickTime) file, possibly followed by a Samsung trailer.
    void AddMotionPhotoBox(std::uint64_t begin, std::uint64_t end) {
        const SamsungTrailer trailer = ReadTrailer(begin, end);
        const std::uint64_t videoLimit = trailer.found ? static_cast<std::uint64_t>(trailer.start) : end;
        const auto movie = WalkMovieBoxes(source_, begin, videoLimit);
        PendingPart video;
        video.part.kind = PartKind::Video;
        video.part.locatedBy = PartLocator::HeifBox;
        video.part.role = "motion photo";
        if (movie.end > begin) {
            video.part.mime = movie.brand == kQuickTime ? "video/quicktime" : "video/mp4";
            video.part.ranges.push_back({static_cast<std::int64_t>(begin), static_cast<std::int64_t>(movie.end - begin)});
            if (!trailer.found && movie.end < end)
                out_.problems.push_back("The 'mpvd' box holds " + std::to_string(end - movie.end) +
                                        " bytes after its video that are no box of it.");
            pending_.push_back(std::move(video));
        } else if (!trailer.found) {
            out_.problems.push_back("The 'mpvd' box at offset " + std::to_string(begin) +
                                    " holds no video that starts with an 'ftyp' box.");
        }
        if (trailer.found) {
            const ByteRange videoRange{static_cast<std::int64_t>(begin), static_cast<std::int64_t>(movie.end - begin)};
            AddTrailerRecords(trailer, movie.end > begin ? std::optional(videoRange) : std::nullopt);
        }
    }

    // The Samsung trailer that ends the box payload [begin, end), its problems noted.
    SamsungTrailer ReadTrailer(std::uint64_t begin, std::uint64_t end) {
        SamsungTrailer trailer =
            ReadSamsungTrailer(source_, static_cast<std::int64_t>(end), static_cast<std::int64_t>(begin));
        out_.problems.insert(out_.problems.end(), trailer.problems.begin(), trailer.problems.end());
        return trailer;
    }

    // The records of a Samsung trailer; a video record that repeats the video already listed
    // (the MP4 of the same 'mpvd' box) is left out.
    void AddTrailerRecords(const SamsungTrailer& trailer, std::optional<ByteRange> listedVideo) {
        for (const auto& record : trailer.records) {
            PendingPart p;
            p.part.locatedBy = PartLocator::SamsungTrailer;
            p.part.ranges.push_back({static_cast<std::int64_t>(record.dataOffset), static_cast<std::int64_t>(record.dataLength)});
            if (record.name == kSamsungVideoRecord) {
                if (listedVideo) {
                    const auto& r = p.part.ranges.front();
                    if (r.offset < listedVideo->offset + listedVideo->length && listedVideo->offset < r.offset + r.length) continue;
                }
                p.part.kind = PartKind::Video;
                p.part.role = "motion photo";
                const auto movie = WalkMovieBoxes(source_, static_cast<std::uint64_t>(record.dataOffset),
                                                  static_cast<std::uint64_t>(record.dataOffset + record.dataLength));
                p.part.mime = movie.brand == kQuickTime ? "video/quicktime" : "video/mp4";
            } else {
                p.part.kind = PartKind::Other;
                p.part.mime = "application/octet-stream";
                p.part.role = record.name;
            }
            pending_.push_back(std::move(p));
        }
    }

    // Ranges that overlap: each pair once, the first part found holding the range named first.
    void CheckOverlaps() {
        struct Piece {
            std::int64_t offset, end;
            int part;
        };
        std::vector<Piece> pieces;
        for (const auto& part : out_.parts)
            for (const auto& r : part.ranges)
                if (r.length > 0) pieces.push_back({r.offset, r.offset + r.length, part.number});
        std::sort(pieces.begin(), pieces.end(), [](const Piece& a, const Piece& b) {
            return a.offset != b.offset ? a.offset < b.offset : a.end > b.end;
        });
        std::set<std::pair<int, int>> reported;
        std::vector<Piece> open;  // pieces that reach past the current start, longest reach first
        for (const auto& piece : pieces) {
            std::erase_if(open, [&](const Piece& o) { return o.end <= piece.offset; });
            for (const auto& o : open) {
                if (o.part == piece.part) continue;
                const auto key = std::minmax(o.part, piece.part);
                if (!reported.insert(key).second) continue;
                if (piece.end <= o.end)
                    out_.problems.push_back("Part " + std::to_string(piece.part) + " lies inside part " +
                                            std::to_string(o.part) + " (bytes " + std::to_string(piece.offset) + " to " +
                                            std::to_string(piece.end) + ").");
                else
                    out_.problems.push_back("Parts " + std::to_string(o.part) + " and " + std::to_string(piece.part) +
                                            " overlap (bytes " + std::to_string(piece.offset) + " to " +
                                            std::to_string(o.end) + ").");
            }
            if (open.size() < 64) open.push_back(piece);  // a hostile file cannot make this quadratic
        }
    }

    ByteSource& source_;
    PartList& out_;
    std::vector<PendingPart> pending_;
};

PartList FindParts(ByteSource& source, const std::function<hb::HeifStructure()>& readStructure,
                   const hb::HeifFileBoxes& boxes) {
    if (boxes.boxes.empty() || boxes.boxes.front().type != kFtyp)
        throw hb::HeifFormatError("not a HEIF file: it does not start with an 'ftyp' box");
    PartList out;
    HeifPartFinder finder(source, out);
    try {
        finder.AddItems(readStructure());
    } catch (const hb::HeifFormatError& e) {
        out.problems.push_back(std::string("The file's items cannot be read: ") + e.what() + ".");
    }
    finder.AddFileBoxes(boxes);
    finder.Finish();
    return out;
}

}  // namespace

PartList FindHeifParts(InputFile& file) {
    FileByteSource source(file);
    const auto boxes = hb::ListFileBoxes(file);
    return FindParts(source, [&] { return hb::ReadHeifStructure(file); }, boxes);
}

PartList FindHeifParts(std::span<const std::uint8_t> file) {
    MemoryByteSource source(file);
    const auto boxes = hb::ListFileBoxes(file);
    return FindParts(source, [&] { return hb::ParseHeif(file); }, boxes);
}

bool IsHeifImagePart(const FilePart& part) {
    return part.locatedBy == PartLocator::HeifItem && std::string_view(part.mime).starts_with("image/");
}

}  // namespace veltrane::parts
