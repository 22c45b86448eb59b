// SPDX-License-Identifier: GPL-3.0-or-later
// Reading the meta box of a HEIF file: items, locations, references, properties and groups.
#include "core/heif_boxes/heif_structure.h"

#include <algorithm>
#include <array>
#include <map>
#include <unordered_map>

#include "core/common/file_io.h"
#include "core/heif_boxes/box_cursor.h"
#include "core/heif_boxes/stereo_camera.h"

namespace veltrane::heif_boxes {

namespace {

constexpr FourCc kFtyp = MakeFourCc("ftyp"), kMeta = MakeFourCc("meta"), kHdlr = MakeFourCc("hdlr"),
                 kPitm = MakeFourCc("pitm"), kIinf = MakeFourCc("iinf"), kInfe = MakeFourCc("infe"),
                 kIloc = MakeFourCc("iloc"), kIref = MakeFourCc("iref"), kIprp = MakeFourCc("iprp"),
                 kIpco = MakeFourCc("ipco"), kIpma = MakeFourCc("ipma"), kIdat = MakeFourCc("idat"),
                 kGrpl = MakeFourCc("grpl"), kIspe = MakeFourCc("ispe"), kColr = MakeFourCc("colr"),
                 kHvcC = MakeFourCc("hvcC"), kAv1C = MakeFourCc("av1C"), kMime = MakeFourCc("mime"),
                 kUri = MakeFourCc("uri "), kProf = MakeFourCc("prof"), kRicc = MakeFourCc("rICC"),
                 kNclx = MakeFourCc("nclx"), kCmin = MakeFourCc("cmin"), kCmex = MakeFourCc("cmex"),
                 kUuid = MakeFourCc("uuid"), kAuxC = MakeFourCc("auxC");

// Property indices in 'ipma' have at most 15 bits: later properties cannot be associated.
constexpr std::size_t kMaxProperties = 0x7FFF;
// However small each extent entry, no file needs more extents than this.
constexpr std::uint64_t kMaxExtents = 1u << 20;
// The file-level boxes looked at before giving up on finding 'meta'.
constexpr int kMaxTopLevelBoxesBeforeMeta = 1024;

struct FullBoxHeader {
    std::uint8_t version;
    std::uint32_t flags;
};

// The boxes that fill the rest of the cursor's range. (The position is taken before the rest is:
// the order in which function arguments are evaluated is the compiler's choice.)
void ForEachBoxAfter(BoxCursor& c, FourCc container, const std::function<bool(const BoxView&)>& visit) {
    const std::uint64_t position = c.FilePosition();
    ForEachBox(c.Rest(), position, container, visit);
}

FullBoxHeader ReadFullBoxHeader(BoxCursor& c) {
    const auto word = c.U32();
    return {static_cast<std::uint8_t>(word >> 24), word & 0xFFFFFF};
}

// One property of 'ipco', parsed only as far as the reader uses it.
struct Property {
    FourCc type = 0;
    std::uint32_t width = 0, height = 0;
    int chromaFormat = -1, bitDepth = 0;
    int icc = -1;
    std::optional<HeifNclx> nclx;
    std::optional<HeifCameraIntrinsics> intrinsics;
    std::optional<HeifCameraExtrinsics> extrinsics;
    std::optional<std::int32_t> disparity;
    bool standardCamera = false;  // 'cmin' or 'cmex' rather than a 'uuid' property
    std::string auxiliaryType;
};

bool HasUsertype(const BoxView& box, const std::array<std::uint8_t, 16>& uuid) {
    return box.usertype.size() == uuid.size() && std::equal(uuid.begin(), uuid.end(), box.usertype.begin());
}

// The camera properties of both forms. One that cannot be read is left out rather than failing
// the file: nothing else depends on it.
void ParseCameraProperty(const BoxView& box, Property& p) {
    BoxCursor c(box.payload, box.payloadPosition, box.type);
    try {
        if (box.type == kCmin || HasUsertype(box, kIntrinsicsUuid)) p.intrinsics = ReadCameraIntrinsics(c);
        else if (box.type == kCmex || HasUsertype(box, kExtrinsicsUuid)) p.extrinsics = ReadCameraExtrinsics(c);
        else if (HasUsertype(box, kDisparityUuid)) p.disparity = static_cast<std::int32_t>(c.U32());
        p.standardCamera = box.type != kUuid;
    } catch (const HeifFormatError&) {
        p.intrinsics.reset();
        p.extrinsics.reset();
        p.disparity.reset();
    }
}

class MetaParser {
public:
    MetaParser(HeifStructure& out, const HeifReadLimits& limits) : out_(out), limits_(limits) {}

