// SPDX-License-Identifier: GPL-3.0-or-later
// Writing the parts of a HEIF file (heif_parts.h): an image item as a single-image HEIF file of
// its own, its coded data copied, never decoded; anything else byte-exact from its ranges.
//
// The single-image file:
//
//   ftyp  heic (avif, mif1), compatible mif1 and the same
//   meta  hdlr 'pict'; pitm 1; iinf: item 1 the image, items 2.. the inputs of a derived image
//         (a grid's tiles, hidden); iref 'dimg' from each derived item to its inputs; iprp: the
//         properties that describe the coded picture (codec configuration, size, colour,
//         orientation, aspect), each box copied as it is; iloc v1, 8-byte offsets and lengths,
//         one extent per item
//   mdat  the items' data, in item order
#include <algorithm>
#include <array>
#include <map>
#include <set>

#include "core/common/file_io.h"
#include "core/heif_boxes/heif_structure.h"
#include "core/parts/heif_parts.h"

namespace veltrane::parts {

namespace hb = heif_boxes;
using hb::FourCc;
using hb::MakeFourCc;

namespace {

constexpr FourCc kDimg = MakeFourCc("dimg"), kAv01 = MakeFourCc("av01"), kHvc1 = MakeFourCc("hvc1");
// The properties a picture needs to be shown as it was: the rest ('auxC', 'lsel', layers,
// ...) describe its place in the source file.
constexpr std::array<FourCc, 12> kCarriedProperties{
    MakeFourCc("hvcC"), MakeFourCc("av1C"), MakeFourCc("jpgC"), MakeFourCc("ispe"),
    MakeFourCc("colr"), MakeFourCc("pixi"), MakeFourCc("irot"), MakeFourCc("imir"),
    MakeFourCc("clap"), MakeFourCc("pasp"), MakeFourCc("clli"), MakeFourCc("mdcv")};
constexpr std::uint64_t kMaxPropertyBox = 1u << 20;
constexpr std::size_t kMaxItems = 4096;  // item IDs of the new file are 16-bit
constexpr int kMaxDerivationDepth = 8;

// Big-endian box bytes, with boxes opened and closed around their contents.
class BoxBytes {
public:
    // The low size bytes of value (size at most 8).
    void Put(std::uint64_t value, unsigned size) {
        for (unsigned i = size; i-- > 0;) bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
    void Append(std::span<const std::uint8_t> data) { bytes_.insert(bytes_.end(), data.begin(), data.end()); }
    std::size_t Open(FourCc type) {
        const std::size_t start = bytes_.size();
        Put(0, 4);
        Put(type, 4);
        return start;
    }
    std::size_t OpenFull(FourCc type, std::uint8_t version, std::uint32_t flags) {
        const std::size_t start = Open(type);
        Put((std::uint32_t{version} << 24) | (flags & 0xFFFFFF), 4);
        return start;
    }
    void Close(std::size_t start) {
        const std::uint64_t size = bytes_.size() - start;
        for (unsigned i = 0; i < 4; ++i) bytes_[start + i] = static_cast<std::uint8_t>(size >> (8 * (3 - i)));
    }
    std::vector<std::uint8_t>& Bytes() { return bytes_; }

private:
    std::vector<std::uint8_t> bytes_;
};

struct PlannedItem {
    const hb::HeifItem* source = nullptr;
    std::uint16_t id = 0;
    std::vector<hb::HeifFileRange> ranges;
    std::uint64_t length = 0;
    std::vector<std::uint16_t> inputs;  // new IDs of a derived image's inputs, in order
};

// The single-image file: its boxes up to the mdat header, then the ranges of the source whose
// bytes fill mdat.
struct SingleImagePlan {
    std::vector<std::uint8_t> head;
    std::vector<hb::HeifFileRange> data;
    std::uint64_t dataSize = 0;
};

class SingleImagePlanner {
public:
    SingleImagePlanner(const hb::HeifStructure& s, InputFile& source) : s_(s), source_(source) {}

