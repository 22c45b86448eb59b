// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Stereo pictures from the two images of a pair:
//   - side by side: the JPS "cross" layout (right eye first) and "parallel" (left eye first),
//     and over/under (left eye above), composed in the DCT domain whenever the JPEG data
//     allows, so that they hold exactly the inputs' pixels;
//   - half side by side and half over/under (each eye resampled to half width or height, the
//     frame of 3D TVs and projectors);
//   - row-interlaced PNG (passive 3D monitors);
//   - anaglyphs for red-cyan, amber-blue and green-magenta glasses;
//   - "wiggle" animations, GIF or WebP, alternating the eyes;
//   - MPO files of the two eyes' JPEG images (the stereo cameras' disparity pair), copied as
//     they are or cropped block for block;
//   - spatial photos: HEIF files of the two eyes coded as HEVC images, tied together by a
//     stereo-pair entity group (spatial_photos.h).
// Full alignment corrects the rotation, scale and vertical offset between the eyes (and the
// keystone) before the layout is made (full_alignment.h).
// Optional alignment finds how far the right eye's picture is shifted against the left's and
// crops both to their overlap, so that the scene's dominant depth lies at the screen plane; a
// parallax setting moves that "stereo window" from there.
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/common/stereo_vocabulary.h"
#include "imaging/stereo/jpeg_codec.h"
#include "imaging/stereo/spatial_camera.h"

namespace veltrane::stereo {

enum class Layout { Cross, Parallel, Anaglyph, OverUnder, HalfSideBySide, HalfOverUnder, Interlaced, Wiggle, Mpo, Heic };

// The anaglyph kinds and the eyes' shift are the shared stereo vocabulary's
// (core/common/stereo_vocabulary.h), which the window model uses too.
using veltrane::AnaglyphKind;

enum class AnimationFormat { Gif, Webp };

// Where the right eye's picture shows what the left's shows at (x, y): at (x + across, y + down).
using Alignment = StereoShift;

struct StereoOptions {
    Layout layout = Layout::Cross;
    bool align = false;
    CodecLimits limits;
    AnaglyphKind anaglyph = AnaglyphKind::Dubois;
    // Pixels by which the stereo window moves from where alignment (or no shift) puts it;
    // positive puts the scene further behind the screen.
    int parallax = 0;
    bool swap = false;  // the first image is the right eye's
    // Wiggle: the file format, each frame's time and the longest side of the frames.
    AnimationFormat animation = AnimationFormat::Gif;
    int frameDelayMs = 150;
    int maxSize = 1280;
    // Heic: the HEVC quality of both eyes (0..100), and the cameras' properties (spatial_camera.h).
    // The eyes keep their whole width: the alignment's shift across (less the parallax) becomes
    // the disparity adjustment, by which the headset moves them.
    int heicQuality = 90;
    SpatialCameraSettings camera = {};
    // Full alignment (full_alignment.h): the eyes turned, scaled and shifted upright against
    // each other (with keystone, their perspective too) before any layout is made of them; the
    // shift of align is then not searched.
    bool alignFull = false;
    bool keystone = false;
};

struct StereoPicture {
    std::vector<std::uint8_t> bytes;  // the complete output file
    int width = 0;                    // of the picture; of each image for the MPO and heic layouts
    int height = 0;
    bool lossless = false;            // composed from the inputs' DCT blocks
    std::string reencodeReason;       // why not, for the layouts that can be lossless
    Alignment measured;               // the shift found (zero without alignment)
    Alignment applied;                // the shift the eyes were cropped by
    bool cropped = false;             // whether they were (alignment or parallax)
    std::string cameraReport = {};    // heic: the cameras' values and where they came from
    std::string correction;           // full alignment's ("rotation 0.82°, scale 1.004, vertical 3.1 px")
};

// The words of the command line (and of anything else that names them): "cross", "parallel",
// "anaglyph", "over-under", "half-sbs", "half-ou", "interlaced", "wiggle", "mpo", "heic"; "dubois",
// "amber-blue", "green-magenta", "gray", "color", "half-color", "optimized". The readers take
// the exact words only.
std::string_view LayoutWord(Layout layout);
std::optional<Layout> LayoutFromWord(std::string_view word);
std::string_view AnaglyphKindWord(AnaglyphKind kind);
std::optional<AnaglyphKind> AnaglyphKindFromWord(std::string_view word);

// Composes the pair (both complete JPEG files). Raises StereoError with a one-line cause.
StereoPicture ComposeStereo(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                            const StereoOptions& options);

// ---- the pieces, exposed for tests, benchmarks and the window ----

// A grey image, row-major, one byte per pixel.
struct LumaImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
};

// The shift s (sFrom <= s <= sTo) minimising the mean absolute difference between left(x, y)
// and right(x + s, y + down) over every rowStep-th row y of [rowFrom, rowTo) whose partner row
// lies in the right picture; ties go to the smaller |s|.
int BestShift(const LumaImage& left, const LumaImage& right, int rowFrom, int rowTo, int sFrom, int sTo,
              int rowStep = 1, int down = 0);
// The same for the vertical shift d (dFrom <= d <= dTo) at the horizontal shift across.
int BestVerticalShift(const LumaImage& left, const LumaImage& right, int rowFrom, int rowTo, int dFrom, int dTo,
                      int rowStep, int across);

// The alignment of a pair, searched across within a quarter of the width and down within a
// sixteenth of the height: on the central rows reduced to 1/8, then refined at full
// resolution.
Alignment FindAlignment(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right,
                        const CodecLimits& limits);

// The same from two coefficient images of equal height (Decoder::ReadCoefficients), without
// decoding: the reduced picture is the first component's DC terms, the full-resolution rows its
// inverse DCT. That component must have the full resolution (the largest sampling factors).
Alignment FindAlignment(const CoefficientImage& left, const CoefficientImage& right);

// The same from two grey pictures of one size (a preview's), in their pixels.
Alignment FindAlignment(const LumaImage& left, const LumaImage& right);

// One row of an anaglyph: n RGB pixels of each eye in, n RGB pixels out.
void AnaglyphRow(const std::uint8_t* left, const std::uint8_t* right, std::uint8_t* out, int n,
                 AnaglyphKind kind = AnaglyphKind::Dubois);

// The APP3 payload of a JPS file: "_JPSJPS_", block length 4, separation 0, the flags (bit 2:
// left field first), layout 2 (side by side), type 1 (stereo), comment length 0.
std::vector<std::uint8_t> JpsSegment(bool leftFieldFirst);

// The same for any layout: 2 side by side, 3 over/under; flags bit 0 half height, bit 1 half
// width, bit 2 left field first.
std::vector<std::uint8_t> JpsSegment(int layout, int flags);

// Sets the EXIF PixelXDimension / PixelYDimension (A002, A003) of an APP1 payload
// ("Exif\0\0" + TIFF) in place, where present and wide enough; anything unreadable is left as is.
void PatchExifDimensions(std::vector<std::uint8_t>& app1, std::uint32_t width, std::uint32_t height);

}  // namespace veltrane::stereo