    void Parse(const BoxView& meta) {
        BoxCursor c(meta.payload, meta.payloadPosition, kMeta);
        const auto header = ReadFullBoxHeader(c);
        if (header.version != 0) c.Fail("version " + std::to_string(header.version));
        std::array<int, 8> seen{};  // hdlr pitm iinf iloc iref iprp idat grpl
        const std::array<FourCc, 8> unique{kHdlr, kPitm, kIinf, kIloc, kIref, kIprp, kIdat, kGrpl};
        std::optional<BoxView> iloc, iprp;
        ForEachBoxAfter(c, kMeta, [&](const BoxView& box) {
            const auto it = std::find(unique.begin(), unique.end(), box.type);
            if (it != unique.end() && seen[static_cast<std::size_t>(it - unique.begin())]++ != 0)
                BoxCursor(box.payload, box.payloadPosition, kMeta).Fail("holds two '" + FourCcText(box.type) + "' boxes");
            if (box.type == kHdlr) ParseHdlr(box);
            else if (box.type == kPitm) ParsePitm(box);
            else if (box.type == kIinf) ParseIinf(box);
            else if (box.type == kIloc) iloc = box;
            else if (box.type == kIref) ParseIref(box);
            else if (box.type == kIprp) iprp = box;
            else if (box.type == kIdat) out_.idatOffset = box.payloadPosition, out_.idatSize = box.payload.size();
            else if (box.type == kGrpl) ParseGrpl(box);
            return true;
        });
        // Locations and properties refer to the items of 'iinf', wherever it stands.
        if (iloc) ParseIloc(*iloc);
        if (iprp) ParseIprp(*iprp);
    }

private:
    HeifItem* Item(std::uint32_t id) {
        const auto it = index_.find(id);
        return it == index_.end() ? nullptr : &out_.items[it->second];
    }

    void ParseHdlr(const BoxView& box) {
        BoxCursor c(box.payload, box.payloadPosition, box.type);
        ReadFullBoxHeader(c);
        c.U32();  // pre_defined
        out_.handler = c.U32();
    }

    void ParsePitm(const BoxView& box) {
        BoxCursor c(box.payload, box.payloadPosition, box.type);
        const auto h = ReadFullBoxHeader(c);
        out_.primaryItem = h.version == 0 ? c.U16() : c.U32();
    }

    //   iinf: full box; entry_count (u16 in version 0, else u32); 'infe' boxes
    //   infe version 2/3: item_ID (u16 / u32), protection_index u16, item_type 4cc, name\0,
    //                     then content_type\0 [content_encoding\0] for 'mime', uri\0 for 'uri '
    //   infe version 0/1: item_ID u16, protection_index u16, name\0, content_type\0, ...
    //   flags bit 0: the item is hidden.
    void ParseIinf(const BoxView& box) {
        BoxCursor c(box.payload, box.payloadPosition, box.type);
        const auto h = ReadFullBoxHeader(c);
        const std::uint64_t count = h.version == 0 ? c.U16() : c.U32();
        c.RequireEntries(count, 12, "item entries");
        if (count > limits_.maxItems) c.Fail(std::to_string(count) + " items are more than this reader takes");
        out_.items.reserve(static_cast<std::size_t>(count));
        ForEachBoxAfter(c, kIinf, [&](const BoxView& child) {
            if (child.type != kInfe) return true;
            if (out_.items.size() >= count) return false;
            BoxCursor e(child.payload, child.payloadPosition, kInfe);
            const auto eh = ReadFullBoxHeader(e);
            HeifItem item;
            item.hidden = (eh.flags & 1) != 0;
            if (eh.version >= 2) {
                item.id = eh.version == 2 ? e.U16() : e.U32();
                e.U16();
                item.type = e.U32();
                item.name = e.CString();
                if (item.type == kMime) item.contentType = e.CString();
                else if (item.type == kUri) item.contentType = e.CString();
            } else {
                item.id = e.U16();
                e.U16();
                item.name = e.CString();
                item.contentType = e.CString();
            }
            if (!index_.emplace(item.id, out_.items.size()).second)
                e.Fail("item " + std::to_string(item.id) + " is declared twice");
            out_.items.push_back(std::move(item));
            return true;
        });
    }