    SingleImagePlan Plan(std::uint32_t itemId) {
        const hb::HeifItem* item = s_.FindItem(itemId);
        if (item == nullptr || !item->IsImage())
            throw hb::HeifFormatError("item " + std::to_string(itemId) + " is no image");
        Collect(itemId, 0);
        for (auto& planned : items_) {
            planned.ranges = hb::ItemFileRanges(s_, planned.source->id);
            for (const auto& r : planned.ranges) planned.length += r.length;
            for (const auto& ref : s_.references)
                if (ref.type == kDimg && ref.from == planned.source->id)
                    for (const auto input : ref.to) planned.inputs.push_back(ids_.at(input));
        }
        CollectProperties();

        SingleImagePlan plan;
        for (const auto& planned : items_) {
            plan.data.insert(plan.data.end(), planned.ranges.begin(), planned.ranges.end());
            plan.dataSize += planned.length;
        }
        const std::vector<std::uint8_t> ftyp = Ftyp();
        const bool largeMdat = plan.dataSize > 0xFFFFFFFFull - 8;
        const std::uint64_t mdatHeader = largeMdat ? 16 : 8;
        // The item locations are fixed-size fields: the meta box has one size whatever they hold.
        const std::uint64_t metaSize = Meta(0).size();
        const std::vector<std::uint8_t> meta = Meta(ftyp.size() + metaSize + mdatHeader);
        plan.head = ftyp;
        plan.head.insert(plan.head.end(), meta.begin(), meta.end());
        BoxBytes mdat;
        if (largeMdat) {
            mdat.Put(1, 4);
            mdat.Put(MakeFourCc("mdat"), 4);
            mdat.Put(plan.dataSize + 16, 8);
        } else {
            mdat.Put(plan.dataSize + 8, 4);
            mdat.Put(MakeFourCc("mdat"), 4);
        }
        plan.head.insert(plan.head.end(), mdat.Bytes().begin(), mdat.Bytes().end());
        return plan;
    }

private:
    // The item and the inputs it derives from, depth first, each once.
    void Collect(std::uint32_t id, int depth) {
        if (ids_.count(id) != 0) return;
        if (depth > kMaxDerivationDepth) throw hb::HeifFormatError("item " + std::to_string(id) + " derives too deep");
        if (items_.size() >= kMaxItems) throw hb::HeifFormatError("the image is made of too many items");
        const hb::HeifItem* item = s_.FindItem(id);
        if (item == nullptr) throw hb::HeifFormatError("item " + std::to_string(id) + " does not exist");
        ids_.emplace(id, static_cast<std::uint16_t>(items_.size() + 1));
        PlannedItem planned;
        planned.source = item;
        planned.id = static_cast<std::uint16_t>(items_.size() + 1);
        items_.push_back(std::move(planned));
        for (const auto& ref : s_.references)
            if (ref.type == kDimg && ref.from == id)
                for (const auto input : ref.to) Collect(input, depth + 1);
    }

    // The carried properties of every item, each box read once, numbered in order of use.
    void CollectProperties() {
        for (auto& planned : items_) {
            std::vector<std::pair<std::uint16_t, bool>> own;
            for (const auto& a : planned.source->associations) {
                if (a.index == 0 || a.index > s_.properties.size()) continue;
                const auto& box = s_.properties[a.index - 1];
                if (std::find(kCarriedProperties.begin(), kCarriedProperties.end(), box.type) == kCarriedProperties.end())
                    continue;
                auto it = newIndex_.find(a.index);
                if (it == newIndex_.end()) {
                    if (box.size > kMaxPropertyBox || box.size < 8 || box.offset > s_.fileSize ||
                        box.size > s_.fileSize - box.offset)
                        throw hb::HeifFormatError("property '" + hb::FourCcText(box.type) + "' cannot be copied");
                    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(box.size));
                    source_.ReadAt(static_cast<std::int64_t>(box.offset), bytes.data(), bytes.size());
                    properties_.push_back(std::move(bytes));
                    it = newIndex_.emplace(a.index, static_cast<std::uint16_t>(properties_.size())).first;
                }
                if (own.size() < 255) own.emplace_back(it->second, a.essential);
            }
            associations_.push_back(std::move(own));
        }
    }

