// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The JSON form of the command line's records (core/common/record_writer.h), written with
// RapidJSON's writer: each record is one JSON value, its members indented by two spaces, its
// strings escaped as JSON requires (quotes, backslashes and every control character) and always
// well-formed UTF-8 (a byte that starts no UTF-8 sequence, such as one of a Linux file name in
// another encoding, is written as U+FFFD).
#include <memory>

#include "core/common/record_writer.h"

namespace veltrane::json {

std::unique_ptr<RecordWriter> NewJsonRecordWriter();

}  // namespace veltrane::json
