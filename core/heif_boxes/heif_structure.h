// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The structure of a HEIF file (ISO base media file format boxes), read without any codec: the
// items of its `meta` box, where their bytes lie, how they refer to each other, their properties
// (size, colour, codec configuration) and the entity groups, among them the stereo pair of a
// spatial photo.
//
// A HEIF file is a sequence of boxes. Each box starts with its size and type:
//
//   u32 size          0 = the box runs to the end of its container, 1 = a u64 follows
//   u32 type          four characters, e.g. 'ftyp', 'meta', 'mdat'
//  [u64 largesize]    when size == 1
//  [u8[16] usertype]  when type == 'uuid'
//  [u8 version, u24 flags]   "full boxes" only
//   ... payload (further boxes, for containers)
//
// The file level holds 'ftyp' (brands), one 'meta' (full box) and usually 'mdat' (the coded
// data). The meta box holds:
//
//   hdlr  handler 'pict'                   pitm  the primary item
//   iinf  one 'infe' per item: ID, type    iloc  where each item's bytes lie (extents)
//   iref  typed links between items        iprp  'ipco' (properties) + 'ipma' (which item has which)
//   idat  bytes that items may point into  grpl  entity groups, e.g. 'ster' (left, right)
//
// Every read is bounds-checked; a malformed file gives a HeifFormatError with a one-line cause.
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrane {
class InputFile;
}

namespace veltrane::heif_boxes {

class HeifFormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A box or item type: four characters stored big-endian, e.g. FourCc("hvc1").
using FourCc = std::uint32_t;
constexpr FourCc MakeFourCc(const char (&text)[5]) {
    return (static_cast<FourCc>(static_cast<unsigned char>(text[0])) << 24) |
           (static_cast<FourCc>(static_cast<unsigned char>(text[1])) << 16) |
           (static_cast<FourCc>(static_cast<unsigned char>(text[2])) << 8) |
           static_cast<FourCc>(static_cast<unsigned char>(text[3]));
}
// The four characters, with anything unprintable shown as '?'.
std::string FourCcText(FourCc code);

// One extent of an item: offset and length as stored (length 0 = to the end of the file or of
// 'idat'), and where the offset field itself lies in the file (for rewriting it).
struct HeifExtent {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
    std::uint64_t offsetFieldPosition = 0;  // file position of the stored offset (0 when its size is 0)
};

// An item's entry in 'iloc'.
struct HeifItemLocation {
    // 0: offsets into the file; 1: offsets into 'idat'; 2: offsets into other items (not read).
    std::uint8_t constructionMethod = 0;
    std::uint16_t dataReferenceIndex = 0;  // 0: this file; anything else an external file (not read)
    std::uint64_t baseOffset = 0;
    std::uint64_t baseOffsetFieldPosition = 0;
    std::uint8_t offsetSize = 0;       // byte sizes of the stored fields: 0, 4 or 8
    std::uint8_t baseOffsetSize = 0;
    std::vector<HeifExtent> extents;
};

// Colour information of an image item ('colr' properties).
struct HeifNclx {
    std::uint16_t colourPrimaries = 2;
    std::uint16_t transferCharacteristics = 2;
    std::uint16_t matrixCoefficients = 2;
    bool fullRange = false;
};

// The camera of an image ('cmin'): focal lengths and principal point relative to the image, the
// focal length x, the principal point's x (and skew) times the width, the principal point's y
// and a separate vertical focal length times the height.
struct HeifCameraIntrinsics {
    double focalX = 0, principalX = 0, principalY = 0;
    bool separateFocalY = false;  // flags bit 0: focalY and skew were stored
    double focalY = 0, skew = 0;
};

// Where the camera of an image stands ('cmex'): a position in micrometres (absent coordinates
// are 0) and an orientation quaternion (x, y, z; w the rest of the unit length).
struct HeifCameraExtrinsics {
    std::optional<std::int32_t> x, y, z;
    bool hasOrientation = false;
    double qx = 0, qy = 0, qz = 0;
    std::optional<std::uint32_t> worldCoordinateSystem;
};

// A property box of 'ipco' (the whole box, header included) and an item's use of it.
struct HeifPropertyBox {
    FourCc type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};
struct HeifPropertyAssociation {
    std::uint32_t index = 0;  // 1-based, into HeifStructure::properties
    bool essential = false;
};

struct HeifItem {
    std::uint32_t id = 0;
    FourCc type = 0;                // 'hvc1', 'av01', 'grid', 'iden', 'Exif', 'mime', ...
    std::string name;
    std::string contentType;        // for 'mime' items
    bool hidden = false;            // infe flag 1
    std::optional<HeifItemLocation> location;
    // Properties (from 'ipma' and 'ipco').
    std::uint32_t width = 0, height = 0;   // 'ispe' (0 when absent)
    bool hasCodecConfiguration = false;    // 'hvcC' or 'av1C'
    // From 'hvcC': chroma_format_idc (0 grey, 1 4:2:0, 2 4:2:2, 3 4:4:4; -1 unknown) and the
    // luma bit depth (0 unknown).
    int chromaFormat = -1;
    int bitDepth = 0;
    int iccProfile = -1;                   // 'colr' of type 'prof'/'rICC': index into iccProfiles
    std::optional<HeifNclx> nclx;          // 'colr' of type 'nclx'
    std::vector<FourCc> propertyTypes;     // every associated property, in association order
    // The camera model of a spatial photo's eye: 'cmin' and 'cmex', or the same payloads in the
    // 'uuid' properties of the headset's first files (the standard boxes win when both are
    // there), and the horizontal disparity adjustment in 1/10,000 of the width ('uuid' only).
    // A camera property that cannot be read is left out.
    std::optional<HeifCameraIntrinsics> intrinsics;
    std::optional<HeifCameraExtrinsics> extrinsics;
    std::optional<std::int32_t> disparityAdjustment;
    std::vector<HeifPropertyAssociation> associations;  // the same as indices into the structure's properties
    std::string auxiliaryType;             // 'auxC': the kind of auxiliary image, e.g. a depth map's URN

