// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A thin, exception-free-at-the-boundary layer over libjpeg-turbo: its fatal errors, and its
// warnings about corrupt data, become StereoError (imaging/jpeg/libjpeg_errors.h says how), so
// a picture that does not decode cleanly is not silently filled with grey.
#include <array>
#include <utility>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "imaging/jpeg/block_arrays.h"
#include "imaging/jpeg/jpeg_encoder.h"
#include "imaging/jpeg/libjpeg_errors.h"

namespace veltrane::stereo {

class StereoError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Bounds that keep a hostile file from making the codec allocate or loop without end.
struct CodecLimits {
    std::uint64_t maxPixels = 120'000'000;  // per input image
    int maxScans = 500;                     // progressive scans per image
};

struct CoefficientImage;

using libjpeg::ErrorManager;

// Decompressor reading from memory; destroyed with the object, also after an error.
class Decoder {
public:
    // name says which image it is in messages ("the <name> does not decode: ...").
    Decoder(std::span<const std::uint8_t> bytes, const CodecLimits& limits, std::string name = "image");
    ~Decoder();
    Decoder(const Decoder&) = delete;
    Decoder& operator=(const Decoder&) = delete;

    jpeg_decompress_struct info{};
    ErrorManager errors;

    // Reads the header (saving the APP1 and APP2 segments when asked) and checks the image size
    // limits.
    void ReadHeader(bool keepMetadata);
    // "the <name> does not decode", the start of every message about this image.
    std::string Failure() const { return "the " + name_ + " does not decode"; }
    // The first saved APP1 segment that starts with "Exif\0\0", or empty.
    std::vector<std::uint8_t> ExifSegment() const;
    // The saved APP2 segments that carry an ICC profile ("ICC_PROFILE\0", sequence number,
    // count, a piece of the profile), in file order; empty when there are none.
    std::vector<std::vector<std::uint8_t>> IccSegments() const;
    // After ReadHeader: decodes every scan into image's own memory (jpeg_read_coefficients with
    // the decoder's virtual block arrays placed in image). Raises StereoError.
    void ReadCoefficients(CoefficientImage& image);

private:
    CodecLimits limits_;
    libjpeg::ScanLimit scanLimit_;
    std::span<const std::uint8_t> bytes_;
    std::string name_;
};

// The quantized DCT blocks of every component of a JPEG image, in memory that the caller owns:
// jpeg_read_coefficients decodes straight into it (ReadCoefficients), so that the blocks stay
// readable after the decoder is gone and reading them never calls into libjpeg.
//
//   component c: rows x columns blocks of 64 coefficients each, row-major (the rows and columns
//   padded to whole MCUs, as libjpeg keeps them); block (col, row) of the image's area is
//   blocks[(row * columns + col) * 64 ...], in libjpeg's natural (row-major 8 x 8) order.
struct CoefficientImage {
    struct Component {
        int hSampling = 1, vSampling = 1;
        int widthInBlocks = 0, heightInBlocks = 0;  // blocks holding the image's samples
        int columns = 0, rows = 0;                  // blocks stored (padded to the MCU)
        std::array<UINT16, DCTSIZE2> quant{};       // the table the component was coded with
        libjpeg::BlockArray blocks;
        JBLOCKROW Row(int row) const { return blocks.Row(static_cast<JDIMENSION>(row)); }
        const JCOEF* Block(int col, int row) const {
            return blocks.Block(static_cast<JDIMENSION>(col), static_cast<JDIMENSION>(row));
        }
    };
    int width = 0, height = 0;
    int maxHSampling = 1, maxVSampling = 1;
    int componentCount = 0;
    std::array<Component, MAX_COMPONENTS> components;
};

// Compressor writing into memory (the one growing buffer of imaging/jpeg/jpeg_encoder.h);
// destroyed with the object, also after an error.
class Encoder : public libjpeg::Encoder {
public:
    // expectedSize: room reserved for the output up front (it grows beyond when needed).
    explicit Encoder(std::size_t expectedSize = 0);
    // Sets up compression of width x height RGB rows at quality (libjpeg's defaults otherwise:
    // YCbCr, luma sampled 2x2) and the given luma sampling factors. Call inside Guarded().
    void SetRgbInput(int width, int height, int quality, int hSampling, int vSampling);
};

// Runs body with setjmp armed on errors; a libjpeg error inside raises StereoError carrying
// what + ": " + libjpeg's message. body must not own objects with destructors while it calls
// into libjpeg.
template <typename Body>
void Guarded(ErrorManager& errors, const char* what, Body&& body) {
    libjpeg::Guarded(
        errors, [what](const char* message) { throw StereoError(std::string(what) + ": " + message); },
        std::forward<Body>(body));
}

}  // namespace veltrane::stereo
