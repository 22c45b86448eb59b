// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The geometry of a lossless transform, apart from any codec: the eight turns and flips of a
// rectangular picture, what each does to an EXIF orientation, which edge blocks it must trim,
// and the region of a crop on each image's block grid.
//
// A JPEG image is a grid of 8 x 8 blocks of DCT coefficients, gathered into MCUs of
// (8 * largest horizontal sampling factor) x (8 * largest vertical one) pixels: the image's
// grid. Turning a block is exact on its coefficients (a transpose and sign changes), so a
// whole image turns losslessly when every block lands whole. Blocks at the right and bottom
// edges may be partial (the image ends inside them); an edge that would become the left or top
// edge of the result cannot keep a partial MCU, so those pixels are trimmed, as `jpegtran
// -trim` does. A crop keeps whole MCUs from its top-left corner on, so that corner lies on the
// grid.
#include <cstdint>
#include <optional>
#include <string>

namespace veltrane::transform {

// What --transform asks for.
enum class Operation { Rotate90, Rotate180, Rotate270, FlipH, FlipV, Transpose, Transverse, Auto, Crop };

// "rotate90", "flip-h", ... and back.
std::optional<Operation> OperationFromWord(const std::string& word);
const char* OperationWord(Operation operation);
inline constexpr const char* kOperationList =
    "rotate90, rotate180, rotate270, flip-h, flip-v, transpose, transverse, auto or crop";

// A geometric transform of the pixel grid; rotations are clockwise.
enum class Turn { None, FlipH, FlipV, Transpose, Rotate90, Rotate180, Rotate270, Transverse };

// The turn of an operation; None for Auto and Crop.
Turn TurnOf(Operation operation);
const char* TurnWord(Turn turn);  // "none", "rotate90", "flip-h", ...

// A turn as three axis changes, applied to the stored picture in this order: swap (the
// result's x runs along the source's y and the other way round), then mirrorX (the result's
// x runs right to left along its source axis) and mirrorY (its y runs bottom to top).
struct TurnAxes {
    bool swap = false, mirrorX = false, mirrorY = false;
};
TurnAxes AxesOf(Turn turn);

// EXIF Orientation: what a viewer does to the stored picture to show it. 1 none, 2 flip-h,
// 3 rotate180, 4 flip-v, 5 transpose, 6 rotate90, 7 transverse, 8 rotate270; any other value
// asks for nothing.
Turn TurnOfOrientation(std::uint32_t orientation);
// The Orientation a picture needs once its stored pixels are turned by turn, so that viewers
// show it turned the same way: the viewer's turn seen through turn. Values outside 1 to 8 are
// returned as they are.
std::uint32_t OrientationAfter(Turn turn, std::uint32_t orientation);

// Whether the turn runs the picture's rows backwards, so that the left eye's view of a stereo
// pair ends up as the right one's (rotate180, flip-h).
bool ExchangesEyes(Turn turn);

struct Size {
    std::uint32_t width = 0, height = 0;
    bool operator==(const Size&) const = default;
};

// The size of the image's MCU in pixels.
using Grid = Size;

// The turned picture's size.
Size TurnedSize(Turn turn, Size size);

// A rectangle of an image: width x height pixels from (x, y).
struct Region {
    std::uint32_t x = 0, y = 0, width = 0, height = 0;
    bool operator==(const Region&) const = default;
    std::string Text() const;  // "WxH+X+Y"
    Size Extent() const { return {width, height}; }
};

// "WxH+X+Y" in decimal digits; nothing for any other text.
std::optional<Region> ParseRegion(const std::string& text);

// The part of the image that turn keeps: partial MCUs at the edges that become the left or top
// edge are trimmed (the right and bottom edges of the source). A dimension smaller than one
// MCU cannot be trimmed and is kept whole (Lossless() then says no).
struct KeptPart {
    Region region;        // from (0, 0)
    Size trimmed;         // pixel columns and rows left out
    bool lossless = true; // false when an edge that must be trimmed is narrower than one MCU
};
KeptPart KeptByTurn(Turn turn, Size size, Grid grid);

// Image 1's crop region with its corner moved left and up onto the grid; its right and bottom
// edges stay where they were.
Region AlignRegion(const Region& region, Grid grid);

// The region of an image of size that matches region of the first image (of size first):
// scaled by the ratio of the sizes, then rounded outward to the image's grid (the right and
// bottom edges no further than the image's).
Region ScaleRegion(const Region& region, Size first, Size size, Grid grid);

// Whether the region lies inside an image of size and is not empty.
bool Inside(const Region& region, Size size);

}  // namespace veltrane::transform
