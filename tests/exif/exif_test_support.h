// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small builders shared by the EXIF reader's tests: JPEG sections, whole JPEG files and readers
// over them.
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/exif/exif_reader.h"
#include "core/metadata/metadata_reader.h"
#include "tools/samples/tiff_builder.h"

namespace veltrane::exif::testing {

using samples::Bytes;

inline std::string Str(const Bytes& b) { return std::string(b.begin(), b.end()); }
inline Bytes BytesOf(std::string_view s) { return Bytes(s.begin(), s.end()); }

inline void Append(Bytes& out, const Bytes& more) {
    for (std::uint8_t b : more) out.push_back(b);
}

// FF marker, the big-endian length (payload + 2) and the payload.
inline Bytes Segment(std::uint8_t marker, const Bytes& payload) {
    const std::size_t length = payload.size() + 2;
    Bytes out = {0xFF, marker, static_cast<std::uint8_t>(length >> 8), static_cast<std::uint8_t>(length)};
    Append(out, payload);
    return out;
}

inline Bytes ExifPayload(const Bytes& tiff) {
    Bytes out = BytesOf(std::string_view("Exif\0\0", 6));
    Append(out, tiff);
    return out;
}

// FF D8, the sections, a minimal start of scan, some scan bytes and FF D9.
inline Bytes JpegOf(std::initializer_list<Bytes> sections) {
    Bytes out = {0xFF, 0xD8};
    for (const Bytes& s : sections) Append(out, s);
    Append(out, {0xFF, 0xDA, 0x00, 0x02, 0x12, 0x34, 0x56, 0xFF, 0xD9});
    return out;
}

inline Bytes JpegWithTiff(const Bytes& tiff) { return JpegOf({Segment(0xE1, ExifPayload(tiff))}); }

inline std::unique_ptr<ExifReader> ReadAs(const Bytes& bytes, SourceFormat format,
                                          CollectMode mode = CollectMode::Everything) {
    auto reader = std::make_unique<ExifReader>(FullReaderParts, ReaderOptions{{}, mode, {}});
    reader->OpenBuffer(bytes, format);
    return reader;
}

inline std::unique_ptr<ExifReader> ReadJpeg(const Bytes& bytes, CollectMode mode = CollectMode::Everything) {
    return ReadAs(bytes, SourceFormat::Jpeg, mode);
}

inline std::unique_ptr<ExifReader> ReadTiff(const Bytes& bytes, CollectMode mode = CollectMode::Everything) {
    return ReadAs(bytes, SourceFormat::Tiff, mode);
}

// The tag names of the reader's tag list, in order.
inline std::vector<std::string> TagNames(const ExifReader& reader) {
    std::vector<std::string> names;
    if (reader.Directory() == nullptr) return names;
    for (const TagEntry& tag : reader.Directory()->Tags()) names.push_back(tag.TagName);
    return names;
}

}  // namespace veltrane::exif::testing
