// SPDX-License-Identifier: GPL-3.0-or-later
// The cameras of a spatial photo: their properties read, built and set in a finished file.
#include "core/heif_boxes/stereo_camera.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "core/common/file_io.h"
#include "core/heif_boxes/box_cursor.h"
#include "core/heif_boxes/entity_group_writer.h"

namespace veltrane::heif_boxes {

namespace {

constexpr FourCc kCmin = MakeFourCc("cmin"), kCmex = MakeFourCc("cmex"), kUuid = MakeFourCc("uuid"),
                 kMeta = MakeFourCc("meta"), kIprp = MakeFourCc("iprp"), kIpco = MakeFourCc("ipco"),
                 kIpma = MakeFourCc("ipma");

// The denominator shift of the focal length written when it fits: the headset's own files use 28.
constexpr unsigned kFocalShift = 28;

std::uint32_t FullBoxWord(BoxCursor& c) {
    const auto word = c.U32();
    if ((word >> 24) != 0) c.Fail("version " + std::to_string(word >> 24));
    return word & 0xFFFFFF;
}

double Signed32(BoxCursor& c, unsigned shift) {
    return static_cast<double>(static_cast<std::int32_t>(c.U32())) / std::ldexp(1.0, static_cast<int>(shift));
}

void Put(std::vector<std::uint8_t>& out, std::uint64_t value, unsigned size) {
    for (unsigned i = size; i-- > 0;) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

// A box of type with the payload; a full box when word (version and flags) is given.
std::vector<std::uint8_t> Box(FourCc type, std::span<const std::uint8_t> payload, std::optional<std::uint32_t> word = {},
                              std::span<const std::uint8_t> usertype = {}) {
    std::vector<std::uint8_t> box;
    const std::uint64_t size = 8 + usertype.size() + (word ? 4 : 0) + payload.size();
    if (size > 0xFFFFFFFFu) throw HeifFormatError("box '" + FourCcText(type) + "' would be too large");
    box.reserve(static_cast<std::size_t>(size));
    Put(box, size, 4);
    Put(box, type, 4);
    box.insert(box.end(), usertype.begin(), usertype.end());
    if (word) Put(box, *word, 4);
    box.insert(box.end(), payload.begin(), payload.end());
    return box;
}

bool IsCameraProperty(const BoxView& box) {
    if (box.type == kCmin || box.type == kCmex) return true;
    if (box.type != kUuid || box.usertype.size() != 16) return false;
    for (const auto& uuid : {kIntrinsicsUuid, kExtrinsicsUuid, kDisparityUuid})
        if (std::equal(uuid.begin(), uuid.end(), box.usertype.begin())) return true;
    return false;
}

struct Association {
    std::uint32_t property;  // 1-based index into ipco
    bool essential;
};

struct AssociationEntry {
    std::uint32_t item;
    std::vector<Association> associations;
};

}  // namespace

HeifCameraIntrinsics ReadCameraIntrinsics(BoxCursor& c) {
    const std::uint32_t flags = FullBoxWord(c);
    const unsigned shift = (flags >> 8) & 0x1F, skewShift = (flags >> 16) & 0x1F;
    HeifCameraIntrinsics in;
    in.focalX = Signed32(c, shift);
    in.principalX = Signed32(c, shift);
    in.principalY = Signed32(c, shift);
    if ((flags & 1) != 0) {
        in.separateFocalY = true;
        in.focalY = Signed32(c, shift);
        in.skew = Signed32(c, skewShift);
    }
    return in;
}

HeifCameraExtrinsics ReadCameraExtrinsics(BoxCursor& c) {
    const std::uint32_t flags = FullBoxWord(c);
    HeifCameraExtrinsics ex;
    if ((flags & 0x01) != 0) ex.x = static_cast<std::int32_t>(c.U32());
    if ((flags & 0x02) != 0) ex.y = static_cast<std::int32_t>(c.U32());
    if ((flags & 0x04) != 0) ex.z = static_cast<std::int32_t>(c.U32());
    if ((flags & 0x08) != 0) {
        ex.hasOrientation = true;
        const bool large = (flags & 0x10) != 0;
        for (double* q : {&ex.qx, &ex.qy, &ex.qz})
            *q = large ? Signed32(c, 30) : static_cast<std::int16_t>(c.U16()) / 16384.0;
    }
    if ((flags & 0x20) != 0) ex.worldCoordinateSystem = c.U32();
    return ex;
}

StereoCameraFacts ReadStereoCamera(const HeifStructure& s) {
    StereoCameraFacts facts;
    const auto pair = s.FindStereoPair();
    if (!pair) return facts;
    const HeifItem* left = s.FindItem(pair->left);
    const HeifItem* right = s.FindItem(pair->right);
    const auto& intrinsics = left->intrinsics ? left->intrinsics : right->intrinsics;
    if (intrinsics && intrinsics->focalX > 0) {
        // The angles on either side of the principal point, which lies at the centre when written
        // by the model above.
        const double px = intrinsics->principalX, f = intrinsics->focalX;
        const double fov = (std::atan(px / f) + std::atan((1 - px) / f)) * 180 / std::numbers::pi;
        if (std::isfinite(fov) && fov > 0 && fov < 180) facts.horizontalFov = fov;
    }
    auto hasPosition = [](const HeifItem* item) {
        return item->extrinsics && (item->extrinsics->x || item->extrinsics->y || item->extrinsics->z);
    };
    if (hasPosition(left) || hasPosition(right)) {
        auto coordinate = [](const HeifItem* item, std::optional<std::int32_t> HeifCameraExtrinsics::*axis) {
            return item->extrinsics && ((*item->extrinsics).*axis) ? static_cast<double>(*((*item->extrinsics).*axis)) : 0.0;
        };
        double squares = 0;
        for (const auto axis : {&HeifCameraExtrinsics::x, &HeifCameraExtrinsics::y, &HeifCameraExtrinsics::z}) {
            const double d = coordinate(right, axis) - coordinate(left, axis);
            squares += d * d;
        }
        facts.baselineMm = std::sqrt(squares) / 1000;
    }
    const auto& disparity = left->disparityAdjustment ? left->disparityAdjustment : right->disparityAdjustment;
    if (disparity) facts.disparityAdjustment = *disparity / 10000.0;
    return facts;
}

std::vector<std::uint8_t> IntrinsicsBox(double horizontalFov) {
    if (!(horizontalFov > 0 && horizontalFov < 180)) throw HeifFormatError("no camera has that field of view");
    // Relative to the width: f = (1 / 2) / tan(hfov / 2), the principal point at (1/2, 1/2).
    const double focal = 0.5 / std::tan(horizontalFov * std::numbers::pi / 360);
    unsigned shift = kFocalShift;
    while (shift > 0 && std::ldexp(focal, static_cast<int>(shift)) > std::numeric_limits<std::int32_t>::max()) --shift;
    const double raw = std::round(std::ldexp(focal, static_cast<int>(shift)));
    if (raw > std::numeric_limits<std::int32_t>::max()) throw HeifFormatError("the focal length does not fit");
    const std::uint32_t centre = shift == 0 ? 0 : std::uint32_t{1} << (shift - 1);
    std::vector<std::uint8_t> payload;
    Put(payload, static_cast<std::uint32_t>(raw), 4);
    Put(payload, centre, 4);
    Put(payload, centre, 4);
    return Box(kCmin, payload, shift << 8);
}

std::vector<std::uint8_t> ExtrinsicsBox(std::optional<std::int32_t> xMicrometres) {
    std::vector<std::uint8_t> payload;
    if (xMicrometres) Put(payload, static_cast<std::uint32_t>(*xMicrometres), 4);
    return Box(kCmex, payload, xMicrometres ? 0x01 : 0x00);
}

std::vector<std::uint8_t> DisparityBox(std::int32_t tenThousandths) {
    std::vector<std::uint8_t> payload;
    Put(payload, static_cast<std::uint32_t>(tenThousandths), 4);
    return Box(kUuid, payload, std::nullopt, kDisparityUuid);
}

std::vector<std::uint8_t> SetStereoCamera(std::span<const std::uint8_t> file, const StereoCamera& camera) {
    if (!(camera.baselineMm > 0 && camera.baselineMm * 1000 <= std::numeric_limits<std::int32_t>::max()))
        throw HeifFormatError("the baseline does not fit in its property");
    if (!(camera.disparityAdjustment >= -1 && camera.disparityAdjustment <= 1))
        throw HeifFormatError("the disparity adjustment lies outside -1 .. 1");
    const auto s = ParseHeif(file);
    const auto pair = s.FindStereoPair();
    if (!pair) throw HeifFormatError("holds no stereo pair");

    // The iprp box of the meta box.
    const std::uint64_t metaPayload = s.meta.offset + s.meta.headerSize + 4;
    std::optional<BoxView> iprp;
    ForEachBox(file.subspan(static_cast<std::size_t>(metaPayload),
                            static_cast<std::size_t>(s.meta.offset + s.meta.size - metaPayload)),
               metaPayload, kMeta, [&](const BoxView& box) {
                   if (box.type == kIprp) iprp = box;
                   return !iprp;
               });
    if (!iprp) throw HeifFormatError("the meta box holds no item properties");
    auto whole = [&](const BoxView& box) {
        return file.subspan(static_cast<std::size_t>(box.span.offset), static_cast<std::size_t>(box.span.size));
    };

    // Its properties, their associations and anything else it holds.
    std::vector<std::span<const std::uint8_t>> properties, others;
    std::vector<bool> isCamera;
    std::vector<AssociationEntry> entries;
    unsigned ipmaVersion = 0, ipmaFlags = 0;
    std::vector<BoxView> ipmas;
    ForEachBox(iprp->payload, iprp->payloadPosition, kIprp, [&](const BoxView& child) {
        if (child.type == kIpco) {
            ForEachBox(child.payload, child.payloadPosition, kIpco, [&](const BoxView& p) {
                properties.push_back(whole(p));
                isCamera.push_back(IsCameraProperty(p));
                return true;
            });
        } else if (child.type == kIpma) {
            ipmas.push_back(child);
        } else {
            others.push_back(whole(child));
        }
        return true;
    });
    // The associations, once every property is known, wherever 'ipma' stands.
    for (const BoxView& child : ipmas) {
        BoxCursor c(child.payload, child.payloadPosition, kIpma);
        const auto word = c.U32();
        const unsigned version = word >> 24, flags = word & 0xFFFFFF;
        ipmaVersion = std::max(ipmaVersion, version);
        ipmaFlags |= flags & 1;
        const unsigned idSize = version < 1 ? 2 : 4, indexSize = (flags & 1) != 0 ? 2 : 1;
        const auto count = c.U32();
        c.RequireEntries(count, idSize + 1, "property associations");
        for (std::uint32_t i = 0; i < count; ++i) {
            AssociationEntry entry{static_cast<std::uint32_t>(c.Unsigned(idSize)), {}};
            const auto n = c.U8();
            c.RequireEntries(n, indexSize, "property indices");
            for (unsigned a = 0; a < n; ++a) {
                const auto value = c.Unsigned(indexSize);
                const std::uint64_t essentialBit = indexSize == 2 ? 0x8000 : 0x80;
                const auto index = static_cast<std::uint32_t>(value & (essentialBit - 1));
                if (index > properties.size()) c.Fail("refers to property " + std::to_string(index));
                entry.associations.push_back({index, (value & essentialBit) != 0});
            }
            entries.push_back(std::move(entry));
        }
    }

    // The eyes let go of their camera properties; those no item uses any more go.
    const auto isEye = [&](std::uint32_t id) { return id == pair->left || id == pair->right; };
    std::vector<bool> used(properties.size() + 1);
    for (auto& entry : entries) {
        if (isEye(entry.item))
            std::erase_if(entry.associations, [&](const Association& a) { return a.property != 0 && isCamera[a.property - 1]; });
        for (const auto& a : entry.associations) used[a.property] = true;
    }
    std::vector<std::uint8_t> ipco;
    std::vector<std::uint32_t> renumbered(properties.size() + 1);
    std::uint32_t count = 0;
    for (std::size_t i = 0; i < properties.size(); ++i) {
        if (isCamera[i] && !used[i + 1]) continue;
        renumbered[i + 1] = ++count;
        ipco.insert(ipco.end(), properties[i].begin(), properties[i].end());
    }
    for (auto& entry : entries)
        for (auto& a : entry.associations) a.property = renumbered[a.property];

    // The new properties: one intrinsics for both eyes, each eye's position, the disparity.
    const double micrometres = std::round(camera.baselineMm * 1000);
    const auto add = [&](const std::vector<std::uint8_t>& box) {
        ipco.insert(ipco.end(), box.begin(), box.end());
        return ++count;
    };
    const std::uint32_t intrinsics = add(IntrinsicsBox(camera.horizontalFov));
    const std::uint32_t leftPosition = add(ExtrinsicsBox(std::nullopt));
    const std::uint32_t rightPosition = add(ExtrinsicsBox(static_cast<std::int32_t>(micrometres)));
    const std::uint32_t disparity =
        add(DisparityBox(static_cast<std::int32_t>(std::lround(camera.disparityAdjustment * 10000))));
    if (count > 0x7FFF) throw HeifFormatError("too many item properties");
    for (const std::uint32_t eye : {pair->left, pair->right}) {
        auto it = std::find_if(entries.begin(), entries.end(), [&](const AssociationEntry& e) { return e.item == eye; });
        if (it == entries.end()) {
            entries.push_back({eye, {}});
            it = entries.end() - 1;
        }
        it->associations.push_back({intrinsics, false});
        it->associations.push_back({eye == pair->left ? leftPosition : rightPosition, false});
        it->associations.push_back({disparity, false});
    }
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.item < b.item; });