    //   iloc: full box (version 0, 1 or 2)
    //     u4 offset_size, u4 length_size, u4 base_offset_size, u4 index_size (v1/v2; else reserved)
    //     item_count (u16; u32 in version 2)
    //     per item: item_ID (u16; u32 in v2), [u12 reserved, u4 construction_method] (v1/v2),
    //               u16 data_reference_index, base_offset (base_offset_size bytes), u16 extent_count,
    //               per extent: [extent_index (index_size bytes), v1/v2], extent_offset, extent_length
    //   Sizes are 0, 4 or 8 bytes.
    void ParseIloc(const BoxView& box) {
        BoxCursor c(box.payload, box.payloadPosition, box.type);
        const auto h = ReadFullBoxHeader(c);
        if (h.version > 2) c.Fail("version " + std::to_string(h.version));
        const auto sizes = c.U16();
        const unsigned offsetSize = sizes >> 12, lengthSize = (sizes >> 8) & 15, baseSize = (sizes >> 4) & 15;
        const unsigned indexSize = h.version >= 1 ? sizes & 15 : 0;
        for (const unsigned s : {offsetSize, lengthSize, baseSize, indexSize})
            if (s != 0 && s != 4 && s != 8) c.Fail("field size " + std::to_string(s));
        const std::uint64_t count = h.version < 2 ? c.U16() : c.U32();
        const unsigned idSize = h.version < 2 ? 2 : 4;
        const unsigned methodSize = h.version >= 1 ? 2 : 0;
        c.RequireEntries(count, idSize + methodSize + 2 + baseSize + 2, "item locations");
        const std::uint64_t extentSize = indexSize + offsetSize + lengthSize;
        std::uint64_t extents = 0;
        for (std::uint64_t i = 0; i < count; ++i) {
            const std::uint32_t id = static_cast<std::uint32_t>(c.Unsigned(idSize));
            HeifItemLocation loc;
            if (methodSize != 0) loc.constructionMethod = static_cast<std::uint8_t>(c.U16() & 15);
            loc.dataReferenceIndex = c.U16();
            loc.baseOffsetSize = static_cast<std::uint8_t>(baseSize);
            loc.offsetSize = static_cast<std::uint8_t>(offsetSize);
            loc.baseOffsetFieldPosition = baseSize != 0 ? c.FilePosition() : 0;
            loc.baseOffset = c.Unsigned(baseSize);
            const std::uint16_t extentCount = c.U16();
            c.RequireEntries(extentCount, extentSize, "extents");
            extents += extentCount;
            if (extents > kMaxExtents) c.Fail("more than " + std::to_string(kMaxExtents) + " extents");
            loc.extents.reserve(extentCount);
            for (unsigned e = 0; e < extentCount; ++e) {
                HeifExtent extent;
                c.Unsigned(indexSize);
                extent.offsetFieldPosition = offsetSize != 0 ? c.FilePosition() : 0;
                extent.offset = c.Unsigned(offsetSize);
                extent.length = c.Unsigned(lengthSize);
                loc.extents.push_back(extent);
            }
            if (loc.constructionMethod > 2) c.Fail("construction method " + std::to_string(loc.constructionMethod));
            HeifItem* item = Item(id);
            if (item == nullptr) {
                out_.undeclaredLocations.push_back(std::move(loc));
                continue;
            }
            if (item->location) c.Fail("item " + std::to_string(id) + " has two locations");
            item->location = std::move(loc);
        }
    }

