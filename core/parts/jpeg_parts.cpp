// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/parts/jpeg_parts.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>

#include "core/mpo/jpeg_walk.h"
#include "core/parts/samsung_trailer.h"
#include "core/parts/xmp_text.h"

namespace veltrane::parts {
namespace {

constexpr std::string_view kExtendedXmpSignature{"http://ns.adobe.com/xmp/extension/\0", 35};
constexpr std::size_t kGuidLength = 32;

constexpr std::string_view kContainerNs = "http://ns.google.com/photos/1.0/container/";
constexpr std::string_view kContainerItemNs = "http://ns.google.com/photos/1.0/container/item/";
constexpr std::string_view kDeviceNs = "http://ns.google.com/photos/dd/1.0/device/";
constexpr std::string_view kDdContainerNs = "http://ns.google.com/photos/dd/1.0/container/";
constexpr std::string_view kDdItemNs = "http://ns.google.com/photos/dd/1.0/item/";
constexpr std::string_view kCameraNs = "http://ns.google.com/photos/1.0/camera/";
constexpr std::string_view kDepthNs = "http://ns.google.com/photos/1.0/depthmap/";
constexpr std::string_view kImageNs = "http://ns.google.com/photos/1.0/image/";
constexpr std::string_view kNoteNs = "http://ns.adobe.com/xmp/note/";
constexpr std::string_view kRdfNs = "http://www.w3.org/1999/02/22-rdf-syntax-ns#";

std::uint32_t Be32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
           static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

bool StartsWith(std::span<const std::uint8_t> bytes, std::string_view prefix) {
    return bytes.size() >= prefix.size() && std::memcmp(bytes.data(), prefix.data(), prefix.size()) == 0;
}

// What a container item's semantic (or Dynamic Depth data URI) makes of it.
struct SemanticKind {
    std::string_view semantic;
    PartKind kind;
    const char* role;
};
constexpr std::array<SemanticKind, 7> kSemantics = {{
    {"Primary", PartKind::Image, "primary"},
    {"GainMap", PartKind::GainMap, "gain map"},
    {"MotionPhoto", PartKind::Video, "motion photo"},
    {"Depth", PartKind::DepthMap, "depth map"},
    {"Confidence", PartKind::ConfidenceMap, "confidence map"},
    {"Original", PartKind::Image, "original image"},
    {"Thumbnail", PartKind::Thumbnail, "thumbnail"},
}};

std::string Lowered(std::string_view text) {
    std::string s(text);
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::pair<PartKind, std::string> KindOfItem(const ContainerItem& item, bool dynamicDepth) {
    for (const SemanticKind& s : kSemantics)
        if (item.semantic == s.semantic) return {s.kind, s.role};
    const std::string lowered = Lowered(item.semantic);
    if (dynamicDepth || !lowered.empty()) {
        if (lowered.find("confidence") != std::string::npos) return {PartKind::ConfidenceMap, "confidence map"};
        if (lowered.find("depth") != std::string::npos) return {PartKind::DepthMap, "depth map"};
        if (lowered.find("gainmap") != std::string::npos) return {PartKind::GainMap, "gain map"};
    }
    if (item.mime.starts_with("video/")) return {PartKind::Video, item.semantic.empty() ? "video" : item.semantic};
    return {PartKind::Other, item.semantic.empty() ? "item" : item.semantic};
}

std::string ItemName(std::size_t i, const ContainerItem& item) {
    return "container item " + std::to_string(i + 1) + (item.semantic.empty() ? "" : " (" + item.semantic + ")");
}

// Whether an MP4 or QuickTime file starts at offset: its first box is 'ftyp'.
bool BeginsMp4At(ByteSource& source, std::int64_t offset) {
    const auto head = source.View(offset, 8);
    return head.size() == 8 && std::memcmp(head.data() + 4, "ftyp", 4) == 0;
}

bool BeginsJpeg(ByteSource& source, std::int64_t offset) {
    const auto head = source.View(offset, 3);
    return head.size() == 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

// Just past the EOI of the image at start, looking no further than limit; limit when the image
// does not end before it.
std::int64_t ImageEndBefore(ByteSource& source, std::int64_t start, std::int64_t limit) {
    const JpegImageWalk walk = WalkJpegImage(source, start, limit);
    return walk.complete ? walk.end : limit;
}

FilePart RangePart(PartKind kind, std::string mime, std::int64_t offset, std::int64_t length, PartLocator locator,
                   std::string role) {
    FilePart part;
    part.kind = kind;
    part.mime = std::move(mime);
    part.ranges.push_back({offset, length});
    part.locatedBy = locator;
    part.role = std::move(role);
    return part;
}

// What the file holds beyond the images, and what it tells about the images themselves.
struct Findings {
    std::vector<FilePart> others;
    std::vector<std::string> problems;
    struct ImageNote {
        int image = 0;
        PartKind kind = PartKind::Image;
        std::string role;
    };
    std::vector<ImageNote> imageNotes;
};

// The properties that carry base64 data.
struct XmpDataProperty {
    std::string_view ns;
    const char* name;      // the local name of the data
    const char* shown;     // how the part names it
    PartKind kind;
    const char* role;
    const char* mimeName;  // the property of its MIME type
};
constexpr std::array<XmpDataProperty, 3> kXmpDataProperties = {{
    {kDepthNs, "Data", "GDepth:Data", PartKind::DepthMap, "depth map", "Mime"},
    {kDepthNs, "Confidence", "GDepth:Confidence", PartKind::ConfidenceMap, "confidence map", "ConfidenceMime"},
    {kImageNs, "Data", "GImage:Data", PartKind::Image, "original image", "Mime"},
}};

// The base64 text of property p, from the extended packet or else the standard one (its MIME
// type into mime when not null); none when neither holds it.
std::optional<std::string_view> XmpDataText(const XmpPackets& xmp, const XmpDataProperty& p, std::string* mime) {
    for (const std::string* packet : {&xmp.extended, &xmp.standard}) {
        const std::string prefix = XmpPrefixOf(*packet, p.ns);
        if (prefix.empty()) continue;
        const auto data = XmpPropertySpan(*packet, prefix + ":" + p.name);
        if (!data) continue;
        if (mime != nullptr) {
            // The MIME type is a property of the standard packet, beside the data in the extended one.
            for (const std::string* holder : {&xmp.standard, packet}) {
                const std::string holderPrefix = XmpPrefixOf(*holder, p.ns);
                if (holderPrefix.empty() || !mime->empty()) continue;
                *mime = XmpPropertyValue(*holder, holderPrefix + ":" + p.mimeName).value_or("");
            }
        }
        // Base64 holds no character that needs a reference: the value is taken as written.
        return std::string_view(*packet).substr(data->valueBegin, data->valueEnd - data->valueBegin);
    }
    return std::nullopt;
}

class Finder {
public:
    Finder(ByteSource& source, const ImageIndex& index) : source_(source), index_(index), fileSize_(source.Size()) {}

    Findings Run(bool withXmpData) {
        if (index_.ImageCount < 1) return std::move(found_);
        const XmpPackets xmp = ReadImageXmp(source_, index_.ImageStart(1));
        Note(xmp.problems);
        const SamsungTrailer samsung = ReadSamsungTrailer(source_, fileSize_);
        Note(samsung.problems);
        // The container's last item and a MicroVideo end where a Samsung trailer begins.
        end_ = samsung.found ? samsung.start : fileSize_;
        for (const SamsungRecord& record : samsung.records)
            if (record.name == "MotionPhoto_Data") samsungVideo_ = {record.dataOffset, record.dataLength};
        const bool videoFound = Container(xmp.standard);
        if (!videoFound) MicroVideo(xmp.standard);
        for (const SamsungRecord& record : samsung.records) {
            const bool video = record.name == "MotionPhoto_Data";
            found_.others.push_back(RangePart(video ? PartKind::Video : PartKind::Other,
                                              video ? "video/mp4" : "application/octet-stream", record.dataOffset,
                                              record.dataLength, PartLocator::SamsungTrailer, record.name));
        }
        if (withXmpData) XmpData(xmp);
        return std::move(found_);
    }

private:
    void Note(const std::vector<std::string>& problems) {
        found_.problems.insert(found_.problems.end(), problems.begin(), problems.end());
    }

    // The image of the file that starts at offset (1-based), or 0.
    int ImageAt(std::int64_t offset) const {
        for (int n = 1; n <= index_.ImageCount; ++n)
            if (index_.ImageStart(n) == offset) return n;
        return 0;
    }

    // Just past the last image's EOI (the first place an appended part can start).
    std::int64_t LastImageEoi() {
        if (!lastEoi_) {
            const int last = index_.ImageCount;
            const std::int64_t limit = index_.LimitOffset >= 0 ? index_.LimitOffset : end_;
            lastEoi_ = ImageEndBefore(source_, index_.ImageStart(last), std::max(limit, index_.ImageStart(last)));
        }
        return *lastEoi_;
    }

    // Lays out the container directory's items; returns whether it placed a video.
    bool Container(std::string_view xmp) {
        const ContainerDirectory dir = ReadContainerDirectory(xmp);
        if (!dir.found || dir.items.size() < 2) return false;
        const PartLocator locator = dir.dynamicDepth ? PartLocator::DynamicDepth : PartLocator::ContainerDirectory;
        const std::vector<ContainerItem>& items = dir.items;
        const std::size_t n = items.size();
        const std::int64_t floor = index_.ImageStart(1) + 2;
        // From the end backwards: each item ends where the next one starts, less its padding.
        std::vector<std::int64_t> starts(n, -1);
        std::int64_t pos = end_;
        // A last item that does not fit before Samsung's trailer is counted to the file's end.
        if (end_ < fileSize_ && items[n - 1].length > end_ - floor) pos = fileSize_;
        for (std::size_t i = n - 1; i >= 1; --i) {
            const ContainerItem& item = items[i];
            if (item.length <= 0) {
                found_.problems.push_back(ItemName(i, item) + ": Item:Length is 0");
                break;
            }
            if (item.length > pos - floor) {
                found_.problems.push_back(ItemName(i, item) + ": Item:Length " + std::to_string(item.length) +
                                          " runs past the start of the file");
                break;
            }
            starts[i] = pos - item.length;
            pos = starts[i] - std::max<std::int64_t>(items[i - 1].padding, 0);
            if (pos < floor) break;
        }
        bool video = false;
        int lastImage = 1;  // the last image matched so far, in order
        if (items[0].semantic == "Primary") found_.imageNotes.push_back({1, PartKind::Image, "primary"});
        for (std::size_t i = 1; i < n; ++i) {
            const ContainerItem& item = items[i];
            auto [kind, role] = KindOfItem(item, dir.dynamicDepth);
            const bool jpeg = item.mime == "image/jpeg" || (item.mime.empty() && kind != PartKind::Video);
            std::int64_t start = starts[i];
            if (jpeg) {
                int image = start >= 0 ? ImageAt(start) : 0;
                const bool ownJpeg = image == 0 && start >= 0 && BeginsJpeg(source_, start);
                if (image == 0 && !ownJpeg && lastImage < index_.ImageCount) {
                    // The structure wins: the next image the index lists.
                    image = lastImage + 1;
                    found_.problems.push_back(ItemName(i, item) + ": its Item:Length puts it at " +
                                              (start >= 0 ? std::to_string(start) : std::string("no place")) +
                                              ", the image list has image " + std::to_string(image) + " at " +
                                              std::to_string(index_.ImageStart(image)));
                }
                if (image > 0) {
                    lastImage = std::max(lastImage, image);
                    found_.imageNotes.push_back({image, kind, role});
                    continue;
                }
                if (start < 0 || !BeginsJpeg(source_, start)) {
                    found_.problems.push_back(ItemName(i, item) + " cannot be located");
                    continue;
                }
                const std::int64_t length = ImageEndBefore(source_, start, std::min(end_, start + item.length)) - start;
                if (length != item.length)
                    found_.problems.push_back(ItemName(i, item) + ": Item:Length " + std::to_string(item.length) +
                                              ", the image is " + std::to_string(length) + " bytes");
                found_.others.push_back(RangePart(kind, item.mime.empty() ? "image/jpeg" : item.mime, start, length,
                                                  locator, role));
                continue;
            }
            const bool isVideo = kind == PartKind::Video;
            if (isVideo && (start < 0 || !BeginsMp4At(source_, start))) {
                // The structure wins: the video Item:Length bytes before the end of the file
                // (a Samsung trailer counted), the video of Samsung's trailer, or the video right
                // after the last image (and its padding).
                const std::int64_t after = LastImageEoi() + std::max<std::int64_t>(items[i - 1].padding, 0);
                const std::int64_t candidates[] = {fileSize_ - item.length, samsungVideo_.offset, after,
                                                   LastImageEoi()};
                std::int64_t placed = -1;
                for (const std::int64_t c : candidates)
                    if (placed < 0 && c > index_.ImageStart(1) && c < fileSize_ && BeginsMp4At(source_, c)) placed = c;
                // Counted to the very end of the file, or Samsung's own record: both are layouts
                // phones write, no disagreement.
                const bool known = placed == fileSize_ - item.length || placed == samsungVideo_.offset;
                if (placed >= 0) {
                    if (start >= 0 && !known)
                        found_.problems.push_back(ItemName(i, item) + ": Item:Length " + std::to_string(item.length) +
                                                  " disagrees with the file, whose video starts at " +
                                                  std::to_string(placed));
                    start = placed;
                }
            }
            if (start < 0) {
                found_.problems.push_back(ItemName(i, item) + " cannot be located");
                continue;
            }
            // Each item runs to the next one's start (less padding), the last one to the end.
            std::int64_t itemEnd = i + 1 < n && starts[i + 1] >= 0
                                       ? starts[i + 1] - std::max<std::int64_t>(item.padding, 0)
                                       : end_;
            if (i + 1 < n && starts[i + 1] < 0) itemEnd = std::min(end_, start + item.length);
            if (start >= end_) itemEnd = fileSize_;
            // Inside Samsung's trailer the video is its record's data.
            if (isVideo && samsungVideo_.length > 0 && start == samsungVideo_.offset)
                itemEnd = samsungVideo_.offset + samsungVideo_.length;
            if (itemEnd <= start) {
                found_.problems.push_back(ItemName(i, item) + " cannot be located");
                continue;
            }
            found_.others.push_back(
                RangePart(kind, item.mime.empty() ? "application/octet-stream" : item.mime, start, itemEnd - start,
                          locator, role));
            video = video || isVideo;
        }
        return video;
    }

    void MicroVideo(std::string_view xmp) {
        const std::string camera = XmpPrefixOf(xmp, kCameraNs);
        if (camera.empty()) return;
        const auto flag = XmpPropertyValue(xmp, camera + ":MicroVideo");
        if (!flag || *flag != "1") return;
        const auto offsetText = XmpPropertyValue(xmp, camera + ":MicroVideoOffset");
        const std::optional<std::int64_t> offset = offsetText ? ParseXmpCount(*offsetText) : std::nullopt;
        std::int64_t start = -1;
        if (!offset || *offset <= 0) {
            found_.problems.push_back("GCamera:MicroVideoOffset is missing or not a length");
        } else if (*offset > fileSize_ - index_.ImageStart(1) - 2) {
            found_.problems.push_back("GCamera:MicroVideoOffset " + std::to_string(*offset) +
                                      " is larger than the file");
        } else {
            start = fileSize_ - *offset;
        }
        if (start < 0 || !BeginsMp4At(source_, start)) {
            const std::int64_t after = LastImageEoi();
            if (after < end_ && BeginsMp4At(source_, after)) {
                if (start >= 0)
                    found_.problems.push_back("GCamera:MicroVideoOffset " + std::to_string(*offset) +
                                              " disagrees with the file, whose video starts at " + std::to_string(after));
                start = after;
            }
        }
        if (start < 0 || start >= end_) return;
        found_.others.push_back(
            RangePart(PartKind::Video, "video/mp4", start, end_ - start, PartLocator::MicroVideo, "motion photo"));
    }

    // GDepth:Data, GDepth:Confidence and GImage:Data, in the extended packet or the standard one.
    void XmpData(const XmpPackets& xmp) {
        for (const XmpDataProperty& p : kXmpDataProperties) {
            std::string problem, mime;
            const auto text = XmpDataText(xmp, p, &mime);
            if (!text) continue;
            const auto length = Base64DecodedLength(*text, problem);
            if (!length) {
                found_.problems.push_back(std::string(p.shown) + ": " + problem);
                continue;
            }
            FilePart part;
            part.kind = p.kind;
            part.mime = mime.empty() ? "application/octet-stream" : mime;
            part.xmpProperty = p.shown;
            part.xmpLength = *length;
            part.locatedBy = PartLocator::XmpBase64;
            part.role = p.role;
            found_.others.push_back(std::move(part));
        }
    }

    ByteSource& source_;
    const ImageIndex& index_;
    const std::int64_t fileSize_;
    std::int64_t end_ = 0;
    std::optional<std::int64_t> lastEoi_;
    ByteRange samsungVideo_{-1, 0};  // the data of Samsung's MotionPhoto_Data record
    Findings found_;
};

PartKind KindOfRole(ImageRole role) {
    switch (role) {
        case ImageRole::GainMap: return PartKind::GainMap;
        case ImageRole::LargeThumbnail: return PartKind::Thumbnail;
        default: return PartKind::Image;
    }
}

std::int64_t PartStart(const FilePart& part) { return part.ranges.empty() ? -1 : part.ranges.front().offset; }
std::int64_t PartEnd(const FilePart& part) {
    return part.ranges.empty() ? -1 : part.ranges.back().offset + part.ranges.back().length;
}

}  // namespace

XmpPackets ReadImageXmp(ByteSource& source, std::int64_t start) {
    XmpPackets packets;
    const JpegImageWalk walk = WalkJpegImage(source, start, source.Size(), WalkScope::Header);
    struct Chunk {
        const JpegSegment* segment;
        std::uint32_t fullLength, offset;
        std::size_t dataLength;
    };
    std::vector<Chunk> chunks;
    std::string guid;
    std::vector<std::pair<std::string, Chunk>> extended;  // every chunk with its GUID
    for (std::size_t i = 0; i < walk.headerSegments && i < walk.segments.size(); ++i) {
        const JpegSegment& segment = walk.segments[i];
        if (segment.marker != kMarkerApp1 || segment.length < 2) continue;
        const auto view = source.View(segment.offset + 4, std::min<std::size_t>(segment.length - 2, 35 + 40));
        if (packets.standard.empty() && StartsWith(view, kXmpSignature)) {
            const auto bytes = source.View(segment.offset + 4, segment.length - 2);
            packets.standard.assign(bytes.begin() + kXmpSignature.size(), bytes.end());
        } else if (StartsWith(view, kExtendedXmpSignature) && view.size() >= kExtendedXmpSignature.size() + kGuidLength + 8) {
            const std::uint8_t* p = view.data() + kExtendedXmpSignature.size();
            const std::string chunkGuid(p, p + kGuidLength);
            const std::size_t header = kExtendedXmpSignature.size() + kGuidLength + 8;
            extended.push_back({chunkGuid, Chunk{&segment, Be32(p + kGuidLength), Be32(p + kGuidLength + 4),
                                                 segment.length - 2 - header}});
        }
    }
    if (packets.standard.empty()) return packets;
    const std::string note = XmpPrefixOf(packets.standard, kNoteNs);
    if (note.empty()) return packets;
    guid = XmpPropertyValue(packets.standard, note + ":HasExtendedXMP").value_or("");
    if (guid.empty()) return packets;
    std::int64_t fullLength = -1;
    for (const auto& [chunkGuid, chunk] : extended) {
        if (chunkGuid != guid) continue;
        if (fullLength < 0) fullLength = chunk.fullLength;
        chunks.push_back(chunk);
    }
    if (chunks.empty()) {
        packets.problems.push_back("xmpNote:HasExtendedXMP names extended XMP that the file does not hold");
        return packets;
    }
    if (fullLength > kMaxExtendedXmp || fullLength > source.Size()) {
        packets.problems.push_back("the extended XMP would be " + std::to_string(fullLength) + " bytes: not read");
        return packets;
    }
    // Only what the chunks hold is put together: a packet they do not cover is not read.
    std::int64_t held = 0;
    for (const Chunk& chunk : chunks) held += static_cast<std::int64_t>(chunk.dataLength);
    if (held < fullLength) {
        packets.problems.push_back("the extended XMP lacks " + std::to_string(fullLength - held) + " of its " +
                                   std::to_string(fullLength) + " bytes");
        return packets;
    }
    packets.extended.assign(static_cast<std::size_t>(fullLength), '\0');
    std::int64_t covered = 0;
    for (const Chunk& chunk : chunks) {
        const std::size_t header = kExtendedXmpSignature.size() + kGuidLength + 8;
        if (chunk.fullLength != fullLength || chunk.offset > fullLength ||
            chunk.dataLength > static_cast<std::size_t>(fullLength - chunk.offset)) {
            packets.problems.push_back("an extended XMP chunk lies outside the packet");
            continue;
        }
        const auto bytes = source.View(chunk.segment->offset + 4 + static_cast<std::int64_t>(header), chunk.dataLength);
        std::copy(bytes.begin(), bytes.end(), packets.extended.begin() + chunk.offset);
        covered += static_cast<std::int64_t>(bytes.size());
    }
    if (covered < fullLength)
        packets.problems.push_back("the extended XMP lacks " + std::to_string(fullLength - covered) + " of its " +
                                   std::to_string(fullLength) + " bytes");
    return packets;
}

ContainerDirectory ReadContainerDirectory(std::string_view xmp) {
    ContainerDirectory dir;
    std::string rdf = XmpPrefixOf(xmp, kRdfNs);
    if (rdf.empty()) rdf = "rdf";
    std::string container = XmpPrefixOf(xmp, kContainerNs);
    std::string item = XmpPrefixOf(xmp, kContainerItemNs);
    std::optional<std::string_view> body;
    if (!container.empty()) body = XmpElementBody(xmp, container + ":Directory");
    if (!body) {
        const std::string device = XmpPrefixOf(xmp, kDeviceNs);
        container = XmpPrefixOf(xmp, kDdContainerNs);
        item = XmpPrefixOf(xmp, kDdItemNs);
        if (device.empty() || container.empty()) return dir;
        const auto deviceContainer = XmpElementBody(xmp, device + ":Container");
        if (!deviceContainer) return dir;
        body = XmpElementBody(*deviceContainer, container + ":Directory");
        dir.dynamicDepth = true;
    }
    if (!body || item.empty()) return dir;
    dir.found = true;
    for (const std::string_view li : XmpListItems(*body, rdf)) {
        if (dir.items.size() >= kMaxContainerItems) break;
        ContainerItem entry;
        entry.semantic = XmpPropertyValue(li, item + ":Semantic").value_or("");
        if (entry.semantic.empty()) entry.semantic = XmpPropertyValue(li, item + ":DataURI").value_or("");
        entry.mime = XmpPropertyValue(li, item + ":Mime").value_or("");
        entry.length = ParseXmpCount(XmpPropertyValue(li, item + ":Length").value_or("")).value_or(0);
        if (const auto span = XmpPropertySpan(li, item + ":Length")) {
            const auto at = static_cast<std::size_t>(li.data() - xmp.data());
            entry.lengthBegin = at + span->valueBegin;
            entry.lengthEnd = at + span->valueEnd;
        }
        entry.padding = ParseXmpCount(XmpPropertyValue(li, item + ":Padding").value_or("")).value_or(0);
        dir.items.push_back(std::move(entry));
    }
    return dir;
}

namespace {

// Where the last image ends given what follows it: just past its EOI when a part found starts
// after it, else -1.
std::int64_t LastImageEndFrom(ByteSource& source, const ImageIndex& index, const Findings& found) {
    if (index.ImageCount < 1 || index.LimitOffset >= 0) return -1;
    const std::int64_t lastStart = index.ImageStart(index.ImageCount);
    std::int64_t next = -1;
    for (const FilePart& part : found.others) {
        const std::int64_t start = PartStart(part);
        if (start > lastStart && (next < 0 || start < next)) next = start;
    }
    if (next < 0) return -1;
    return ImageEndBefore(source, lastStart, next);
}

PartList ListOf(ByteSource& source, const ImageIndex& index, const std::vector<ImageRole>& roles, Findings found) {
    PartList list;
    const std::int64_t fileSize = source.Size();
    for (int n = 1; n <= index.ImageCount; ++n) {
        FilePart image;
        image.number = n;
        image.kind = PartKind::Image;
        image.mime = "image/jpeg";
        const std::int64_t start = index.ImageStart(n);
        image.ranges.push_back({start, std::max<std::int64_t>(index.ImageEnd(n, fileSize) - start, 0)});
        image.locatedBy = roles.empty() ? PartLocator::SignatureScan : PartLocator::MpfIndex;
        const auto i = static_cast<std::size_t>(n - 1);
        if (i < roles.size()) {
            image.kind = KindOfRole(roles[i]);
            if (roles[i] != ImageRole::None) image.role = ImageRoleText(roles[i]);
        }
        list.parts.push_back(std::move(image));
    }
    list.problems = std::move(found.problems);
    for (const Findings::ImageNote& note : found.imageNotes) {
        FilePart& image = list.parts[static_cast<std::size_t>(note.image - 1)];
        if (image.role.empty()) image.role = note.role;
        if (image.kind == PartKind::Image) image.kind = note.kind;
    }
    // The parts inside XMP first (they lie in the primary's header), then by their start; a part
    // found twice (the same bytes through two structures) once.
    std::stable_sort(found.others.begin(), found.others.end(),
                     [](const FilePart& a, const FilePart& b) { return PartStart(a) < PartStart(b); });
    for (FilePart& part : found.others) {
        const bool twice = !part.InXmp() && std::any_of(list.parts.begin(), list.parts.end(), [&](const FilePart& p) {
            return !p.InXmp() && p.ranges.size() == 1 && part.ranges.size() == 1 &&
                   PartStart(p) == PartStart(part) && PartEnd(p) == PartEnd(part);
        });
        if (twice) continue;
        part.number = static_cast<int>(list.parts.size()) + 1;
        list.parts.push_back(std::move(part));
    }
    // Parts that share bytes.
    std::vector<const FilePart*> ranged;
    for (const FilePart& p : list.parts)
        if (!p.InXmp() && !p.ranges.empty()) ranged.push_back(&p);
    std::stable_sort(ranged.begin(), ranged.end(), [](const FilePart* a, const FilePart* b) {
        return PartStart(*a) < PartStart(*b) || (PartStart(*a) == PartStart(*b) && PartEnd(*a) > PartEnd(*b));
    });
    constexpr std::size_t kMostOverlapsReported = 20;
    std::size_t reported = 0;
    for (std::size_t i = 0; i < ranged.size(); ++i) {
        for (std::size_t j = i + 1; j < ranged.size() && PartStart(*ranged[j]) < PartEnd(*ranged[i]); ++j) {
            if (PartStart(*ranged[j]) == PartEnd(*ranged[j])) continue;
            if (++reported > kMostOverlapsReported) break;
            const std::string a = std::to_string(ranged[i]->number), b = std::to_string(ranged[j]->number);
            list.problems.push_back(PartEnd(*ranged[j]) <= PartEnd(*ranged[i])
                                        ? "part " + b + " lies inside part " + a
                                        : "parts " + a + " and " + b + " overlap");
        }
    }
    return list;
}

}  // namespace

PartList FindJpegParts(ByteSource& source, const ImageIndex& index, const std::vector<ImageRole>& roles) {
    return ListOf(source, index, roles, Finder(source, index).Run(true));
}

PartList FindJpegPartsEndingImages(ByteSource& source, ImageIndex& index, const std::vector<ImageRole>& roles) {
    Findings found = Finder(source, index).Run(true);
    index.LastImageEnd = LastImageEndFrom(source, index, found);
    return ListOf(source, index, roles, std::move(found));
}

std::int64_t LastImageEndBeforeParts(ByteSource& source, const ImageIndex& index) {
    if (index.ImageCount < 1 || index.LimitOffset >= 0) return -1;
    return LastImageEndFrom(source, index, Finder(source, index).Run(false));
}

std::optional<std::vector<std::uint8_t>> XmpPartBytes(ByteSource& source, std::int64_t primaryStart,
                                                      const FilePart& part, std::string& problem) {
    for (const XmpDataProperty& p : kXmpDataProperties) {
        if (part.xmpProperty != p.shown) continue;
        const XmpPackets xmp = ReadImageXmp(source, primaryStart);
        const auto text = XmpDataText(xmp, p, nullptr);
        if (!text) {
            problem = part.xmpProperty + " is not in the file's XMP";
            return std::nullopt;
        }
        return DecodeBase64(*text, problem);
    }
    problem = "no XMP property " + part.xmpProperty;
    return std::nullopt;
}

const char* PartKindText(PartKind kind) {
    switch (kind) {
        case PartKind::Image: return "image";
        case PartKind::GainMap: return "gain map";
        case PartKind::DepthMap: return "depth map";
        case PartKind::ConfidenceMap: return "confidence map";
        case PartKind::Video: return "video";
        case PartKind::Thumbnail: return "thumbnail";
        case PartKind::Other: break;
    }
    return "other";
}

const char* PartLocatorText(PartLocator locator) {
    switch (locator) {
        case PartLocator::MpfIndex: return "MPF index";
        case PartLocator::SignatureScan: return "signature";
        case PartLocator::ContainerDirectory: return "container directory";
        case PartLocator::DynamicDepth: return "Dynamic Depth";
        case PartLocator::MicroVideo: return "MicroVideo";
        case PartLocator::SamsungTrailer: return "Samsung trailer";
        case PartLocator::XmpBase64: return "XMP";
        case PartLocator::HeifItem: return "HEIF item";
        case PartLocator::HeifBox: return "HEIF box";
    }
    return "";
}

}  // namespace veltrane::parts
