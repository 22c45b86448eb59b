// SPDX-License-Identifier: GPL-3.0-or-later
#include "json/json_record_writer.h"

#include <rapidjson/prettywriter.h>
#include <rapidjson/stringbuffer.h>

#include <limits>
#include <new>

#include "core/common/unicode_text.h"

namespace veltrane::json {
namespace {

// text with every malformed byte and every surrogate value (which JSON text cannot carry in
// UTF-8) replaced by U+FFFD.
std::string WellFormed(std::string_view text) {
    std::string out;
    out.reserve(text.size() + 8);
    for (std::size_t pos = 0; pos < text.size();) {
        const char32_t c = NextCodePoint(text, pos);
        AppendUtf8(out, c == kNotACodePoint || (c >= 0xD800 && c <= 0xDFFF) ? char32_t{0xFFFD} : c);
    }
    return out;
}

class JsonRecordWriter final : public RecordWriter {
public:
    JsonRecordWriter() : writer_(buffer_) { writer_.SetIndent(' ', 2); }

    void BeginObject() override { writer_.StartObject(); }
    void EndObject() override { writer_.EndObject(); }
    void BeginArray() override { writer_.StartArray(); }
    void EndArray() override { writer_.EndArray(); }
    void Key(std::string_view name) override {
        WithWellFormed(name, [this](std::string_view t) { writer_.Key(t.data(), Length(t)); });
    }
    void String(std::string_view text) override {
        WithWellFormed(text, [this](std::string_view t) { writer_.String(t.data(), Length(t)); });
    }
    void Integer(std::int64_t value) override { writer_.Int64(value); }
    void Number(double value) override { writer_.Double(value); }
    void Boolean(bool value) override { writer_.Bool(value); }

    std::string TakeText() override {
        std::string text(buffer_.GetString(), buffer_.GetSize());
        buffer_.Clear();
        writer_.Reset(buffer_);
        return text;
    }

private:
    static rapidjson::SizeType Length(std::string_view text) {
        // RapidJSON counts string lengths in 32 bits; no text of a record comes near that.
        if (text.size() > std::numeric_limits<rapidjson::SizeType>::max()) throw std::bad_alloc();
        return static_cast<rapidjson::SizeType>(text.size());
    }
    template <typename Write>
    static void WithWellFormed(std::string_view text, Write write) {
        if (IsValidUtf8(text)) {
            write(text);
        } else {
            const std::string repaired = WellFormed(text);
            write(repaired);
        }
    }

    rapidjson::StringBuffer buffer_;
    rapidjson::PrettyWriter<rapidjson::StringBuffer> writer_;
};

}  // namespace

std::unique_ptr<RecordWriter> NewJsonRecordWriter() { return std::make_unique<JsonRecordWriter>(); }

}  // namespace veltrane::json