    //   iref: full box; boxes whose type is the reference type, each:
    //     from_item_ID (u16; u32 in version 1), u16 reference_count, to_item_ID * reference_count
    void ParseIref(const BoxView& box) {
        BoxCursor c(box.payload, box.payloadPosition, box.type);
        const auto h = ReadFullBoxHeader(c);
        const unsigned idSize = h.version == 0 ? 2 : 4;
        ForEachBoxAfter(c, kIref, [&](const BoxView& child) {
            BoxCursor r(child.payload, child.payloadPosition, child.type);
            HeifReference ref;
            ref.type = child.type;
            ref.from = static_cast<std::uint32_t>(r.Unsigned(idSize));
            const auto count = r.U16();
            r.RequireEntries(count, idSize, "references");
            ref.to.reserve(count);
            for (unsigned i = 0; i < count; ++i) ref.to.push_back(static_cast<std::uint32_t>(r.Unsigned(idSize)));
            out_.references.push_back(std::move(ref));
            return true;
        });
    }

    //   grpl: boxes whose type is the grouping type, each a full box:
    //     u32 group_id, u32 num_entities_in_group, u32 entity_id * num_entities_in_group
    void ParseGrpl(const BoxView& box) {
        ForEachBox(box.payload, box.payloadPosition, kGrpl, [&](const BoxView& child) {
            BoxCursor g(child.payload, child.payloadPosition, child.type);
            ReadFullBoxHeader(g);
            HeifEntityGroup group;
            group.type = child.type;
            group.groupId = g.U32();
            const auto count = g.U32();
            g.RequireEntries(count, 4, "entities");
            group.entities.reserve(count);
            for (std::uint32_t i = 0; i < count; ++i) group.entities.push_back(g.U32());
            out_.groups.push_back(std::move(group));
            return true;
        });
    }

    //   iprp: 'ipco' (the properties, numbered from 1) and one or more 'ipma':
    //   ipma: full box; u32 entry_count; per entry: item_ID (u16; u32 in version >= 1),
    //         u8 association_count; per association u8 (flags & 1: u16): bit 7 (15) essential,
    //         the rest the property index (0 = none)
    void ParseIprp(const BoxView& box) {
        std::vector<Property> properties;
        std::vector<BoxView> ipmas;
        ForEachBox(box.payload, box.payloadPosition, kIprp, [&](const BoxView& child) {
            if (child.type == kIpco) {
                if (!properties.empty()) BoxCursor(child.payload, child.payloadPosition, kIprp).Fail("holds two 'ipco' boxes");
                ForEachBox(child.payload, child.payloadPosition, kIpco, [&](const BoxView& p) {
                    if (properties.size() >= kMaxProperties) return false;
                    properties.push_back(ParseProperty(p));
                    out_.properties.push_back({p.type, p.span.offset, p.span.size});
                    return true;
                });
            } else if (child.type == kIpma) {
                ipmas.push_back(child);
            }
            return true;
        });
        std::vector<bool> associated(out_.items.size());
        for (const auto& ipma : ipmas) {
            BoxCursor c(ipma.payload, ipma.payloadPosition, kIpma);
            const auto h = ReadFullBoxHeader(c);
            const unsigned idSize = h.version < 1 ? 2 : 4;
            const unsigned indexSize = (h.flags & 1) != 0 ? 2 : 1;
            const auto count = c.U32();
            c.RequireEntries(count, idSize + 1, "property associations");
            for (std::uint32_t i = 0; i < count; ++i) {
                const auto id = static_cast<std::uint32_t>(c.Unsigned(idSize));
                const auto n = c.U8();
                c.RequireEntries(n, indexSize, "property indices");
                HeifItem* item = Item(id);
                if (item != nullptr) {
                    const auto slot = static_cast<std::size_t>(item - out_.items.data());
                    if (associated[slot]) c.Fail("item " + std::to_string(id) + " is listed twice");
                    associated[slot] = true;
                }
                for (unsigned a = 0; a < n; ++a) {
                    const auto value = c.Unsigned(indexSize);
                    const auto index = value & (indexSize == 2 ? 0x7FFFu : 0x7Fu);
                    const bool essential = (value >> (indexSize * 8 - 1)) != 0;
                    if (index == 0 || item == nullptr) continue;
                    if (index > properties.size())
                        c.Fail("item " + std::to_string(id) + " refers to property " + std::to_string(index) + " of " +
                               std::to_string(properties.size()));
                    Apply(properties[index - 1], *item);
                    item->associations.push_back({static_cast<std::uint32_t>(index), essential});
                }
            }
        }
    }

