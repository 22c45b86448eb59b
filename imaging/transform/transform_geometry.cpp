// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/transform/transform_geometry.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace veltrane::transform {
namespace {

struct Word {
    Operation operation;
    const char* text;
};
constexpr std::array<Word, 9> kWords = {{{Operation::Rotate90, "rotate90"},
                                         {Operation::Rotate180, "rotate180"},
                                         {Operation::Rotate270, "rotate270"},
                                         {Operation::FlipH, "flip-h"},
                                         {Operation::FlipV, "flip-v"},
                                         {Operation::Transpose, "transpose"},
                                         {Operation::Transverse, "transverse"},
                                         {Operation::Auto, "auto"},
                                         {Operation::Crop, "crop"}}};

// A turn as the matrix that maps a point (x, y), taken from the picture's centre with y
// downwards, to its place in the result: (a x + b y, c x + d y).
struct Matrix {
    int a, b, c, d;
    bool operator==(const Matrix&) const = default;
    Matrix operator*(const Matrix& m) const {
        return {a * m.a + b * m.c, a * m.b + b * m.d, c * m.a + d * m.c, c * m.b + d * m.d};
    }
    Matrix Inverse() const { return {a, c, b, d}; }  // the matrices are orthogonal
};

// Indexed by Turn.
constexpr std::array<Matrix, 8> kMatrices = {{
    {1, 0, 0, 1},    // None
    {-1, 0, 0, 1},   // FlipH
    {1, 0, 0, -1},   // FlipV
    {0, 1, 1, 0},    // Transpose
    {0, -1, 1, 0},   // Rotate90: the right edge goes to the bottom
    {-1, 0, 0, -1},  // Rotate180
    {0, 1, -1, 0},   // Rotate270
    {0, -1, -1, 0},  // Transverse
}};

// Indexed by Orientation - 1.
constexpr std::array<Turn, 8> kOrientationTurns = {Turn::None,      Turn::FlipH,    Turn::Rotate180, Turn::FlipV,
                                                   Turn::Transpose, Turn::Rotate90, Turn::Transverse, Turn::Rotate270};

Matrix MatrixOf(Turn turn) { return kMatrices[static_cast<std::size_t>(turn)]; }

Turn TurnOfMatrix(const Matrix& m) {
    for (std::size_t i = 0; i < kMatrices.size(); ++i)
        if (kMatrices[i] == m) return static_cast<Turn>(i);
    return Turn::None;  // products of the eight are among the eight
}

std::uint32_t RoundDown(std::uint32_t v, std::uint32_t step) { return v / step * step; }

bool ParseNumber(const char*& p, const char* end, std::uint32_t& value) {
    if (p == end || *p < '0' || *p > '9') return false;  // no sign, no space
    const auto [next, ec] = std::from_chars(p, end, value);
    if (ec != std::errc()) return false;
    p = next;
    return true;
}

}  // namespace

std::optional<Operation> OperationFromWord(const std::string& word) {
    for (const Word& w : kWords)
        if (word == w.text) return w.operation;
    return std::nullopt;
}

const char* OperationWord(Operation operation) {
    for (const Word& w : kWords)
        if (w.operation == operation) return w.text;
    return "";
}

Turn TurnOf(Operation operation) {
    switch (operation) {
        case Operation::Rotate90: return Turn::Rotate90;
        case Operation::Rotate180: return Turn::Rotate180;
        case Operation::Rotate270: return Turn::Rotate270;
        case Operation::FlipH: return Turn::FlipH;
        case Operation::FlipV: return Turn::FlipV;
        case Operation::Transpose: return Turn::Transpose;
        case Operation::Transverse: return Turn::Transverse;
        case Operation::Auto:
        case Operation::Crop: return Turn::None;
    }
    return Turn::None;
}

const char* TurnWord(Turn turn) {
    switch (turn) {
        case Turn::None: return "none";
        case Turn::FlipH: return "flip-h";
        case Turn::FlipV: return "flip-v";
        case Turn::Transpose: return "transpose";
        case Turn::Rotate90: return "rotate90";
        case Turn::Rotate180: return "rotate180";
        case Turn::Rotate270: return "rotate270";
        case Turn::Transverse: return "transverse";
    }
    return "";
}

TurnAxes AxesOf(Turn turn) {
    const Matrix m = MatrixOf(turn);
    const bool swap = m.a == 0;
    // The result's x is a x + b y, its y c x + d y; the one non-zero factor of each says
    // whether it runs along its source axis or against it.
    return {swap, (swap ? m.b : m.a) < 0, (swap ? m.c : m.d) < 0};
}

