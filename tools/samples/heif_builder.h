// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Builds HEIF box structures without any codec, for tests and fuzz seeds that need well-formed
// or deliberately broken files: the image items carry placeholder bytes, not coded pictures.
#include <cstdint>
#include <string>
#include <vector>

#include "tools/samples/tiff_builder.h"

namespace veltrane::samples {

// A box: u32 size, the type, the payload. With largeSize the size goes into a u64 after the type.
Bytes HeifBox(const std::string& type, const Bytes& payload, bool largeSize = false);
// A full box: the same with u8 version and u24 flags before the payload.
Bytes HeifFullBox(const std::string& type, std::uint8_t version, std::uint32_t flags, const Bytes& payload);

struct HeifSampleItem {
    std::uint32_t id = 0;
    std::string type;                // "hvc1", "Exif", ...
    Bytes data;                      // the item's payload
    bool hidden = false;
    std::uint8_t constructionMethod = 0;  // 0: in 'mdat', 1: in 'idat'
    int extents = 1;                 // the payload cut into this many extents
    std::uint32_t width = 0, height = 0;  // an 'ispe' property when not 0
    Bytes icc;                       // a 'colr' 'prof' property when not empty
    Bytes hvcC = {};                      // the item's own 'hvcC' payload (else a placeholder shared by all)
    std::vector<Bytes> properties = {};   // further property boxes, whole (e.g. an 'auxC' box), not essential
    std::string contentType = {};         // of a 'mime' item
};

struct HeifSampleReference {
    std::string type;
    std::uint32_t from = 0;
    std::vector<std::uint32_t> to;
};

struct HeifSampleGroup {
    std::string type;
    std::uint32_t id = 0;
    std::vector<std::uint32_t> entities;
};

// How the boxes are written: every version and field size the reader takes.
struct HeifSampleLayout {
    int ilocVersion = 1;
    int offsetSize = 4, lengthSize = 4, baseOffsetSize = 0, indexSize = 0;
    int iinfVersion = 0;
    int infeVersion = 2;
    int ipmaVersion = 0, ipmaFlags = 0;
    int irefVersion = 0;
    bool metaLargeSize = false;
};

struct HeifSample {
    std::uint32_t primary = 1;
    std::vector<HeifSampleItem> items;
    std::vector<HeifSampleReference> references;
    std::vector<HeifSampleGroup> groups;
    HeifSampleLayout layout;
};

// ftyp (heic), meta (hdlr, pitm, iinf, iloc, iref, iprp, idat, grpl), mdat.
Bytes BuildHeif(const HeifSample& sample);

// The payload of an Exif item: the u32 offset to the TIFF header, prefix bytes, the TIFF data.
Bytes ExifItemPayload(const Bytes& tiff, const Bytes& prefix = {});

// A small MP4 file: ftyp (isom), moov (a free box of 20 bytes), mdat of mediaBytes bytes.
Bytes SmallMp4(std::size_t mediaBytes);

// Samsung's trailer (little-endian): the records (u16 0, u16 type, u32 name length, name, data),
// the "SEFH" directory (version 107, the count, per record u16 0, u16 type, u32 offset back from
// the directory, u32 size), the directory's size and "SEFT".
struct SamsungRecord {
    std::uint16_t type = 0;
    std::string name;
    Bytes data;
};
Bytes SamsungTrailer(const std::vector<SamsungRecord>& records);

// A stereo pair of two placeholder HEVC images (items 1 and 3, 64 x 48, the left one primary),
// each with an Exif item (2 and 4: the sample camera's EXIF, the right eye's big-endian) and
// an ICC profile, tied by the 'ster' group 5 unless withGroup is false.
HeifSample SampleSpatialHeif(bool withGroup = true);

}  // namespace veltrane::samples
