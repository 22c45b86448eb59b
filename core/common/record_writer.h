// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// RecordWriter: where a command writes one structured record (an object of named values,
// lists and nested objects) when its output is meant for programs rather than eyes. The core
// only calls these functions; the format (JSON, beside the core in json/) is chosen by whoever
// builds the command line's services.
//
// The calls nest as in JSON: a record is BeginObject, then Key and a value (String, Integer, Number,
// Boolean, or a nested BeginObject/EndObject or BeginArray/EndArray) for each member, then
// EndObject. Texts are UTF-8.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace veltrane {

class RecordWriter {
public:
    virtual ~RecordWriter() = default;

    virtual void BeginObject() = 0;
    virtual void EndObject() = 0;
    virtual void BeginArray() = 0;
    virtual void EndArray() = 0;
    virtual void Key(std::string_view name) = 0;
    virtual void String(std::string_view text) = 0;
    virtual void Integer(std::int64_t value) = 0;
    // A finite number with a fraction, written as the shortest decimal that reads back as it.
    virtual void Number(double value) = 0;
    virtual void Boolean(bool value) = 0;

    // The text of the record written since the last call, which starts the next record.
    virtual std::string TakeText() = 0;

    void Member(std::string_view name, std::string_view text) {
        Key(name);
        String(text);
    }
};

}  // namespace veltrane
