// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/jpeg/jpeg_encoder.h"

#include <algorithm>
#include <new>

#include <jerror.h>

namespace veltrane::libjpeg {
namespace {

// The vector is sized by this step as libjpeg asks for room; its capacity grows by half.
constexpr std::size_t kOutputStep = std::size_t{1} << 16;

GrowingDestination& DestinationOf(j_compress_ptr info) { return *reinterpret_cast<GrowingDestination*>(info->dest); }

// Room for a step beyond the bytes used so far; false when memory runs out.
bool Grow(GrowingDestination& dest, std::size_t used) {
    std::vector<std::uint8_t>& out = *dest.out;
    try {
        if (used + kOutputStep > out.capacity()) out.reserve(std::max(used + kOutputStep, out.capacity() + out.capacity() / 2));
        out.resize(used + kOutputStep);
    } catch (const std::bad_alloc&) {
        return false;
    }
    dest.pub.next_output_byte = out.data() + used;
    dest.pub.free_in_buffer = out.size() - used;
    return true;
}

void InitDestination(j_compress_ptr info) {
    GrowingDestination& dest = DestinationOf(info);
    bool failed = false;
    try {
        dest.out->clear();
        dest.out->reserve(std::max(dest.expected, kOutputStep));
    } catch (const std::bad_alloc&) {
        failed = true;
    }
    // Raised outside the handler: the jump leaves no C++ frame half unwound.
    if (failed || !Grow(dest, 0)) ERREXIT1(info, JERR_OUT_OF_MEMORY, 0);
}

boolean EmptyOutputBuffer(j_compress_ptr info) {
    // The buffer is full: free_in_buffer is 0 and every byte counts.
    GrowingDestination& dest = DestinationOf(info);
    if (!Grow(dest, dest.out->size())) ERREXIT1(info, JERR_OUT_OF_MEMORY, 1);
    return TRUE;
}

void TermDestination(j_compress_ptr info) {
    GrowingDestination& dest = DestinationOf(info);
    dest.out->resize(dest.out->size() - dest.pub.free_in_buffer);
}

}  // namespace

Encoder::Encoder(std::size_t expectedSize) {
    InstallErrorManager(info, errors);
    jpeg_create_compress(&info);  // only fails on a library version mismatch
    destination_.pub.init_destination = InitDestination;
    destination_.pub.empty_output_buffer = EmptyOutputBuffer;
    destination_.pub.term_destination = TermDestination;
    destination_.out = &out_;
    destination_.expected = expectedSize;
    info.dest = &destination_.pub;
}

Encoder::~Encoder() { jpeg_destroy_compress(&info); }

}  // namespace veltrane::libjpeg