    bool IsImage() const;
};

// A typed link from one item to others, e.g. 'cdsc' from an Exif item to the image it describes,
// 'thmb' from a thumbnail to its image, 'auxl' from an auxiliary image (alpha, depth) to its
// image, 'dimg' from a derived image (grid) to its inputs.
struct HeifReference {
    FourCc type = 0;
    std::uint32_t from = 0;
    std::vector<std::uint32_t> to;
};

// An entity group of 'grpl'. For 'ster' (stereo pair) the first entity is the left eye's image,
// the second the right eye's.
struct HeifEntityGroup {
    FourCc type = 0;
    std::uint32_t groupId = 0;
    std::vector<std::uint32_t> entities;
};

// Positions of a box in the file.
struct HeifBoxSpan {
    std::uint64_t offset = 0;      // first byte of the box
    std::uint64_t size = 0;        // the whole box, header included
    std::uint32_t headerSize = 0;  // 8, 16 with largesize (+16 for 'uuid')
    bool largeSize = false;        // the size is stored in 64 bits
};

struct StereoPair {
    std::uint32_t left = 0;
    std::uint32_t right = 0;
    std::uint32_t groupId = 0;
};

struct HeifStructure {
    FourCc majorBrand = 0;
    std::vector<FourCc> compatibleBrands;
    FourCc handler = 0;
    std::uint32_t primaryItem = 0;  // 0 when there is no 'pitm'
    std::vector<HeifItem> items;    // in 'iinf' order
    std::vector<HeifReference> references;
    std::vector<HeifEntityGroup> groups;
    HeifBoxSpan meta;
    std::vector<FourCc> topLevelBoxes;  // the types of the file-level boxes up to and including 'meta'
    std::uint64_t fileSize = 0;
    std::uint64_t idatOffset = 0, idatSize = 0;  // file position and size of the idat payload
    // The ICC profiles of the 'colr' properties, each stored once however many items use it.
    std::vector<std::vector<std::uint8_t>> iccProfiles;
    // 'iloc' entries of items that 'iinf' does not declare: nothing reads them, but a rewrite of
    // the file corrects them all the same.
    std::vector<HeifItemLocation> undeclaredLocations;
    std::vector<HeifPropertyBox> properties;  // the boxes of 'ipco', in order (property 1 first)

