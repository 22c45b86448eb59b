// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small helpers around libheif's C interface: its errors as HeifError, its objects released by
// unique_ptr, and one-time initialisation.
#include <libheif/heif.h>

#include <array>
#include <memory>
#include <vector>
#include <string>

#include "core/common/file_io.h"
#include "imaging/heif/spatial_photo.h"

namespace veltrane::heif::detail {

// libheif's built-in codecs (libde265, x265) are registered by heif_init, once per process.
void InitialiseLibheif();

// Raises HeifError "what: libheif's message" unless error is heif_error_Ok.
void Check(const heif_error& error, const std::string& what);

struct ContextRelease {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleRelease {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct EncoderRelease {
    void operator()(heif_encoder* e) const { heif_encoder_release(e); }
};
struct DecodingOptionsRelease {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
struct EncodingOptionsRelease {
    void operator()(heif_encoding_options* o) const { heif_encoding_options_free(o); }
};
struct NclxRelease {
    void operator()(heif_color_profile_nclx* n) const { heif_nclx_color_profile_free(n); }
};
using ContextPtr = std::unique_ptr<heif_context, ContextRelease>;
using HandlePtr = std::unique_ptr<heif_image_handle, HandleRelease>;
using EncoderPtr = std::unique_ptr<heif_encoder, EncoderRelease>;
using DecodingOptionsPtr = std::unique_ptr<heif_decoding_options, DecodingOptionsRelease>;
using EncodingOptionsPtr = std::unique_ptr<heif_encoding_options, EncodingOptionsRelease>;
using NclxPtr = std::unique_ptr<heif_color_profile_nclx, NclxRelease>;

ContextPtr NewContext();

// A file that libheif reads through the program's file layer, and its reading position.
struct FileSource {
    explicit FileSource(const std::string& path) : file(path), size(file.Size()) {}
    InputFile file;
    std::int64_t size = 0;
    std::int64_t position = 0;
};

}  // namespace veltrane::heif::detail

namespace veltrane::heif {

// What an opened spatial photo keeps of libheif: its context and the handles of both eyes, and
// what the context reads from (members are destroyed in reverse order: the context first).
struct SpatialPhoto::Context {
    std::unique_ptr<detail::FileSource> file;  // the file, when it was opened by name
    detail::ContextPtr heif;
    std::vector<std::uint8_t> bytes;  // the file, when it was given in memory
    std::array<detail::HandlePtr, 2> eyes;
};

}  // namespace veltrane::heif