    // One ipma, as wide as its IDs and indices need.
    for (const auto& entry : entries)
        if (entry.item > 0xFFFF) ipmaVersion = std::max(ipmaVersion, 1u);
    if (count > 0x7F) ipmaFlags = 1;
    std::vector<std::uint8_t> ipma;
    Put(ipma, entries.size(), 4);
    for (const auto& entry : entries) {
        if (entry.associations.size() > 0xFF)
            throw HeifFormatError("item " + std::to_string(entry.item) + " has too many properties");
        Put(ipma, entry.item, ipmaVersion < 1 ? 2 : 4);
        Put(ipma, entry.associations.size(), 1);
        for (const auto& a : entry.associations) {
            const std::uint32_t essential = a.essential ? (ipmaFlags != 0 ? 0x8000 : 0x80) : 0;
            Put(ipma, a.property | essential, ipmaFlags != 0 ? 2 : 1);
        }
    }
    std::vector<std::uint8_t> payload = Box(kIpco, ipco);
    const auto ipmaBox = Box(kIpma, ipma, (ipmaVersion << 24) | ipmaFlags);
    payload.insert(payload.end(), ipmaBox.begin(), ipmaBox.end());
    for (const auto& other : others) payload.insert(payload.end(), other.begin(), other.end());
    std::vector<std::uint8_t> written = ReplaceInMetaBox(file, iprp->span.offset, iprp->span.size, Box(kIprp, payload));
    // Every value reads back through the reader as it was stored.
    const StereoCameraFacts facts = ReadStereoCamera(ParseHeif(written));
    if (!facts.baselineMm || std::abs(*facts.baselineMm * 1000 - micrometres) > 1e-6 || !facts.horizontalFov ||
        std::abs(*facts.horizontalFov - camera.horizontalFov) > 1e-5 || !facts.disparityAdjustment ||
        std::lround(*facts.disparityAdjustment * 10000) != std::lround(camera.disparityAdjustment * 10000))
        throw HeifFormatError("the cameras' properties do not read back as written");
    return written;
}

