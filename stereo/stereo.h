#pragma once
// Stereo pictures from the two images of a pair: side-by-side files (the JPS "cross" layout,
// right eye first, and the "parallel" layout, left eye first) composed in the DCT domain
// whenever the JPEG data allows, and red-cyan anaglyphs. Optional alignment puts the
// dominant depth of the scene at the screen plane.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "stereo/jpeg_codec.h"

namespace veltrane::stereo {

enum class Layout { Cross, Parallel, Anaglyph };

struct StereoOptions {
    Layout layout = Layout::Cross;
    bool align = false;
    CodecLimits limits;
};

struct StereoPicture {
    std::vector<std::uint8_t> jpeg;   // the complete output file
    int width = 0;
    int height = 0;
    bool lossless = false;            // composed from the inputs' DCT blocks
    std::string reencodeReason;       // why not, when !lossless (empty for the anaglyph)
    int measuredShift = 0;            // the best shift found (0 without alignment)
    int appliedShift = 0;             // the shift the halves were cropped by
};

// Composes the pair (both complete JPEG files). Raises StereoError with a one-line cause.
StereoPicture ComposeStereo(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                            const StereoOptions& options);

// ---- the pieces, exposed for tests and benchmarks ----

// A grey image, row-major, one byte per pixel.
struct LumaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

// The shift s (|s| <= maxShift) minimising the mean absolute difference between left(x, y) and
// right(x + s, y) over every rowStep-th row of [rowFrom, rowTo) and candidates [sFrom, sTo];
// ties go to the smaller |s|.
int BestShift(const LumaImage& left, const LumaImage& right, int rowFrom, int rowTo, int sFrom,
              int sTo, int rowStep = 1);

// The alignment shift of a pair: searched on images reduced to 1/8, refined at full resolution.
int FindAlignmentShift(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                       const CodecLimits& limits);

// The same from two coefficient images of equal height (Decoder::ReadCoefficients), without
// decoding: the reduced picture is the first component's DC terms, the full-resolution rows its
// inverse DCT. That component must have the full resolution (the largest sampling factors).
int FindAlignmentShift(const CoefficientImage& left, const CoefficientImage& right);

// One row of the linear-light red-cyan anaglyph: n RGB pixels of each eye in, n RGB pixels out.
void AnaglyphRow(const std::uint8_t* left, const std::uint8_t* right, std::uint8_t* out, int n);

// The APP3 payload of a JPS file: "_JPSJPS_", block length 4, separation 0, the flags (bit 2:
// left field first), layout 2 (side by side), type 1 (stereo), comment length 0.
std::vector<std::uint8_t> JpsSegment(bool leftFieldFirst);

// Sets the EXIF PixelXDimension / PixelYDimension (A002, A003) of an APP1 payload
// ("Exif\0\0" + TIFF) in place, where present and wide enough; anything unreadable is left as is.
void PatchExifDimensions(std::vector<std::uint8_t>& app1, std::uint32_t width, std::uint32_t height);

}  // namespace veltrane::stereo
