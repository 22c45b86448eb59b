// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// libjpeg-turbo's compressor writing into memory: the one growing output buffer of every JPEG
// this program codes (re-encoded pictures and the block plans alike).
//
// The coded data goes to a vector owned by the encoder object (not by libjpeg), so that an error
// in the middle of compression leaves nothing for libjpeg to free. Room for the expected size is
// reserved up front, but the vector is sized a step at a time as libjpeg fills it: pages
// reserved and never written are never touched, and the result is handed over without a copy.
#include <cstddef>
#include <cstdint>
#include <cstdio>  // before jpeglib.h, which uses FILE
#include <vector>

#include <jpeglib.h>

#include "imaging/jpeg/libjpeg_errors.h"

namespace veltrane::libjpeg {

// The destination manager behind Encoder.
struct GrowingDestination {
    jpeg_destination_mgr pub{};  // first: libjpeg's dest pointer is the manager's address
    std::vector<std::uint8_t>* out = nullptr;
    std::size_t expected = 0;
};

// Compressor with its own error manager and the growing buffer; destroyed with the object, also
// after an error (raised through Guarded() on errors).
class Encoder {
public:
    // expectedSize: room reserved once compression starts (it grows beyond when needed).
    explicit Encoder(std::size_t expectedSize);
    ~Encoder();
    Encoder(const Encoder&) = delete;
    Encoder& operator=(const Encoder&) = delete;

    jpeg_compress_struct info{};
    ErrorManager errors;
    // The coded bytes once jpeg_finish_compress has run.
    std::vector<std::uint8_t> Take() { return std::move(out_); }

private:
    std::vector<std::uint8_t> out_;
    GrowingDestination destination_;
};

}  // namespace veltrane::libjpeg