std::uint64_t WriteWithStereoCamera(const HeifStructure& s, InputFile& file, const StereoCamera& camera,
                                    const std::string& outputPath) {
    const std::uint64_t fileSize = static_cast<std::uint64_t>(std::max<std::int64_t>(file.Size(), 0));
    if (fileSize != s.fileSize) throw HeifFormatError("the file changed while it was read");
    const std::uint64_t headSize = s.meta.offset + s.meta.size;
    // The boxes behind the meta box, by their headers alone: none may address the file.
    std::uint64_t count = 0;
    for (std::uint64_t pos = headSize; pos < fileSize;) {
        if (++count > (1u << 20)) throw HeifFormatError("the file holds too many boxes");
        std::uint8_t header[32] = {};
        const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(sizeof header, fileSize - pos));
        file.ReadAt(static_cast<std::int64_t>(pos), header, n);
        FourCc type = 0;
        const HeifBoxSpan span = ParseBoxHeader(std::span(header, n), fileSize - pos, pos, 0, type);
        if (CarriesFileOffsets(type))
            throw HeifFormatError("the file holds a '" + FourCcText(type) + "' box, whose offsets cannot be corrected");
        pos += span.size;
    }
    std::vector<std::uint8_t> head(static_cast<std::size_t>(headSize));
    file.ReadAt(0, head.data(), head.size());
    const std::vector<std::uint8_t> written = SetStereoCamera(head, camera);
    AtomicOutputFile out(outputPath);
    out.Write(written.data(), written.size());
    out.CopyFrom(file, static_cast<std::int64_t>(headSize), static_cast<std::int64_t>(fileSize - headSize));
    out.Commit();
    return written.size() + (fileSize - headSize);
}

}  // namespace veltrane::heif_boxes