    Property ParseProperty(const BoxView& box) {
        Property p;
        p.type = box.type;
        BoxCursor c(box.payload, box.payloadPosition, box.type);
        if (box.type == kIspe) {
            ReadFullBoxHeader(c);
            p.width = c.U32();
            p.height = c.U32();
        } else if (box.type == kHvcC && c.Left() >= 18) {
            //   hvcC: u8 version, 11 bytes of profile, tier and constraints, u8 level,
            //         u16 min_spatial_segmentation, u8 parallelism, u6 - u2 chroma_format_idc,
            //         u5 - u3 bit_depth_luma_minus8, ...
            c.Skip(16);
            p.chromaFormat = c.U8() & 3;
            p.bitDepth = (c.U8() & 7) + 8;
        } else if (box.type == kAuxC) {
            //   auxC: full box; aux_type\0 (a URN), then codec-specific subtype bytes
            ReadFullBoxHeader(c);
            p.auxiliaryType = c.CString();
        } else if (box.type == kColr) {
            //   colr: u32 colour_type; 'nclx': u16 primaries, u16 transfer, u16 matrix, u1 full range;
            //         'prof' / 'rICC': the ICC profile
            const auto kind = c.U32();
            if (kind == kNclx) {
                HeifNclx n;
                n.colourPrimaries = c.U16();
                n.transferCharacteristics = c.U16();
                n.matrixCoefficients = c.U16();
                n.fullRange = (c.U8() & 0x80) != 0;
                p.nclx = n;
            } else if (kind == kProf || kind == kRicc) {
                const auto profile = c.Rest();
                p.icc = static_cast<int>(out_.iccProfiles.size());
                out_.iccProfiles.emplace_back(profile.begin(), profile.end());
            }
        } else if (box.type == kCmin || box.type == kCmex || box.type == kUuid) {
            ParseCameraProperty(box, p);
        }
        return p;
    }

    static void Apply(const Property& p, HeifItem& item) {
        item.propertyTypes.push_back(p.type);
        if (p.type == kIspe) item.width = p.width, item.height = p.height;
        if (p.type == kHvcC || p.type == kAv1C) item.hasCodecConfiguration = true;
        if (p.chromaFormat >= 0) item.chromaFormat = p.chromaFormat, item.bitDepth = p.bitDepth;
        if (p.icc >= 0 && item.iccProfile < 0) item.iccProfile = p.icc;
        if (p.nclx && !item.nclx) item.nclx = p.nclx;
        // The standard boxes win over the 'uuid' ones, whichever comes first.
        if (p.intrinsics && (p.standardCamera || !item.intrinsics)) item.intrinsics = p.intrinsics;
        if (p.extrinsics && (p.standardCamera || !item.extrinsics)) item.extrinsics = p.extrinsics;
        if (p.disparity && !item.disparityAdjustment) item.disparityAdjustment = p.disparity;
        if (!p.auxiliaryType.empty() && item.auxiliaryType.empty()) item.auxiliaryType = p.auxiliaryType;
    }

    HeifStructure& out_;
    const HeifReadLimits& limits_;
    std::unordered_map<std::uint32_t, std::size_t> index_;
};

// Bytes of a file, in memory or on disk.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t Size() const = 0;
    virtual void Read(std::uint64_t position, std::uint8_t* out, std::size_t n) = 0;
};

class SpanSource : public ByteSource {
public:
    explicit SpanSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    void Read(std::uint64_t position, std::uint8_t* out, std::size_t n) override {
        std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position), n, out);
    }

private:
    std::span<const std::uint8_t> bytes_;
};