    const HeifItem* FindItem(std::uint32_t id) const;
    // The item's ICC profile (empty when it has none).
    std::span<const std::uint8_t> IccProfileOf(std::uint32_t id) const;
    // The images a viewer shows: image items that are neither hidden nor thumbnails, auxiliary
    // images or inputs of a derived image. The primary item comes first, then 'iinf' order.
    std::vector<std::uint32_t> TopLevelImages() const;
    // The first 'ster' group whose first two entities are image items.
    std::optional<StereoPair> FindStereoPair() const;
    // The items of type itemType ('Exif', 'mime', ...) that describe image (via 'cdsc').
    std::vector<std::uint32_t> MetadataItemsOf(std::uint32_t image, FourCc itemType) const;
    // The images in the order of the command line's image numbers: the stereo pair's left and
    // right eye first when there is one, then the other top-level images.
    std::vector<std::uint32_t> NumberedImages() const;
};

// Limits on what the reader accepts; generous for camera files, small enough that a hostile
// file cannot make it allocate much.
struct HeifReadLimits {
    std::uint64_t maxMetaBytes = 64u << 20;   // the whole meta box is read into memory
    std::uint64_t maxItemBytes = 64u << 20;   // one item's payload (Exif, ICC) read into memory
    std::uint32_t maxItems = 65536;
};

// Reads the file-level boxes and the meta box of a whole file in memory.
HeifStructure ParseHeif(std::span<const std::uint8_t> file, const HeifReadLimits& limits = {});
// The same from a file on disk, reading only the box headers and the meta box.
HeifStructure ReadHeifStructure(InputFile& file, const HeifReadLimits& limits = {});

// An item's bytes, its extents joined. Items stored in another file or built from other items
// raise HeifFormatError, as does a payload beyond limits.maxItemBytes.
std::vector<std::uint8_t> ItemPayload(const HeifStructure& structure, std::span<const std::uint8_t> file,
                                      std::uint32_t itemId, const HeifReadLimits& limits = {});
std::vector<std::uint8_t> ItemPayload(const HeifStructure& structure, InputFile& file, std::uint32_t itemId,
                                      const HeifReadLimits& limits = {});

// Where an item's bytes lie in the file, its extents in order (construction method 1 resolved
// to the payload of 'idat'). Items stored in another file or built from other items, and
// extents outside the file or 'idat', raise HeifFormatError.
struct HeifFileRange {
    std::uint64_t offset = 0;
    std::uint64_t length = 0;
};
std::vector<HeifFileRange> ItemFileRanges(const HeifStructure& structure, std::uint32_t itemId);

// The file-level boxes of a whole file, in order. The walk stops at a header that cannot be
// read or at a box that runs past the end of the file; that box is listed with cutShort set,
// its size what the file still holds, and problem says what is wrong.
struct HeifFileBox {
    FourCc type = 0;
    HeifBoxSpan span;
    bool cutShort = false;
};
struct HeifFileBoxes {
    std::vector<HeifFileBox> boxes;
    std::string problem;  // empty when every box is whole
};
HeifFileBoxes ListFileBoxes(std::span<const std::uint8_t> file, std::uint64_t maxBoxes = 1u << 16);
HeifFileBoxes ListFileBoxes(InputFile& file, std::uint64_t maxBoxes = 1u << 16);

// The TIFF bytes of an Exif item's payload: a u32 big-endian offset from the end of that field
// to the TIFF header ("II*\0" or "MM\0*"), then the data. Raises HeifFormatError when the offset
// points outside the payload.
std::vector<std::uint8_t> ExifTiffFromPayload(std::span<const std::uint8_t> payload);

// Whether the bytes start like an ISO base media file whose first box is 'ftyp'.
bool LooksLikeHeif(std::span<const std::uint8_t> head);

}  // namespace veltrane::heif_boxes
