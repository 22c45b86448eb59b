// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exif/read_status.h"

namespace veltrane::exif {

std::string StatusText(ReadStatus status, std::string_view detail) {
    switch (status) {
        case ReadStatus::NothingRead: return "";
        case ReadStatus::NotExif: return "Not an EXIF file";
        case ReadStatus::IncorrectExifHeader: return "Incorrect Exif header";
        case ReadStatus::InvalidAlignmentMarker: return "Invalid Exif alignment marker";
        case ReadStatus::IllegallySizedDirectory: return "Illegally sized directory";
        case ReadStatus::MakerNoteError: return "Error Detected = " + std::string(detail);
        case ReadStatus::Ok: return "<none>";
        case ReadStatus::IllegalConstruction: return "Illegal Exif construction";
    }
    return "";
}

}  // namespace veltrane::exif
