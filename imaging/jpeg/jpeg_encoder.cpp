// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/jpeg/jpeg_encoder.h"

#include <algorithm>

#include <jerror.h>

namespace veltrane::libjpeg {
namespace {

constexpr std::size_t kOutputStep = std::size_t{1} << 16;

GrowingDestination& DestinationOf(j_compress_ptr info) { return *reinterpret_cast<GrowingDestination*>(info->dest); }

void InitDestination(j_compress_ptr info) {
    GrowingDestination& dest = DestinationOf(info);
    const std::size_t capacity = std::max(dest.expected, kOutputStep);
    auto* bytes = static_cast<std::uint8_t*>(std::malloc(capacity));
    if (bytes == nullptr) ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
    dest.result->data.reset(bytes);
    dest.capacity = capacity;
    dest.pub.next_output_byte = bytes;
    dest.pub.free_in_buffer = capacity;
}

boolean EmptyOutputBuffer(j_compress_ptr info) {
    // The buffer is full: free_in_buffer is 0 and every byte counts.
    GrowingDestination& dest = DestinationOf(info);
    const std::size_t used = dest.capacity;
    const std::size_t capacity = used + std::max(kOutputStep, used / 2);
    auto* bytes = static_cast<std::uint8_t*>(std::realloc(dest.result->data.get(), capacity));
    if (bytes == nullptr) ERREXIT1(info, JERR_OUT_OF_MEMORY, 1);  // the old block stays owned
    (void)dest.result->data.release();  // realloc has freed or moved it
    dest.result->data.reset(bytes);
    dest.capacity = capacity;
    dest.pub.next_output_byte = bytes + used;
    dest.pub.free_in_buffer = capacity - used;
    return TRUE;
}

void TermDestination(j_compress_ptr info) {
    GrowingDestination& dest = DestinationOf(info);
    dest.result->length = dest.capacity - dest.pub.free_in_buffer;
}

}  // namespace

Encoder::Encoder(std::size_t expectedSize) {
    InstallErrorManager(info, errors);
    jpeg_create_compress(&info);  // only fails on a library version mismatch
    destination_.pub.init_destination = InitDestination;
    destination_.pub.empty_output_buffer = EmptyOutputBuffer;
    destination_.pub.term_destination = TermDestination;
    destination_.result = &buffer_;
    destination_.expected = expectedSize;
    info.dest = &destination_.pub;
}

Encoder::~Encoder() { jpeg_destroy_compress(&info); }

}  // namespace veltrane::libjpeg
