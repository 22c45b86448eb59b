#pragma once
// tEndInd: a byte order together with the byte string that numeric reads address.
//
// TIFF data stores its numbers little-endian ("II") or big-endian ("MM"). TimgData and
// TImageInfo derive from this base; the value rendering and the maker-note walk read through it.
#include <cstdint>
#include <string_view>

namespace veltrane::exif {

class tEndInd {
public:
    // true when multi-byte numbers in WorkBuffer are big-endian ("MM").
    bool BigEndian = false;

    // The bytes that positions refer to. It is a view: the bytes live elsewhere, in a slot of
    // TimgData's section table (the accepted APP1 section or the TIFF buffer) or, during a
    // maker-note walk, in the parser's MakerNoteBytes. Whoever points it somewhere keeps those
    // bytes alive and unchanged while it points there.
    std::string_view WorkBuffer;

    // The 16-bit number at the 1-based position pos of WorkBuffer, in the object's byte order
    // (0..65535). The 32-bit read returns the four bytes as an unsigned 32-bit number; callers
    // that want a signed value cast it.
    //
    // Out-of-buffer reads: a read whose bytes do not all lie inside WorkBuffer (pos < 1 included)
    // reads nothing and raises ExifError(kReadBeyondBuffer). Callers treat that exactly as they
    // treat any other error at that point of the walk.
    std::uint32_t ReadUInt16At(std::int64_t pos) const;
    std::uint32_t ReadUInt32At(std::int64_t pos) const;

    // Folds the whole of raw into one number in the object's byte order (64-bit accumulator,
    // low 32 bits returned as a signed number); for more than four bytes only the four least
    // significant ones count. The empty string gives 0. Never raises.
    std::int32_t RawToInteger(std::string_view raw) const;
};

}  // namespace veltrane::exif
