// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One JPEG image turned, flipped or cropped in the DCT domain: a one-piece plan of the block
// engine (imaging/jpeg/block_plan.h). The quantized coefficients are decoded (entropy decoding
// only), rearranged block by block and coded again. No pixel is decoded, so nothing is lost but
// the blocks left out.
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include "imaging/transform/transform_geometry.h"

namespace veltrane {
class InputFile;
}

namespace veltrane::transform {

// A failed transform. subject names the file or image, the message is the cause; a bad
// request (an operation or region that does not fit the file) is a usage error (exit 2),
// anything else a failed job (exit 1).
class TransformError : public std::runtime_error {
public:
    TransformError(std::string subject, const std::string& cause, bool badRequest = false)
        : std::runtime_error(cause), subject_(std::move(subject)), badRequest_(badRequest) {}
    const std::string& Subject() const noexcept { return subject_; }
    bool BadRequest() const noexcept { return badRequest_; }

private:
    std::string subject_;
    bool badRequest_;
};

struct CoefficientTransform {
    // The part of the image that is kept, before the turn: its corner on the image's grid, and
    // any edge that the turn moves to the left or top a whole number of MCUs from it.
    Region source;
    Turn turn = Turn::None;
    // Whole marker segments (FF, marker, length, payload) written right after SOI, in order:
    // the source's application and comment segments as the caller wants them kept.
    std::vector<std::vector<std::uint8_t>> segments;
};

// The coded result.
struct TransformedJpeg {
    std::vector<std::uint8_t> bytes;
    Size size;
    std::span<const std::uint8_t> Bytes() const { return bytes; }
};

// Bounds that keep a hostile file from making the codec allocate or loop without end.
inline constexpr std::uint64_t kMaxTransformPixels = 400'000'000;
inline constexpr int kMaxTransformScans = 1000;

// Transforms the image. The output is baseline (progressive when the source is), Huffman or
// arithmetic coded as the source, with the source's quantization tables (transposed with the
// picture where the turn swaps its axes), sampling factors and restart interval. name says
// which image messages are about. Raises TransformError: the data does not decode cleanly,
// the image is larger than kMaxTransformPixels, or the request does not fit it.
TransformedJpeg TransformJpeg(std::span<const std::uint8_t> jpeg, const CoefficientTransform& request,
                              const std::string& name);
// The same for the image in length bytes of file from offset on, read in chunks. Raises
// InOutError too when the file cannot be read.
TransformedJpeg TransformJpeg(InputFile& file, std::int64_t offset, std::int64_t length,
                              const CoefficientTransform& request, const std::string& name);

}  // namespace veltrane::transform
