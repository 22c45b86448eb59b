// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The entry point of the imaging modules: the commands that need the image libraries
// (veltrane-imaging.so for --stereo: libjpeg-turbo, libpng, giflib, libwebp, libimagequant,
// libheif; veltrane-transform.so for --transform: libjpeg-turbo). The program loads a module
// only when its command runs, so that every other command starts without loading those
// libraries.
//
// The interface is plain C: the program links the C++ library statically and the module links
// its own copy (through the image libraries and Qt's), so no C++ object crosses it. The module
// writes its output through the two callbacks, which append to the program's streams.
#include <cstddef>

extern "C" {

// Appends size bytes of data to the stream behind context.
typedef void (*veltrane_write_function)(void* context, const char* data, std::size_t size);

struct veltrane_output {
    veltrane_write_function write;
    void* context;
};

// The image rule of the scan: the MPF index first, or the signature scan alone (--no-mpf).
enum { veltrane_rule_mpf_index_first = 0, veltrane_rule_signature_only = 1 };

// Runs `veltrane COMMAND WORDS...` (command "--stereo" or "--transform"; "--decode-heif-item SOURCE ITEM
// PNG" for one image item of a HEIF file, which split --decode runs) with the words after the command;
// returns the exit status (2 for a command the module does not know). Never throws.
typedef int (*veltrane_imaging_run_function)(const char* command, int wordCount, const char* const* words,
                                             int imageRule, veltrane_output out, veltrane_output err);

}  // extern "C"

// The name of the entry point in the module.
#define VELTRANE_IMAGING_RUN_SYMBOL "veltrane_imaging_run"