class FileSource : public ByteSource {
public:
    explicit FileSource(InputFile& file) : file_(file), size_(static_cast<std::uint64_t>(file.Size())) {}
    std::uint64_t Size() const override { return size_; }
    void Read(std::uint64_t position, std::uint8_t* out, std::size_t n) override {
        file_.ReadAt(static_cast<std::int64_t>(position), out, n);
    }

private:
    InputFile& file_;
    std::uint64_t size_;
};

//   ftyp: major_brand 4cc, u32 minor_version, compatible_brands 4cc * n
void ParseFtyp(std::span<const std::uint8_t> payload, std::uint64_t position, HeifStructure& out) {
    BoxCursor c(payload, position, kFtyp);
    out.majorBrand = c.U32();
    c.U32();
    while (c.Left() >= 4) out.compatibleBrands.push_back(c.U32());
}

HeifStructure ReadStructure(ByteSource& source, const HeifReadLimits& limits) {
    HeifStructure out;
    out.fileSize = source.Size();
    std::uint64_t pos = 0;
    for (int n = 0; n < kMaxTopLevelBoxesBeforeMeta && pos < out.fileSize; ++n) {
        std::array<std::uint8_t, 32> head{};
        const auto headSize = static_cast<std::size_t>(std::min<std::uint64_t>(head.size(), out.fileSize - pos));
        source.Read(pos, head.data(), headSize);
        if (n == 0 && (headSize < 8 || BoxCursor(std::span(head.data() + 4, 4), 4, 0).U32() != kFtyp))
            throw HeifFormatError("not a HEIF file: it does not start with an 'ftyp' box");
        FourCc type = 0;
        const auto span = ParseBoxHeader(std::span(head.data(), headSize), out.fileSize - pos, pos, 0, type);
        out.topLevelBoxes.push_back(type);
        const std::uint64_t payloadSize = span.size - span.headerSize;
        if (type == kFtyp || type == kMeta) {
            const std::uint64_t cap = type == kFtyp ? 4096 : limits.maxMetaBytes;
            if (payloadSize > cap)
                throw HeifFormatError("box '" + FourCcText(type) + "' of " + std::to_string(span.size) +
                                      " bytes is larger than this reader takes");
            std::vector<std::uint8_t> payload(static_cast<std::size_t>(payloadSize));
            source.Read(pos + span.headerSize, payload.data(), payload.size());
            if (type == kFtyp) {
                ParseFtyp(payload, pos + span.headerSize, out);
            } else {
                out.meta = span;
                BoxView meta{type, span, payload, pos + span.headerSize, {}};
                MetaParser(out, limits).Parse(meta);
                return out;
            }
        }
        pos += span.size;
    }
    throw HeifFormatError("not a HEIF file: it has no 'meta' box");
}

}  // namespace

HeifStructure ParseHeif(std::span<const std::uint8_t> file, const HeifReadLimits& limits) {
    SpanSource source(file);
    return ReadStructure(source, limits);
}

HeifStructure ReadHeifStructure(InputFile& file, const HeifReadLimits& limits) {
    FileSource source(file);
    return ReadStructure(source, limits);
}

namespace {

std::vector<std::uint8_t> Payload(const HeifStructure& s, ByteSource& source, std::uint32_t itemId,
                                  const HeifReadLimits& limits) {
    const auto pieces = ItemFileRanges(s, itemId);
    std::uint64_t total = 0;
    for (const auto& piece : pieces) {
        if (piece.length > limits.maxItemBytes - total)
            throw HeifFormatError("item " + std::to_string(itemId) + " is larger than this reader takes");
        total += piece.length;
    }
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(total));
    std::size_t at = 0;
    for (const auto& piece : pieces) {
        source.Read(piece.offset, bytes.data() + at, static_cast<std::size_t>(piece.length));
        at += static_cast<std::size_t>(piece.length);
    }
    return bytes;
}

