// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Samsung's trailer: records that Samsung phones append to a JPEG (and, boxed as 'sefd', to a
// HEIF file), with a directory at the very end:
//
//   record:     00 00  type (16-bit LE)  name length (32-bit LE)  name  data
//   ...
//   directory:  "SEFH"  version (32-bit LE)  count (32-bit LE)
//               count x { 00 00  type (16-bit LE)  offset (32-bit LE)  size (32-bit LE) }
//   end:        directory length (32-bit LE)  "SEFT"
//
// A record starts offset bytes before the directory's "SEFH" and holds size bytes (its header
// and name included). The record "MotionPhoto_Data" is a motion photo's video. The one reader of
// the trailer, for JPEG files and for HEIF files' 'sefd' and 'mpvd' boxes alike.
#include <cstdint>
#include <string>
#include <vector>

#include "core/mpo/byte_source.h"

namespace veltrane::parts {

struct SamsungRecord {
    std::uint16_t type = 0;
    std::string name;              // "MotionPhoto_Data", "Image_UTC_Data", ...; "record TYPE" when empty
    std::int64_t start = 0;        // of the record (its 00 00)
    std::int64_t dataOffset = 0;   // of its data, after the name
    std::int64_t dataLength = 0;
};

struct SamsungTrailer {
    bool found = false;            // the source ends "SEFT" after a directory that begins "SEFH"
    std::int64_t start = -1;       // the first byte of the trailer: its first record, or the directory
    std::int64_t directoryStart = -1;
    std::vector<SamsungRecord> records;  // the usable ones, in directory order
    std::vector<std::string> problems;   // records that lie outside the source, ...
};

// At most this many records are read from a directory.
inline constexpr std::uint32_t kMaxSamsungRecords = 1024;

// Reads the trailer at the end of bytes [floor, end) of source (a JPEG file: floor 0 and end its
// size; a HEIF file's 'sefd' or 'mpvd' box: its payload). A directory or record outside the range
// is left out with a line in problems. Raises InOutError when a file cannot be read.
SamsungTrailer ReadSamsungTrailer(ByteSource& source, std::int64_t end, std::int64_t floor = 0);

}  // namespace veltrane::parts
