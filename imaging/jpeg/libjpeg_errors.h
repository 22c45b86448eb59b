// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// libjpeg reports fatal errors through error_exit, which must not return. Here it records the
// library's message and longjmps back to the one setjmp of a Guarded() call; every object that
// owns memory (buffers, the codec objects themselves) lives outside the guarded frame, so the
// jump skips no destructor. Guarded() then raises the caller's exception with the message.
//
// Warnings (level -1: corrupt data that libjpeg would paper over with grey) are errors too: a
// picture that does not decode cleanly is not silently changed. A caller may let through the
// note of stray bytes before a marker, which loses nothing.
#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace veltrane::libjpeg {

struct ErrorManager {
    jpeg_error_mgr pub{};  // first, so that the library's err pointer is the manager's address
    std::jmp_buf jump{};
    char message[JMSG_LENGTH_MAX] = {};
};

enum class StrayBytes { Refused, Allowed };

// Sets up errors and points the codec object's err at it; call before jpeg_create_*.
void InstallErrorManager(jpeg_decompress_struct& codec, ErrorManager& errors, StrayBytes stray = StrayBytes::Refused);
void InstallErrorManager(jpeg_compress_struct& codec, ErrorManager& errors);

// Runs body with setjmp armed on errors; a libjpeg error inside calls raise(message), which
// must throw. body must not own objects with destructors while it calls into libjpeg.
template <typename Raise, typename Body>
void Guarded(ErrorManager& errors, Raise&& raise, Body&& body) {
    if (setjmp(errors.jump) != 0) raise(static_cast<const char*>(errors.message));
    body();
}

// Progressive files may hold thousands of tiny scans, each a pass over the image: with this
// limit installed, the decoder fails with "more than N scans" past maxScans.
struct ScanLimit {
    jpeg_progress_mgr pub{};
    int maxScans = 500;
};
void InstallScanLimit(jpeg_decompress_struct& info, ScanLimit& limit);

}  // namespace veltrane::libjpeg