HeifFileBoxes ListBoxes(ByteSource& source, std::uint64_t maxBoxes) {
    HeifFileBoxes out;
    const std::uint64_t fileSize = source.Size();
    std::uint64_t pos = 0;
    while (pos < fileSize) {
        if (out.boxes.size() >= maxBoxes) {
            out.problem = "the file holds more than " + std::to_string(maxBoxes) + " boxes";
            break;
        }
        std::array<std::uint8_t, 32> head{};
        const auto headSize = static_cast<std::size_t>(std::min<std::uint64_t>(head.size(), fileSize - pos));
        source.Read(pos, head.data(), headSize);
        HeifFileBox box;
        const std::uint64_t left = fileSize - pos;
        try {
            // Parsed as if the file went on for ever (a size of 0 still runs to its end), so that
            // a box cut short is told from a header that makes no sense.
            const bool toTheEnd = headSize >= 4 && head[0] == 0 && head[1] == 0 && head[2] == 0 && head[3] == 0;
            box.span = ParseBoxHeader(std::span(head.data(), headSize), toTheEnd ? left : UINT64_MAX, pos, 0, box.type);
            if (box.span.headerSize > left) throw HeifFormatError("a box header is cut short at offset " + std::to_string(pos));
        } catch (const HeifFormatError& e) {
            out.problem = e.what();
            break;
        }
        if (box.span.size > left) {
            out.problem = "box '" + FourCcText(box.type) + "' at offset " + std::to_string(pos) + " runs past the end of the file (" +
                          std::to_string(box.span.size) + " bytes, " + std::to_string(left) + " there)";
            box.span.size = left;
            box.cutShort = true;
            out.boxes.push_back(box);
            break;
        }
        out.boxes.push_back(box);
        pos += box.span.size;
    }
    return out;
}

}  // namespace

std::vector<HeifFileRange> ItemFileRanges(const HeifStructure& s, std::uint32_t itemId) {
    const HeifItem* item = s.FindItem(itemId);
    const std::string name = "item " + std::to_string(itemId);
    if (item == nullptr) throw HeifFormatError(name + " does not exist");
    if (!item->location) throw HeifFormatError(name + " has no location");
    const auto& loc = *item->location;
    if (loc.dataReferenceIndex != 0) throw HeifFormatError(name + " lies in another file");
    if (loc.constructionMethod == 2) throw HeifFormatError(name + " is built from other items");
    // Method 0 addresses the file, method 1 the payload of 'idat'.
    const std::uint64_t areaStart = loc.constructionMethod == 0 ? 0 : s.idatOffset;
    const std::uint64_t areaSize = loc.constructionMethod == 0 ? s.fileSize : s.idatSize;
    std::vector<HeifFileRange> pieces;
    pieces.reserve(loc.extents.size());
    for (const auto& e : loc.extents) {
        const std::uint64_t start = loc.baseOffset + e.offset;
        if (start < loc.baseOffset || start > areaSize) throw HeifFormatError(name + " lies outside the file");
        const std::uint64_t length = e.length == 0 ? areaSize - start : e.length;
        if (length > areaSize - start) throw HeifFormatError(name + " runs past the end of the file");
        pieces.push_back({areaStart + start, length});
    }
    return pieces;
}

HeifFileBoxes ListFileBoxes(std::span<const std::uint8_t> file, std::uint64_t maxBoxes) {
    SpanSource source(file);
    return ListBoxes(source, maxBoxes);
}

HeifFileBoxes ListFileBoxes(InputFile& file, std::uint64_t maxBoxes) {
    FileSource source(file);
    return ListBoxes(source, maxBoxes);
}

std::vector<std::uint8_t> ItemPayload(const HeifStructure& structure, std::span<const std::uint8_t> file,
                                      std::uint32_t itemId, const HeifReadLimits& limits) {
    if (file.size() != structure.fileSize) throw HeifFormatError("the file is not the one that was read");
    SpanSource source(file);
    return Payload(structure, source, itemId, limits);
}

std::vector<std::uint8_t> ItemPayload(const HeifStructure& structure, InputFile& file, std::uint32_t itemId,
                                      const HeifReadLimits& limits) {
    FileSource source(file);
    if (source.Size() != structure.fileSize) throw HeifFormatError("the file changed while it was read");
    return Payload(structure, source, itemId, limits);
}

}  // namespace veltrane::heif_boxes
