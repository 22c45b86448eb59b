// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// libjpeg-turbo's compressor writing into memory: the one growing output buffer of every JPEG
// this program codes (re-encoded pictures and the block plans alike).
//
// The coded data goes to memory from malloc: it grows by realloc, which moves a large block by
// remapping its pages rather than copying them, and pages reserved but not written are never
// touched. The buffer is owned by the encoder object (not by libjpeg), so that an error in the
// middle of compression leaves nothing for libjpeg to free.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include <jpeglib.h>

#include "imaging/jpeg/libjpeg_errors.h"

namespace veltrane::libjpeg {

// Coded bytes in memory from malloc.
struct JpegBuffer {
    struct Free {
        void operator()(std::uint8_t* p) const { std::free(p); }
    };
    std::unique_ptr<std::uint8_t, Free> data;
    std::size_t length = 0;
    std::span<const std::uint8_t> Bytes() const { return {data.get(), length}; }
    std::vector<std::uint8_t> ToVector() const { return {data.get(), data.get() + length}; }
};

// The destination manager behind Encoder.
struct GrowingDestination {
    jpeg_destination_mgr pub{};  // first: libjpeg's dest pointer is the manager's address
    JpegBuffer* result = nullptr;
    std::size_t capacity = 0, expected = 0;
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
    JpegBuffer TakeBuffer() { return std::move(buffer_); }

private:
    JpegBuffer buffer_;
    GrowingDestination destination_;
};

}  // namespace veltrane::libjpeg
