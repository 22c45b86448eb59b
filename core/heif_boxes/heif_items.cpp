// SPDX-License-Identifier: GPL-3.0-or-later
// What the items of a HEIF file are to a viewer: its images, its stereo pair, the metadata items
// that describe an image.
#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "core/heif_boxes/heif_structure.h"

namespace veltrane::heif_boxes {

namespace {

constexpr FourCc kSter = MakeFourCc("ster"), kCdsc = MakeFourCc("cdsc"), kThmb = MakeFourCc("thmb"),
                 kAuxl = MakeFourCc("auxl"), kDimg = MakeFourCc("dimg"), kTmap = MakeFourCc("tmap");

// Item types that code or derive a picture.
constexpr FourCc kImageTypes[] = {MakeFourCc("hvc1"), MakeFourCc("av01"), MakeFourCc("grid"), MakeFourCc("iden"),
                                  MakeFourCc("iovl"), MakeFourCc("jpeg"), MakeFourCc("avc1"), MakeFourCc("unci"),
                                  MakeFourCc("j2k1"), MakeFourCc("vvc1")};

}  // namespace

bool HeifItem::IsImage() const {
    return std::find(std::begin(kImageTypes), std::end(kImageTypes), type) != std::end(kImageTypes);
}

const HeifItem* HeifStructure::FindItem(std::uint32_t id) const {
    const auto it = std::find_if(items.begin(), items.end(), [id](const HeifItem& i) { return i.id == id; });
    return it == items.end() ? nullptr : &*it;
}

std::span<const std::uint8_t> HeifStructure::IccProfileOf(std::uint32_t id) const {
    const HeifItem* item = FindItem(id);
    if (item == nullptr || item->iccProfile < 0 || static_cast<std::size_t>(item->iccProfile) >= iccProfiles.size())
        return {};
    return iccProfiles[static_cast<std::size_t>(item->iccProfile)];
}

std::vector<std::uint32_t> HeifStructure::TopLevelImages() const {
    std::unordered_set<std::uint32_t> dependent;
    for (const auto& ref : references) {
        if (ref.type == kThmb || ref.type == kAuxl) dependent.insert(ref.from);
        // The inputs of a derived image are parts of it; an ISO 21496-1 'tmap' image derives
        // from the base image that a viewer shows all the same (and from a hidden gain map).
        if (ref.type == kDimg) {
            const HeifItem* from = FindItem(ref.from);
            if (from == nullptr || from->type != kTmap) dependent.insert(ref.to.begin(), ref.to.end());
        }
    }
    std::vector<std::uint32_t> images;
    for (const auto& item : items) {
        if (!item.IsImage() || item.hidden || dependent.count(item.id) != 0) continue;
        if (item.id == primaryItem) images.insert(images.begin(), item.id);
        else images.push_back(item.id);
    }
    return images;
}

std::optional<StereoPair> HeifStructure::FindStereoPair() const {
    for (const auto& group : groups) {
        if (group.type != kSter || group.entities.size() < 2) continue;
        const HeifItem* left = FindItem(group.entities[0]);
        const HeifItem* right = FindItem(group.entities[1]);
        if (left != nullptr && right != nullptr && left->IsImage() && right->IsImage() && left != right)
            return StereoPair{left->id, right->id, group.groupId};
    }
    return std::nullopt;
}

std::vector<std::uint32_t> HeifStructure::MetadataItemsOf(std::uint32_t image, FourCc itemType) const {
    std::unordered_map<std::uint32_t, const HeifItem*> byId;
    for (const auto& item : items) byId.emplace(item.id, &item);
    std::vector<std::uint32_t> found;
    for (const auto& ref : references) {
        if (ref.type != kCdsc || std::find(ref.to.begin(), ref.to.end(), image) == ref.to.end()) continue;
        const auto it = byId.find(ref.from);
        if (it != byId.end() && it->second->type == itemType &&
            std::find(found.begin(), found.end(), ref.from) == found.end())
            found.push_back(ref.from);
    }
    return found;
}

std::vector<std::uint32_t> HeifStructure::NumberedImages() const {
    auto images = TopLevelImages();
    if (const auto pair = FindStereoPair()) {
        std::erase_if(images, [&](std::uint32_t id) { return id == pair->left || id == pair->right; });
        images.insert(images.begin(), {pair->left, pair->right});
    }
    return images;
}

std::vector<std::uint8_t> ExifTiffFromPayload(std::span<const std::uint8_t> payload) {
    //   u32 exif_tiff_header_offset (big-endian), then the Exif data; the TIFF header lies that
    //   many bytes after the offset field (usually 0, or 6 when "Exif\0\0" precedes it).
    if (payload.size() < 4) throw HeifFormatError("the Exif item is shorter than its offset field");
    const std::uint64_t offset = (std::uint64_t{payload[0]} << 24) | (std::uint64_t{payload[1]} << 16) |
                                 (std::uint64_t{payload[2]} << 8) | payload[3];
    if (offset > payload.size() - 4) throw HeifFormatError("the Exif item's TIFF header lies outside the item");
    const auto tiff = payload.subspan(4 + static_cast<std::size_t>(offset));
    return {tiff.begin(), tiff.end()};
}

bool LooksLikeHeif(std::span<const std::uint8_t> head) {
    return head.size() >= 12 && head[4] == 'f' && head[5] == 't' && head[6] == 'y' && head[7] == 'p';
}

}  // namespace veltrane::heif_boxes