    FourCc Brand() const {
        for (const auto& planned : items_) {
            if (planned.source->type == kAv01) return MakeFourCc("avif");
            if (planned.source->type == kHvc1) return MakeFourCc("heic");
        }
        return MakeFourCc("mif1");
    }

    std::vector<std::uint8_t> Ftyp() const {
        //   ftyp: major_brand, u32 minor_version, compatible_brands
        BoxBytes b;
        const auto box = b.Open(MakeFourCc("ftyp"));
        const FourCc brand = Brand();
        b.Put(brand, 4);
        b.Put(0, 4);
        b.Put(MakeFourCc("mif1"), 4);
        if (brand != MakeFourCc("mif1")) b.Put(brand, 4);
        if (brand == MakeFourCc("avif")) b.Put(MakeFourCc("miaf"), 4);
        b.Close(box);
        return b.Bytes();
    }

    std::vector<std::uint8_t> Meta(std::uint64_t dataStart) const {
        BoxBytes b;
        const auto meta = b.OpenFull(MakeFourCc("meta"), 0, 0);
        //   hdlr: u32 pre_defined, u32 handler_type, u32[3] reserved, name\0
        const auto hdlr = b.OpenFull(MakeFourCc("hdlr"), 0, 0);
        b.Put(0, 4);
        b.Put(MakeFourCc("pict"), 4);
        for (int i = 0; i < 3; ++i) b.Put(0, 4);
        b.Put(0, 1);
        b.Close(hdlr);
        //   pitm: u16 item_ID
        const auto pitm = b.OpenFull(MakeFourCc("pitm"), 0, 0);
        b.Put(1, 2);
        b.Close(pitm);
        //   iinf: u16 entry_count; infe v2 (flags 1 = hidden): u16 item_ID, u16 protection 0, type, name\0
        const auto iinf = b.OpenFull(MakeFourCc("iinf"), 0, 0);
        b.Put(items_.size(), 2);
        for (const auto& planned : items_) {
            const auto infe = b.OpenFull(MakeFourCc("infe"), 2, planned.id == 1 ? 0 : 1);
            b.Put(planned.id, 2);
            b.Put(0, 2);
            b.Put(planned.source->type, 4);
            b.Put(0, 1);
            b.Close(infe);
        }
        b.Close(iinf);
        //   iref: 'dimg' boxes: u16 from_item_ID, u16 reference_count, u16 to_item_ID...
        if (std::any_of(items_.begin(), items_.end(), [](const PlannedItem& p) { return !p.inputs.empty(); })) {
            const auto iref = b.OpenFull(MakeFourCc("iref"), 0, 0);
            for (const auto& planned : items_) {
                if (planned.inputs.empty()) continue;
                const auto dimg = b.Open(kDimg);
                b.Put(planned.id, 2);
                b.Put(planned.inputs.size(), 2);
                for (const auto input : planned.inputs) b.Put(input, 2);
                b.Close(dimg);
            }
            b.Close(iref);
        }
        //   iprp: ipco (the property boxes), ipma: u32 entry_count; per item u16 item_ID,
        //         u8 count, per association u8 (u16 with flags 1): essential bit, index
        const auto iprp = b.Open(MakeFourCc("iprp"));
        const auto ipco = b.Open(MakeFourCc("ipco"));
        for (const auto& property : properties_) b.Append(property);
        b.Close(ipco);
        const bool wide = properties_.size() > 127;
        const auto ipma = b.OpenFull(MakeFourCc("ipma"), 0, wide ? 1 : 0);
        b.Put(items_.size(), 4);
        for (std::size_t i = 0; i < items_.size(); ++i) {
            b.Put(items_[i].id, 2);
            b.Put(associations_[i].size(), 1);
            for (const auto& [index, essential] : associations_[i]) {
                if (wide) b.Put((essential ? 0x8000u : 0u) | index, 2);
                else b.Put((essential ? 0x80u : 0u) | index, 1);
            }
        }
        b.Close(ipma);
        b.Close(iprp);
        //   iloc v1: u4 offset_size 8, u4 length_size 8, u4 base_offset_size 0, u4 index_size 0,
        //   u16 item_count; per item u16 item_ID, u16 construction_method 0, u16 data_reference 0,
        //   u16 extent_count 1, u64 extent_offset, u64 extent_length
        const auto iloc = b.OpenFull(MakeFourCc("iloc"), 1, 0);
        b.Put(0x8800, 2);
        b.Put(items_.size(), 2);
        std::uint64_t at = dataStart;
        for (const auto& planned : items_) {
            b.Put(planned.id, 2);
            b.Put(0, 2);
            b.Put(0, 2);
            b.Put(1, 2);
            b.Put(at, 8);
            b.Put(planned.length, 8);
            at += planned.length;
        }
        b.Close(iloc);
        b.Close(meta);
        return b.Bytes();
    }

