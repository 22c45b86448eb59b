// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The EXIF reader as the program uses it: with its maker-note decoder and its IPTC reader.
// Every command, window and tool that shows metadata reads through these parts, so they all
// show the same tags:
//
//   exif::ExifReader reader(exif::FullReaderParts);
#include "core/exif/reader_parts.h"
#include "core/iptc/iptc_data.h"
#include "core/makernotes/maker_notes.h"

namespace veltrane::exif {

inline constexpr ReaderParts FullReaderParts{&DecodeMakerNote, &ReadIptcRecords};

}  // namespace veltrane::exif
