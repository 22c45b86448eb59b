// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one error type of the EXIF reader.
//
// Structural corruption that a step cannot work around raises ExifError; the reader turns it
// into its status at the documented places (the JPEG and TIFF loads report failure, the
// sub-directory walk and AppendTag swallow it, the maker-note walk records it as the status
// MakerNoteError). Nothing of it ever leaves ExifReader::OpenFile/OpenBuffer/OpenFileRange.
// Errors that are not the file's fault, such as std::bad_alloc, are not caught there.
#include <stdexcept>
#include <string>

namespace veltrane::exif {

class ExifError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The message of a numeric read outside the bytes held (ByteReader::U16/U32).
inline constexpr const char* kReadBeyondBuffer = "Read beyond end of buffer";

}  // namespace veltrane::exif
