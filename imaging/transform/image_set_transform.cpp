// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/transform/image_set_transform.h"

#include <algorithm>
#include <memory>
#include <tuple>

#include "core/common/file_io.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/exif_edit/exif_numbers.h"
#include "core/images/image_index.h"
#include "core/images/mpf_index.h"
#include "core/mpo/byte_source.h"
#include "core/mpo/jpeg_walk.h"
#include "core/mpo/mpf_segment.h"
#include "core/mpo/mpo_writer.h"
#include "core/parts/jpeg_parts.h"
#include "imaging/jpeg/block_plan.h"

namespace veltrane::transform {
namespace {

// Application and comment segments kept per image, at most (a header of more is refused
// rather than held in memory).
constexpr std::size_t kMaxKeptSegmentBytes = std::size_t{32} << 20;
constexpr std::uint8_t kMarkerCom = 0xFE, kMarkerApp15 = 0xEF;

// What the header of one image says, read before any image is decoded.
struct ImageHeader {
    std::int64_t start = 0, end = 0;  // its range in the file
    std::string name;                 // "FILE: image N", or FILE for a single image
    Size size;
    Grid grid;
    std::vector<std::vector<std::uint8_t>> segments;  // APPn but MPF, and COM, in order
    std::optional<MpAttributeIfd> attributes;         // of its MPF segment
    std::optional<std::uint32_t> orientation;         // of its first EXIF segment
    std::uint32_t attribute = 0;                      // its MP entry's attribute
    std::uint16_t dependent1 = 0, dependent2 = 0;
    ImageRole role = ImageRole::None;
    std::vector<std::uint8_t> roleHeader;             // SOI, its XMP and MPF segments
};

// The frame header's sampling factors give the image's grid:
//   FF Cn LL LL  P  Y(2) X(2)  Nf  Nf x { Ci, Hi << 4 | Vi, Tqi }
std::optional<Grid> GridOfFrame(const std::vector<std::uint8_t>& sof) {
    if (sof.size() < 10) return std::nullopt;
    const std::size_t count = sof[9];
    if (count == 0 || sof.size() < 10 + 3 * count) return std::nullopt;
    std::uint32_t maxH = 1, maxV = 1;
    for (std::size_t c = 0; c < count; ++c) {
        const std::uint32_t h = sof[10 + 3 * c + 1] >> 4, v = sof[10 + 3 * c + 1] & 15;
        if (h < 1 || h > 4 || v < 1 || v > 4) return std::nullopt;
        maxH = std::max(maxH, h);
        maxV = std::max(maxV, v);
    }
    const libjpeg::BlockGrid grid = libjpeg::GridOf(static_cast<int>(count), static_cast<int>(maxH), static_cast<int>(maxV));
    return Grid{grid.width, grid.height};
}

ImageHeader ReadImageHeader(ByteSource& source, std::int64_t start, std::int64_t end, std::string name) {
    ImageHeader header;
    header.start = start;
    header.end = end;
    header.name = std::move(name);
    const JpegImageWalk walk = WalkJpegImage(source, start, end, WalkScope::Header);
    if (!walk.reachedScan) throw TransformError(header.name, "not a complete JPEG image: " + walk.problem);
    std::size_t keptBytes = 0;
    header.roleHeader = {0xFF, kMarkerSoi};
    bool haveXmp = false, haveMpf = false;
    for (std::size_t i = 0; i < walk.headerSegments; ++i) {
        const JpegSegment& s = walk.segments[i];
        if (s.length == 0) continue;
        if (s.marker == walk.frameMarker && s.marker != 0 && header.grid.width == 0) {
            const auto grid = GridOfFrame(ReadSegmentBytes(source, s));
            if (!grid) throw TransformError(header.name, "its frame header is malformed");
            header.grid = *grid;
            continue;
        }
        const bool application = s.marker >= kMarkerApp0 && s.marker <= kMarkerApp15;
        if (!application && s.marker != kMarkerCom) continue;
        keptBytes += 2 + s.length;
        if (keptBytes > kMaxKeptSegmentBytes)
            throw TransformError(header.name, "its header holds more than " +
                                                  std::to_string(kMaxKeptSegmentBytes >> 20) + " MB of segments");
        std::vector<std::uint8_t> bytes = ReadSegmentBytes(source, s);
        const auto payload = std::span<const std::uint8_t>(bytes).subspan(4);
        if (s.kind == SegmentKind::Exif && !header.orientation)
            header.orientation = ReadExifNumber(payload, ExifDirectory::Ifd0, kExifOrientation);
        if ((s.kind == SegmentKind::Xmp && !haveXmp) || (s.kind == SegmentKind::Mpf && !haveMpf)) {
            (s.kind == SegmentKind::Xmp ? haveXmp : haveMpf) = true;
            header.roleHeader.insert(header.roleHeader.end(), bytes.begin(), bytes.end());
        }
        if (s.kind == SegmentKind::Mpf) {
            // A new MPF segment takes its place; its attribute tags go with the image.
            if (!header.attributes) header.attributes = ReadMpAttributeIfd(payload);
            continue;
        }
        header.segments.push_back(std::move(bytes));
    }
    if (header.grid.width == 0) throw TransformError(header.name, "not a complete JPEG image: it has no frame header");
    header.size = {walk.width, walk.height};
    if (header.size.width == 0 || header.size.height == 0)
        throw TransformError(header.name, "its frame header gives no size (a height given after the first scan is not "
                                          "supported)");
    return header;
}

// The image ranges of the file: its MPF index when usable, else the signature scan; a JPEG
// image at the start of the file that the scan does not count (one without EXIF) is image 1.
// The last image ends at its EOI when the scan's parts hook finds a trailer behind it.
struct ImageRanges {
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
    MpfIndex index;   // the index the ranges come from, when they do
    bool indexed = false;
    std::int64_t trailerStart = -1;  // where the bytes after the last image begin, when any do
};

// Keeps the scan's notices and the index it used.
class IndexKeeper final : public ScanNotices {
public:
    void MpfIndexUsed(const MpfIndex& index) override { used = index; }
    std::optional<MpfIndex> used;
};

ImageRanges FindImages(const std::string& path, InputFile& file, const ScanOptions& scan,
                       const std::function<void(const std::string&)>& indexIgnored) {
    ImageRanges found;
    const std::int64_t size = file.Size();
    ImageIndex index;
    IndexKeeper listener;
    ScanImageOffsets(index, path, scan, listener);
    if (listener.limitReached)
        throw TransformError(path, "it holds more than " + std::to_string(kMaxMpoImages) + " images");
    if (!listener.mpfIgnored.empty() && indexIgnored) indexIgnored(listener.mpfIgnored);
    if (listener.used) {
        found.index = std::move(*listener.used);
        found.indexed = true;
    } else {
        std::uint8_t head[3] = {};
        const bool beginsJpeg =
            size >= 3 && (file.ReadAt(0, head, 3), head[0] == 0xFF && head[1] == kMarkerSoi && head[2] == 0xFF);
        if (index.ImageCount == 0 && beginsJpeg && scan.otherParts != nullptr) {
            // A photo that begins without EXIF is still image 1: a trailer after it ends it too.
            ImageIndex first;
            first.ImageCount = 1;
            first.ImageOffsets[1] = 0;
            const std::int64_t end = scan.otherParts->LastImageEnd(file, first);
            if (end > 0 && end < size) {
                found.ranges.emplace_back(0, end);
                found.trailerStart = end;
                return found;
            }
        }
        if (index.ImageCount == 0 || (beginsJpeg && index.ImageStart(1) > 0))
            found.ranges.emplace_back(0, index.ImageCount == 0 ? size : index.ImageStart(1));
    }
    for (int n = 1; n <= index.ImageCount; ++n) found.ranges.emplace_back(index.ImageStart(n), index.ImageEnd(n, size));
    if (index.ImageCount >= 1 && index.LastEnd() >= 0 && index.LastEnd() < size) found.trailerStart = index.LastEnd();
    return found;
}

// Where image 1 (the bytes of the turned image) keeps the Item:Length values of the container
// directory in its XMP that belong to the images after it: the k-th JPEG item after the primary
// is image k + 1, as the part finder pairs them. None without such items.
struct ContainerLengths {
    std::int64_t segmentOffset = 0, segmentEnd = 0;  // the XMP segment, FF E1 to its end
    std::string xmp;                                 // its packet
    std::vector<std::pair<std::size_t, std::size_t>> values;  // of images 2, 3, ... in the packet
};

std::optional<ContainerLengths> FindContainerLengths(std::span<const std::uint8_t> first) {
    MemoryByteSource source(first);
    const JpegImageWalk walk = WalkJpegImage(source, 0, source.Size(), WalkScope::Header);
    for (std::size_t i = 0; i < walk.headerSegments && i < walk.segments.size(); ++i) {
        const JpegSegment& s = walk.segments[i];
        if (s.kind != SegmentKind::Xmp || s.length < 2 + kXmpSignature.size() || s.End() > source.Size()) continue;
        ContainerLengths found;
        found.segmentOffset = s.offset;
        found.segmentEnd = s.End();
        const auto* payload = first.data() + s.offset + 4;
        found.xmp.assign(payload + kXmpSignature.size(), payload + (s.length - 2));
        const parts::ContainerDirectory dir = parts::ReadContainerDirectory(found.xmp);
        for (std::size_t k = 1; k < dir.items.size(); ++k)
            if (dir.items[k].mime == "image/jpeg" && dir.items[k].lengthEnd > dir.items[k].lengthBegin)
                found.values.emplace_back(dir.items[k].lengthBegin, dir.items[k].lengthEnd);
        if (found.values.empty()) return std::nullopt;
        return found;
    }
    return std::nullopt;
}

// Image 1's bytes with those values set to the later images' sizes in the output (laterSizes[0]
// for image 2, ...); empty when they stay as they are or the segment would grow too long.
std::vector<std::uint8_t> WithContainerLengths(std::span<const std::uint8_t> first, const ContainerLengths& lengths,
                                               const std::vector<std::int64_t>& laterSizes) {
    std::string xmp;
    std::size_t copied = 0;
    bool changed = false;
    for (std::size_t k = 0; k < lengths.values.size() && k < laterSizes.size(); ++k) {
        const auto [begin, end] = lengths.values[k];
        const std::string size = std::to_string(laterSizes[k]);
        changed = changed || lengths.xmp.compare(begin, end - begin, size) != 0;
        xmp.append(lengths.xmp, copied, begin - copied).append(size);
        copied = end;
    }
    xmp.append(lengths.xmp, copied);
    const std::size_t segmentLength = 2 + kXmpSignature.size() + xmp.size();
    if (!changed || segmentLength > 0xFFFF) return {};
    std::vector<std::uint8_t> bytes(first.begin(), first.begin() + lengths.segmentOffset);
    bytes.insert(bytes.end(), {0xFF, kMarkerApp1, static_cast<std::uint8_t>(segmentLength >> 8),
                               static_cast<std::uint8_t>(segmentLength & 0xFF)});
    bytes.insert(bytes.end(), kXmpSignature.begin(), kXmpSignature.end());
    bytes.insert(bytes.end(), xmp.begin(), xmp.end());
    bytes.insert(bytes.end(), first.begin() + lengths.segmentEnd, first.end());
    return bytes;
}

bool IsStereoType(std::uint32_t attribute) {
    const std::uint32_t type = attribute & kMpTypeMask;
    return type == kMpTypeDisparity || type == kMpTypeMultiAngle;
}

// The image's segments as the output keeps them: the EXIF sizes and Orientation set, the JFIF
// densities exchanged with the axes.
std::vector<std::vector<std::uint8_t>> EditedSegments(const ImageHeader& header, Size after, Turn turn, bool autoTurn) {
    std::vector<std::vector<std::uint8_t>> segments = header.segments;
    for (std::vector<std::uint8_t>& segment : segments) {
        const auto payload = std::span<std::uint8_t>(segment).subspan(4);
        if (segment[1] == kMarkerApp1 && IsExifPayload(payload)) {
            for (const auto& [directory, tag, value] :
                 {std::tuple{ExifDirectory::Exif, kExifPixelXDimension, after.width},
                  std::tuple{ExifDirectory::Exif, kExifPixelYDimension, after.height},
                  std::tuple{ExifDirectory::Ifd0, kExifImageWidth, after.width},
                  std::tuple{ExifDirectory::Ifd0, kExifImageLength, after.height}})
                WriteExifNumber(payload, directory, tag, value);
            if (const auto orientation = ReadExifNumber(payload, ExifDirectory::Ifd0, kExifOrientation))
                WriteExifNumber(payload, ExifDirectory::Ifd0, kExifOrientation,
                                autoTurn ? 1 : OrientationAfter(turn, *orientation));
        } else if (segment[1] == kMarkerApp0 && AxesOf(turn).swap) {
            //  "JFIF\0", version (2), units (1), X density (2), Y density (2), ...
            static constexpr std::uint8_t kJfif[5] = {'J', 'F', 'I', 'F', 0};
            if (payload.size() >= 12 && std::equal(kJfif, kJfif + 5, payload.begin())) {
                std::swap(payload[8], payload[10]);
                std::swap(payload[9], payload[11]);
            }
        }
    }
    return segments;
}

std::string SizeText(Size size) { return std::to_string(size.width) + "x" + std::to_string(size.height); }

struct KeptPlan {
    KeptPart part;
    bool cornerMoved = false;  // image 1's crop corner was moved onto its grid
};

// What each image keeps before it is turned: image 1's crop region on its grid and the others'
// scaled to them, or what the turn leaves of each. Raises TransformError for a region outside
// image 1 (a bad request), an image narrower than a block where one must be trimmed, and with
// --perfect anything trimmed or moved.
std::vector<KeptPlan> PlanKeptParts(const std::string& path, const std::vector<ImageHeader>& headers, Turn turn,
                                    const SetTransformOptions& options) {
    std::vector<KeptPlan> kept(headers.size());
    const ImageHeader& first = headers[0];
    if (options.operation == Operation::Crop) {
        if (!Inside(options.crop, first.size))
            throw TransformError(path, "the region " + options.crop.Text() + " does not lie inside image 1 (" +
                                           SizeText(first.size) + ")",
                                 true);
        const Region aligned = AlignRegion(options.crop, first.grid);
        if (options.perfect && !(aligned == options.crop))
            throw TransformError(path, "the region's corner " + std::to_string(options.crop.x) + "," +
                                           std::to_string(options.crop.y) + " is not on image 1's " +
                                           SizeText(first.grid) + " block grid (--perfect)");
        for (std::size_t i = 0; i < headers.size(); ++i) {
            kept[i].part.region = i == 0 ? aligned : ScaleRegion(aligned, first.size, headers[i].size, headers[i].grid);
            kept[i].cornerMoved = i == 0 && !(aligned == options.crop);
        }
        return kept;
    }
    for (std::size_t i = 0; i < headers.size(); ++i) {
        const ImageHeader& h = headers[i];
        const KeptPart part = KeptByTurn(turn, h.size, h.grid);
        if (!part.lossless)
            throw TransformError(h.name, "its " + SizeText(h.size) + " pixels are less than one " + SizeText(h.grid) +
                                             " block across the edge that " + TurnWord(turn) +
                                             " moves: it cannot be turned losslessly");
        if (options.perfect && (part.trimmed.width > 0 || part.trimmed.height > 0))
            throw TransformError(h.name, std::string(TurnWord(turn)) + " would trim " +
                                             std::to_string(part.trimmed.width) + " pixel columns and " +
                                             std::to_string(part.trimmed.height) + " pixel rows of its " +
                                             SizeText(h.size) + " (blocks of " + SizeText(h.grid) +
                                             " pixels); without --perfect they are trimmed");
        kept[i].part = part;
    }
    return kept;
}

// The source image of each output position: the stereo images in reverse order among their own
// places when the eyes are exchanged, every other image where it was.
std::vector<std::size_t> OutputOrder(const std::vector<ImageHeader>& headers, bool exchangeEyes) {
    std::vector<std::size_t> order(headers.size()), stereoPlaces;
    for (std::size_t i = 0; i < headers.size(); ++i) {
        order[i] = i;
        if (IsStereoType(headers[i].attribute)) stereoPlaces.push_back(i);
    }
    if (exchangeEyes)
        for (std::size_t k = 0; k < stereoPlaces.size(); ++k)
            order[stereoPlaces[k]] = stereoPlaces[stereoPlaces.size() - 1 - k];
    return order;
}

// The writer's images: the transformed bytes with each source image's type, flags and
// attribute tags; dependent entries renumbered to where their images went. A stereo image
// takes the individual number of the place it moves to, so the numbers still count from the
// left. Without a source index, the writer's defaults.
std::vector<MpoImage> IndexedOutput(const std::vector<ImageHeader>& headers, const std::vector<std::size_t>& order,
                                    const std::vector<TransformedJpeg>& outputs, bool sourceIndexed) {
    const std::size_t count = headers.size();
    std::vector<std::uint16_t> newNumber(count + 1, 0);  // by old entry number, 1-based
    for (std::size_t p = 0; p < count; ++p) newNumber[order[p] + 1] = static_cast<std::uint16_t>(p + 1);
    auto renumbered = [&](std::uint16_t entry) { return entry <= count ? newNumber[entry] : std::uint16_t{0}; };
    std::vector<MpoImage> images(count);
    for (std::size_t p = 0; p < count; ++p) {
        const ImageHeader& h = headers[order[p]];
        MpoImage& image = images[p];
        image.source = MpoImageSource::Memory(outputs[p].Bytes(), h.name);
        image.type = h.attribute & kMpTypeMask;
        image.entryFlags = h.attribute & ~kMpTypeMask;
        image.dependent1 = renumbered(h.dependent1);
        image.dependent2 = renumbered(h.dependent2);
        if (!sourceIndexed) continue;
        image.attributes = h.attributes ? h.attributes->tags : std::vector<MpTag>{};  // none without an IFD
        const std::optional<MpAttributeIfd>& numbered =
            IsStereoType(h.attribute) && headers[p].attributes ? headers[p].attributes : h.attributes;
        image.individualNumber = numbered ? numbered->individualNumber : 0;
    }
    return images;
}

}  // namespace

SetTransformResult TransformImageSet(const std::string& path, const std::string& outputPath,
                                     const SetTransformOptions& options,
                                     const std::function<void(const std::string&)>& indexIgnored) {
    if (!IsExistingFile(path)) throw InOutError(ioerr::FileNotFound, path);
    InputFile file(path);
    const ImageRanges found = FindImages(path, file, options.scan, indexIgnored);
    const std::size_t count = found.ranges.size();

    // Every header first: the plan and its refusals come before any image is decoded.
    std::vector<ImageHeader> headers;
    {
        FileByteSource source(file);
        for (std::size_t i = 0; i < count; ++i) {
            const auto [start, end] = found.ranges[i];
            headers.push_back(ReadImageHeader(source, start, end,
                                              count == 1 ? path : path + ": image " + std::to_string(i + 1)));
            ImageHeader& h = headers.back();
            if (found.indexed) {
                const MpfEntry& entry = found.index.entries[i];
                h.attribute = entry.attribute;
                h.dependent1 = entry.dependent1;
                h.dependent2 = entry.dependent2;
                h.role = DetectImageRole(h.roleHeader, found.index, i);
            } else if (count > 1) {
                h.attribute = kMpTypeDisparity;  // as --join and --repair type images of no index
            }
            h.roleHeader = {};
        }
    }
    const bool stereo = std::count_if(headers.begin(), headers.end(),
                                      [](const ImageHeader& h) { return IsStereoType(h.attribute); }) >= 2;
    const ImageHeader& first = headers[0];

    SetTransformResult result;
    const bool autoTurn = options.operation == Operation::Auto;
    if (autoTurn) {
        result.orientation = first.orientation.value_or(0);
        result.turn = TurnOfOrientation(result.orientation);
    } else {
        result.turn = TurnOf(options.operation);
    }
    if (stereo && AxesOf(result.turn).swap && !options.force)
        throw TransformError(path,
                             (autoTurn ? "its Orientation " + std::to_string(result.orientation) + " asks for " +
                                             TurnWord(result.turn) + ", which"
                                       : std::string(TurnWord(result.turn))) +
                                 " would stand its stereo images upright, one eye above the other; give --force to "
                                 "turn them all the same",
                             true);

    const std::vector<KeptPlan> kept = PlanKeptParts(path, headers, result.turn, options);
    result.eyesExchanged = stereo && ExchangesEyes(result.turn);
    const std::vector<std::size_t> order = OutputOrder(headers, result.eyesExchanged);

    // One image at a time: read, decoded to coefficients, turned and coded again.
    std::vector<TransformedJpeg> outputs(count);
    result.indexed = found.indexed || count > 1;
    result.outputPath = outputPath.empty() ? DefaultTransformName(path, options.operation, result.indexed) : outputPath;
    for (std::size_t p = 0; p < count; ++p) {
        const std::size_t i = order[p];
        const ImageHeader& h = headers[i];
        const Size after = TurnedSize(result.turn, kept[i].part.region.Extent());
        CoefficientTransform request;
        request.source = kept[i].part.region;
        request.turn = result.turn;
        request.segments = EditedSegments(h, after, result.turn, autoTurn);
        TransformedJpeg turned = TransformJpeg(file, h.start, h.end - h.start, request, h.name);

        ImageOutcome outcome;
        outcome.sourceNumber = i + 1;
        outcome.role = headers[p].role;  // roles belong to positions: the first eye is the left
        outcome.before = h.size;
        outcome.after = turned.size;
        outcome.trimmed = kept[i].part.trimmed;
        if (options.operation == Operation::Crop) outcome.kept = kept[i].part.region;
        outcome.cornerMoved = kept[i].cornerMoved;
        result.images.push_back(outcome);
        outputs[p] = std::move(turned);
    }

    // What follows the images (a motion photo's video, Samsung's records) follows them still, byte
    // for byte: its offsets count from the end of the file, so the turned images leave it valid.
    const MpoTrailer trailer =
        found.trailerStart >= 0 ? MpoTrailer{path, found.trailerStart, file.Size() - found.trailerStart} : MpoTrailer{};
    result.trailerBytes = trailer.length;
    if (!result.indexed) {
        AtomicOutputFile out(result.outputPath);
        out.Write(outputs[0].bytes.data(), outputs[0].bytes.size());
        AppendTrailer(out, trailer);
        out.Commit();
        result.fileSize = static_cast<std::int64_t>(outputs[0].bytes.size()) + trailer.length;
        return result;
    }
    std::vector<MpoImage> images = IndexedOutput(headers, order, outputs, found.indexed);
    // A container directory in image 1's XMP gives the later images' lengths (a gain map's):
    // set to their new sizes, which a layout of the set in memory tells.
    std::vector<std::uint8_t> editedFirst;
    if (count > 1 && !result.eyesExchanged) {
        if (const auto lengths = FindContainerLengths(outputs[0].Bytes())) {
            const MpoWriteResult layout = LayOutMpo(images);
            std::vector<std::int64_t> laterSizes;
            for (std::size_t p = 1; p < layout.images.size(); ++p) laterSizes.push_back(layout.images[p].size);
            editedFirst = WithContainerLengths(outputs[0].Bytes(), *lengths, laterSizes);
            if (!editedFirst.empty()) images[0].source = MpoImageSource::Memory(editedFirst, images[0].source.name);
        }
    }
    result.fileSize = WriteMpoFile(images, result.outputPath, trailer).fileSize;
    return result;
}

std::string DefaultTransformName(const std::string& path, Operation operation, bool severalImages) {
    std::size_t nameStart = path.size();
    while (nameStart > 0 && !IsPathSeparator(path[nameStart - 1])) --nameStart;
    const std::size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > nameStart;
    const std::string stem = hasExtension ? path.substr(0, dot) : path;
    const std::string extension = hasExtension ? path.substr(dot) : severalImages ? ".mpo" : ".jpg";
    return stem + "_" + OperationWord(operation) + extension;
}

}  // namespace veltrane::transform
