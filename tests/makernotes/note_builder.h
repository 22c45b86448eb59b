// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Synthetic maker notes for the tests: one TIFF-style directory after a maker's prefix, its
// out-of-entry values after the directory, and EXIF data (a TIFF structure, a JPEG file) that
// carries such a note in its EXIF directory.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/samples/jpeg_writer.h"
#include "tools/samples/tiff_builder.h"

namespace veltrane::testing {

using samples::ByteOrder;
using samples::Bytes;

struct NoteEntry {
    std::uint16_t tag;
    std::uint16_t type;
    std::uint32_t count;
    Bytes value;  // in the note's byte order
};

inline Bytes Append(Bytes a, const Bytes& b) {
    for (std::uint8_t x : b) a.push_back(x);
    return a;
}

inline Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

class NoteValues {
public:
    explicit NoteValues(ByteOrder order) : tiff_(order) {}
    Bytes U16(std::uint16_t v) const { return tiff_.U16(v); }
    Bytes U32(std::uint32_t v) const { return tiff_.U32(v); }

    NoteEntry Short(std::uint16_t tag, const std::vector<std::uint16_t>& values) const {
        Bytes b;
        for (auto v : values) b = Append(b, U16(v));
        return {tag, samples::kShort, static_cast<std::uint32_t>(values.size()), b};
    }
    NoteEntry Long(std::uint16_t tag, const std::vector<std::uint32_t>& values) const {
        Bytes b;
        for (auto v : values) b = Append(b, U32(v));
        return {tag, samples::kLong, static_cast<std::uint32_t>(values.size()), b};
    }
    NoteEntry Rational(std::uint16_t tag,
                       const std::vector<std::pair<std::uint32_t, std::uint32_t>>& values) const {
        Bytes b;
        for (auto [n, d] : values) b = Append(Append(b, U32(n)), U32(d));
        return {tag, samples::kRational, static_cast<std::uint32_t>(values.size()), b};
    }
    // ASCII with the bytes as given (add the NUL yourself).
    static NoteEntry Ascii(std::uint16_t tag, std::string_view text) {
        return {tag, samples::kAscii, static_cast<std::uint32_t>(text.size()), Text(text)};
    }
    static NoteEntry Undefined(std::uint16_t tag, std::string_view bytes) {
        return {tag, samples::kUndefined, static_cast<std::uint32_t>(bytes.size()), Text(bytes)};
    }

private:
    samples::TiffBuilder tiff_;
};

// prefix (padded with zeros to directoryStart), the entry count, the entries, a zero link, then
// the values that take more than 4 bytes. A value at note byte p is stored as offset
// p + offsetDelta.
inline Bytes BuildNote(const Bytes& prefix, std::size_t directoryStart, ByteOrder order,
                       const std::vector<NoteEntry>& entries, std::int64_t offsetDelta) {
    const NoteValues v(order);
    Bytes note = prefix;
    note.resize(directoryStart, 0);
    note = Append(note, v.U16(static_cast<std::uint16_t>(entries.size())));
    std::size_t dataPos = directoryStart + 2 + 12 * entries.size() + 4;
    Bytes data;
    for (const NoteEntry& e : entries) {
        note = Append(note, v.U16(e.tag));
        note = Append(note, v.U16(e.type));
        note = Append(note, v.U32(e.count));
        if (e.value.size() <= 4) {
            Bytes inEntry = e.value;
            inEntry.resize(4, 0);
            note = Append(note, inEntry);
        } else {
            note = Append(note, v.U32(static_cast<std::uint32_t>(
                                    static_cast<std::int64_t>(dataPos + data.size()) + offsetDelta)));
            data = Append(data, e.value);
        }
    }
    note = Append(note, v.U32(0));
    return Append(note, data);
}

struct Camera {
    std::string make;
    std::string model = "Test Model";
    std::string version = "0220";  // ExifVersion bytes; empty: no ExifVersion tag
    ByteOrder order = ByteOrder::Little;
    // EXIF entries after the maker note (tag order), to see the walk go on after it.
    std::vector<NoteEntry> afterNote;
};

// More of what a camera writes: further IFD0 entries (written after Model) and, when not empty,
// an interoperability directory (linked from the EXIF directory) and a GPS directory (linked
// from IFD0) with these entries.
struct CameraDirectories {
    std::vector<NoteEntry> ifd0;
    std::vector<NoteEntry> interop;
    std::vector<NoteEntry> gps;
};

// A TIFF structure: IFD0 with Make, Model and ExifOffset; the EXIF directory with ExifVersion,
// MakerNote and the camera's further entries. makeNote gets the offset of the note from the
// TIFF header and returns the note; its length must not depend on that offset.
inline Bytes ExifTiffWithNote(const Camera& camera,
                              const std::function<Bytes(std::int64_t noteOffset)>& makeNote,
                              const CameraDirectories& more = {}) {
    auto build = [&](const Bytes& note) {
        samples::TiffBuilder tiff(camera.order);
        const int ifd0 = tiff.AddIfd();
        const int exif = tiff.AddIfd();
        tiff.Ascii(ifd0, 0x010F, camera.make);
        tiff.Ascii(ifd0, 0x0110, camera.model);
        for (const NoteEntry& e : more.ifd0) tiff.Raw(ifd0, e.tag, e.type, e.count, e.value);
        tiff.Link(ifd0, 0x8769, exif);
        if (!camera.version.empty()) tiff.Undefined(exif, 0x9000, Text(camera.version));
        tiff.Undefined(exif, 0x927C, note);
        for (const NoteEntry& e : camera.afterNote) tiff.Raw(exif, e.tag, e.type, e.count, e.value);
        if (!more.interop.empty()) {
            const int interop = tiff.AddIfd();
            for (const NoteEntry& e : more.interop) tiff.Raw(interop, e.tag, e.type, e.count, e.value);
            tiff.Link(exif, 0xA005, interop);
        }
        if (!more.gps.empty()) {
            const int gps = tiff.AddIfd();
            for (const NoteEntry& e : more.gps) tiff.Raw(gps, e.tag, e.type, e.count, e.value);
            tiff.Link(ifd0, 0x8825, gps);
        }
        return tiff.Build();
    };
    const Bytes firstNote = makeNote(0);
    const Bytes first = build(firstNote);
    // The note is the first value block of that length; find it to learn its offset.
    std::int64_t offset = -1;
    for (std::size_t i = 8; i + firstNote.size() <= first.size(); ++i)
        if (std::equal(firstNote.begin(), firstNote.end(), first.begin() + static_cast<std::ptrdiff_t>(i))) {
            offset = static_cast<std::int64_t>(i);
            break;
        }
    if (offset < 0) throw std::logic_error("note not found in the TIFF data");
    const Bytes note = makeNote(offset);
    const Bytes tiff = build(note);
    if (!std::equal(note.begin(), note.end(), tiff.begin() + offset))
        throw std::logic_error("the note moved when its offsets changed");
    return tiff;
}

// A small real JPEG image whose APP1 segment carries the TIFF structure.
inline Bytes JpegWithExif(const Bytes& tiff) {
    return samples::BaselineJpeg(8, 8, [](int, int) { return samples::Rgb{90, 120, 150}; },
                                 samples::ExifApp1Segment(tiff));
}

}  // namespace veltrane::testing
