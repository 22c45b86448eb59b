// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/heif_boxes/entity_group_writer.h"

#include <algorithm>

#include "core/heif_boxes/box_cursor.h"

namespace veltrane::heif_boxes {

namespace {

void PutBigEndian(std::vector<std::uint8_t>& out, std::uint64_t value, unsigned size) {
    for (unsigned i = size; i-- > 0;) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void StoreBigEndian(std::vector<std::uint8_t>& out, std::uint64_t position, std::uint64_t value, unsigned size) {
    for (unsigned i = 0; i < size; ++i)
        out[static_cast<std::size_t>(position + i)] = static_cast<std::uint8_t>(value >> (8 * (size - 1 - i)));
}

std::uint64_t MaxOfSize(unsigned size) { return size >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * size)) - 1; }

// File-level boxes whose contents address the file by absolute offsets that this writer does not
// correct.
constexpr FourCc kOffsetCarriers[] = {MakeFourCc("moov"), MakeFourCc("moof"), MakeFourCc("sidx"),
                                      MakeFourCc("mfra"), MakeFourCc("ssix"), MakeFourCc("meco")};

struct FieldUpdate {
    std::uint64_t position;
    std::uint64_t value;
    unsigned size;
};

}  // namespace

std::vector<std::uint8_t> StereoGroupBox(std::uint32_t groupId, std::uint32_t leftItem, std::uint32_t rightItem) {
    std::vector<std::uint8_t> box;
    PutBigEndian(box, 8 + 28, 4);
    PutBigEndian(box, MakeFourCc("grpl"), 4);
    PutBigEndian(box, 28, 4);
    PutBigEndian(box, MakeFourCc("ster"), 4);
    PutBigEndian(box, 0, 4);  // version 0, flags 0
    PutBigEndian(box, groupId, 4);
    PutBigEndian(box, 2, 4);
    PutBigEndian(box, leftItem, 4);
    PutBigEndian(box, rightItem, 4);
    return box;
}

bool CarriesFileOffsets(FourCc type) {
    return std::find(std::begin(kOffsetCarriers), std::end(kOffsetCarriers), type) != std::end(kOffsetCarriers);
}