Turn TurnOfOrientation(std::uint32_t orientation) {
    if (orientation < 1 || orientation > 8) return Turn::None;
    return kOrientationTurns[orientation - 1];
}

std::uint32_t OrientationAfter(Turn turn, std::uint32_t orientation) {
    if (orientation < 1 || orientation > 8) return orientation;
    // The viewer turned the old pixels by V; the new pixels are T(old), so it must turn them
    // by T V T^-1 to show T applied to what it showed before.
    const Matrix t = MatrixOf(turn);
    const Turn shown = TurnOfMatrix(t * MatrixOf(TurnOfOrientation(orientation)) * t.Inverse());
    for (std::size_t i = 0; i < kOrientationTurns.size(); ++i)
        if (kOrientationTurns[i] == shown) return static_cast<std::uint32_t>(i + 1);
    return orientation;
}

bool ExchangesEyes(Turn turn) { return MatrixOf(turn).a < 0; }

Size TurnedSize(Turn turn, Size size) {
    return AxesOf(turn).swap ? Size{size.height, size.width} : size;
}

std::string Region::Text() const {
    return std::to_string(width) + "x" + std::to_string(height) + "+" + std::to_string(x) + "+" + std::to_string(y);
}

std::optional<Region> ParseRegion(const std::string& text) {
    Region r;
    const char* p = text.data();
    const char* end = p + text.size();
    auto expect = [&](char c) {
        if (p == end || *p != c) return false;
        ++p;
        return true;
    };
    if (!ParseNumber(p, end, r.width) || !expect('x') || !ParseNumber(p, end, r.height) || !expect('+') ||
        !ParseNumber(p, end, r.x) || !expect('+') || !ParseNumber(p, end, r.y) || p != end)
        return std::nullopt;
    return r;
}

KeptPart KeptByTurn(Turn turn, Size size, Grid grid) {
    const TurnAxes axes = AxesOf(turn);
    // The source's right edge ends up left or top when the result runs against its x axis.
    const bool trimRight = axes.swap ? axes.mirrorY : axes.mirrorX;
    const bool trimBottom = axes.swap ? axes.mirrorX : axes.mirrorY;
    KeptPart kept{{0, 0, size.width, size.height}, {}, true};
    auto trim = [&](bool needed, std::uint32_t& extent, std::uint32_t step, std::uint32_t& lost) {
        if (!needed || extent % step == 0) return;
        if (extent < step) {
            kept.lossless = false;
            return;
        }
        lost = extent % step;
        extent -= lost;
    };
    trim(trimRight, kept.region.width, grid.width, kept.trimmed.width);
    trim(trimBottom, kept.region.height, grid.height, kept.trimmed.height);
    return kept;
}

Region AlignRegion(const Region& region, Grid grid) {
    Region r = region;
    r.x = RoundDown(region.x, grid.width);
    r.y = RoundDown(region.y, grid.height);
    r.width = region.width + (region.x - r.x);
    r.height = region.height + (region.y - r.y);
    return r;
}

Region ScaleRegion(const Region& region, Size first, Size size, Grid grid) {
    // One axis: [from, to) of first's extent scaled to extent, outward to whole pixels, then to
    // the grid; at least one MCU (or the whole extent when it is smaller).
    auto axis = [](std::uint32_t from, std::uint32_t length, std::uint32_t firstExtent, std::uint32_t extent,
                   std::uint32_t step, std::uint32_t& outFrom, std::uint32_t& outLength) {
        const std::uint64_t scale = extent, base = std::max<std::uint32_t>(firstExtent, 1);
        std::uint64_t a = std::uint64_t{from} * scale / base;
        std::uint64_t b = ((std::uint64_t{from} + length) * scale + base - 1) / base;
        a = a / step * step;
        b = (b + step - 1) / step * step;
        if (b <= a) b = a + step;
        b = std::min<std::uint64_t>(b, extent);
        a = std::min<std::uint64_t>(a, b == 0 ? 0 : (b - 1) / step * step);
        outFrom = static_cast<std::uint32_t>(a);
        outLength = static_cast<std::uint32_t>(b - a);
    };
    Region r;
    axis(region.x, region.width, first.width, size.width, grid.width, r.x, r.width);
    axis(region.y, region.height, first.height, size.height, grid.height, r.y, r.height);
    return r;
}

bool Inside(const Region& region, Size size) {
    return region.width > 0 && region.height > 0 && region.x < size.width && region.width <= size.width - region.x &&
           region.y < size.height && region.height <= size.height - region.y;
}

}  // namespace veltrane::transform
