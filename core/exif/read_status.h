// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the EXIF reader's last read ended, and the text that users see for it (`veltrane --info`
// prints it after "Status: ").
#include <string>
#include <string_view>

namespace veltrane::exif {

enum class ReadStatus {
    NothingRead,              // ""  no read yet, or the path names no file
    NotExif,                  // "Not an EXIF file": the load failed, no cause more precise
    IncorrectExifHeader,      // "Incorrect Exif header": the APP1 payload is not "Exif\0..."
    InvalidAlignmentMarker,   // "Invalid Exif alignment marker": no "II" or "MM"
    IllegallySizedDirectory,  // "Illegally sized directory"
    MakerNoteError,           // "Error Detected = " and the error that ended the maker-note walk
    Ok,                       // "<none>": the load ran to its end
    IllegalConstruction,      // "Illegal Exif construction": the file could not be read
};

// The text of status; detail completes the text of MakerNoteError (UTF-8, as the result is).
std::string StatusText(ReadStatus status, std::string_view detail = {});

}  // namespace veltrane::exif