std::vector<std::uint8_t> ReplaceInMetaBox(std::span<const std::uint8_t> file, std::uint64_t at, std::uint64_t length,
                                           std::span<const std::uint8_t> bytes) {
    const auto s = ParseHeif(file);
    ForEachBox(file, 0, 0, [&](const BoxView& box) {
        if (CarriesFileOffsets(box.type))
            throw HeifFormatError("the file holds a '" + FourCcText(box.type) +
                                  "' box, whose offsets cannot be corrected");
        return true;
    });
    const std::uint64_t metaEnd = s.meta.offset + s.meta.size;
    const std::uint64_t metaPayload = s.meta.offset + s.meta.headerSize + 4;
    if (at < metaPayload || at > metaEnd || length > metaEnd - at)
        throw HeifFormatError("the part to replace lies outside the meta box's payload");
    const std::uint64_t regionEnd = at + length;
    // The size change, as a two's complement number: every sum below wraps as a signed one would.
    const bool grows = bytes.size() >= length;
    const std::uint64_t change = grows ? bytes.size() - length : length - bytes.size();
    const auto moved = [&](std::uint64_t value) { return grows ? value + change : value - change; };
    std::uint64_t storedSize = 0;
    for (unsigned i = 0; i < 4; ++i) storedSize = (storedSize << 8) | file[static_cast<std::size_t>(s.meta.offset + i)];
    if (!s.meta.largeSize && storedSize == 0)
        throw HeifFormatError("the meta box runs to the end of the file; it cannot change size");
    if (grows && (s.meta.largeSize ? s.meta.size > MaxOfSize(8) - change : s.meta.size > MaxOfSize(4) - change))
        throw HeifFormatError("the meta box cannot grow by " + std::to_string(change) + " bytes");

    std::vector<FieldUpdate> updates;
    if (s.meta.largeSize) updates.push_back({s.meta.offset + 8, moved(s.meta.size), 8});
    else updates.push_back({s.meta.offset, moved(s.meta.size), 4});
    std::vector<std::pair<std::string, const HeifItemLocation*>> locations;
    for (const auto& item : s.items)
        if (item.location) locations.emplace_back("item " + std::to_string(item.id), &*item.location);
    for (const auto& loc : s.undeclaredLocations) locations.emplace_back("an undeclared item", &loc);
    for (const auto& entry : locations) {
        const std::string& name = entry.first;
        const auto& loc = *entry.second;
        if (loc.constructionMethod != 0 || loc.dataReferenceIndex != 0) continue;
        auto move = [&](std::uint64_t position, std::uint64_t value, unsigned size) {
            if (size == 0) throw HeifFormatError(name + "'s data moves, but has no offset field");
            if (grows ? value > MaxOfSize(size) - change : value < change)
                throw HeifFormatError(name + "'s offset does not fit in its " + std::to_string(size) + " bytes when moved");
            updates.push_back({position, moved(value), size});
        };
        if (loc.baseOffsetSize != 0 && loc.baseOffset >= regionEnd) {
            move(loc.baseOffsetFieldPosition, loc.baseOffset, loc.baseOffsetSize);
            continue;
        }
        for (const auto& e : loc.extents) {
            const std::uint64_t start = loc.baseOffset + e.offset;
            if (start < loc.baseOffset) throw HeifFormatError(name + "'s offset overflows");
            if (start >= regionEnd) {
                move(e.offsetFieldPosition, e.offset, loc.offsetSize);
            } else if (start >= at || e.length == 0 || e.length > at - start) {
                throw HeifFormatError(name + "'s data runs across the rewritten part of the meta box");
            }
        }
    }

    std::vector<std::uint8_t> out;
    out.reserve(static_cast<std::size_t>(file.size() + (grows ? change : 0)));
    out.insert(out.end(), file.begin(), file.begin() + static_cast<std::ptrdiff_t>(at));
    out.insert(out.end(), bytes.begin(), bytes.end());
    out.insert(out.end(), file.begin() + static_cast<std::ptrdiff_t>(regionEnd), file.end());
    for (const auto& u : updates) {
        // The fields behind the replaced part have moved with it.
        if (u.position + u.size > at && u.position < regionEnd)
            throw HeifFormatError("an item location lies in the rewritten part of the meta box");
        StoreBigEndian(out, u.position >= regionEnd ? moved(u.position) : u.position, u.value, u.size);
    }
    return out;
}

std::vector<std::uint8_t> AppendToMetaBox(std::span<const std::uint8_t> file, std::span<const std::uint8_t> boxes) {
    const auto s = ParseHeif(file);
    return ReplaceInMetaBox(file, s.meta.offset + s.meta.size, 0, boxes);
}

std::vector<std::uint8_t> InsertStereoGroup(std::span<const std::uint8_t> file, std::uint32_t leftItem,
                                            std::uint32_t rightItem) {
    const auto s = ParseHeif(file);
    for (const std::uint32_t id : {leftItem, rightItem}) {
        const HeifItem* item = s.FindItem(id);
        if (item == nullptr || !item->IsImage())
            throw HeifFormatError("item " + std::to_string(id) + " is not an image of the file");
    }
    if (leftItem == rightItem) throw HeifFormatError("the two eyes are the same item");
    if (!s.groups.empty()) throw HeifFormatError("the file already holds entity groups");
    // A 'grpl' box without groups would still be a second one.
    bool hasGrpl = false;
    const std::uint64_t metaPayload = s.meta.offset + s.meta.headerSize + 4;
    ForEachBox(file.subspan(static_cast<std::size_t>(metaPayload),
                            static_cast<std::size_t>(s.meta.offset + s.meta.size - metaPayload)),
               metaPayload, MakeFourCc("meta"), [&](const BoxView& box) {
                   hasGrpl = hasGrpl || box.type == MakeFourCc("grpl");
                   return true;
               });
    if (hasGrpl) throw HeifFormatError("the file already holds entity groups");
    // Group IDs share one number space with item IDs.
    std::uint32_t largest = 0;
    for (const auto& item : s.items) largest = std::max(largest, item.id);
    if (largest == 0xFFFFFFFF) throw HeifFormatError("no number is left for the group");
    return AppendToMetaBox(file, StereoGroupBox(largest + 1, leftItem, rightItem));
}

}  // namespace veltrane::heif_boxes