    const hb::HeifStructure& s_;
    InputFile& source_;
    std::vector<PlannedItem> items_;
    std::map<std::uint32_t, std::uint16_t> ids_;
    std::map<std::uint32_t, std::uint16_t> newIndex_;  // source property index -> new one
    std::vector<std::vector<std::uint8_t>> properties_;
    std::vector<std::vector<std::pair<std::uint16_t, bool>>> associations_;
};

void CheckInsideFile(const FilePart& part, std::int64_t fileSize) {
    for (const auto& r : part.ranges)
        if (r.offset < 0 || r.length < 0 || r.offset > fileSize || r.length > fileSize - r.offset)
            throw hb::HeifFormatError("part " + std::to_string(part.number) + " lies outside the file");
}

}  // namespace

void WriteHeifPartFile(InputFile& source, const FilePart& part, const std::string& destPath) {
    if (part.InXmp()) throw hb::HeifFormatError("part " + std::to_string(part.number) + " is no part of a HEIF file");
    if (IsHeifImagePart(part)) {
        const auto structure = hb::ReadHeifStructure(source);
        const auto plan = SingleImagePlanner(structure, source).Plan(part.heifItemId);
        AtomicOutputFile out(destPath);
        out.Write(plan.head.data(), plan.head.size());
        for (const auto& r : plan.data)
            out.CopyFrom(source, static_cast<std::int64_t>(r.offset), static_cast<std::int64_t>(r.length));
        out.Commit();
        return;
    }
    CheckInsideFile(part, source.Size());
    AtomicOutputFile out(destPath);
    for (const auto& r : part.ranges) out.CopyFrom(source, r.offset, r.length);
    out.Commit();
}

std::vector<std::uint8_t> SingleImageHeif(InputFile& source, std::uint32_t itemId, std::uint64_t maxBytes) {
    const auto structure = hb::ReadHeifStructure(source);
    const auto plan = SingleImagePlanner(structure, source).Plan(itemId);
    if (plan.dataSize > maxBytes || plan.head.size() > maxBytes - plan.dataSize)
        throw hb::HeifFormatError("item " + std::to_string(itemId) + " is larger than this reader takes");
    std::vector<std::uint8_t> file;
    file.reserve(static_cast<std::size_t>(plan.head.size() + plan.dataSize));
    file.insert(file.end(), plan.head.begin(), plan.head.end());
    std::array<std::uint8_t, 1 << 16> chunk{};
    for (const auto& r : plan.data) {
        for (std::uint64_t done = 0; done < r.length;) {
            const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), r.length - done));
            source.ReadAt(static_cast<std::int64_t>(r.offset + done), chunk.data(), n);
            file.insert(file.end(), chunk.begin(), chunk.begin() + static_cast<std::ptrdiff_t>(n));
            done += n;
        }
    }
    return file;
}

}  // namespace veltrane::parts
