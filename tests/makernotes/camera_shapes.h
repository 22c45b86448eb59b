// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// JPEG files shaped like the ones cameras and phones write, for the reader's benchmark: the
// directory sizes, maker notes and value kinds of real files, the pixels of a tiny image.
//
//   canon_eos      IFD0 9 entries, EXIF 31, a Canon note of 26 entries (camera settings of 46
//                  values, shot information, custom functions), interoperability 4
//   canon_1d       the same EXIF data, a Canon note of 36 entries with custom-function groups
//   olympus        an "OLYMP" note of 14 entries, five of them blocks holding directories of 6,
//                  36, 2, 24 and 54 entries; PrintIM data in IFD0
//   casio          a "QVC" note of 35 entries
//   phone_gps      a phone's IFD0, EXIF and a GPS directory of 12 entries, no maker note
//   no_app1        JFIF only: no EXIF at all
//   xmp_app1       an APP1 section that holds XMP, not EXIF
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "tests/makernotes/note_builder.h"
#include "tools/samples/jpeg_writer.h"

namespace veltrane::bench {

using samples::ByteOrder;
using samples::Bytes;
using testing::NoteEntry;
using testing::NoteValues;

struct ShapeFile {
    std::string Name;
    Bytes Content;
};

inline NoteEntry AsciiZ(std::uint16_t tag, const std::string& text, std::size_t size) {
    std::string padded = text;
    padded.resize(size, '\0');
    return NoteValues::Ascii(tag, padded);
}

// count SHORT values that follow a simple pattern, so arrays look like real ones.
inline std::vector<std::uint16_t> Shorts(std::size_t count, std::uint16_t seed) {
    std::vector<std::uint16_t> v(count);
    for (std::size_t i = 0; i < count; ++i) v[i] = static_cast<std::uint16_t>((seed + 7 * i) % 40);
    v[0] = static_cast<std::uint16_t>(2 * count);  // arrays start with their size in bytes
    return v;
}

// A directory of count entries, written as a block of bytes (as the sub-directories of a note
// are); value offsets point into the block's own value area.
inline Bytes DirectoryBlock(const NoteValues& v, std::uint16_t firstTag, std::size_t count) {
    std::vector<NoteEntry> entries;
    for (std::size_t i = 0; i < count; ++i) {
        const auto tag = static_cast<std::uint16_t>(firstTag + i);
        if (i % 3 == 0)
            entries.push_back(v.Short(tag, {static_cast<std::uint16_t>(i)}));
        else if (i % 3 == 1)
            entries.push_back(v.Rational(tag, {{static_cast<std::uint32_t>(10 * i + 1), 10}}));
        else
            entries.push_back(AsciiZ(tag, "VALUE" + std::to_string(i), 12));
    }
    return testing::BuildNote({}, 0, ByteOrder::Little, entries, 0);
}

// The EXIF entries of a Canon EOS after its note: with ExifVersion and MakerNote, 31 entries.
inline std::vector<NoteEntry> CanonExifEntries(const NoteValues& v) {
    return {v.Rational(0x829A, {{1, 200}}), v.Rational(0x829D, {{56, 10}}), v.Short(0x8827, {400}),
            AsciiZ(0x9003, "2026:12:07 10:00:00", 20), AsciiZ(0x9004, "2026:12:07 10:00:00", 20),
            NoteValues::Undefined(0x9101, std::string("\x01\x02\x03\0", 4)),
            v.Rational(0x9102, {{3, 1}}),
            v.Rational(0x9201, {{7, 1}}),
            v.Rational(0x9202, {{159, 32}}), v.Rational(0x9204, {{0, 3}}), v.Rational(0x9205, {{159, 32}}),
            v.Short(0x9207, {5}), v.Short(0x9209, {16}), v.Rational(0x920A, {{50, 1}}),
            NoteValues::Undefined(0x9286, std::string(264, '\0')), NoteValues::Undefined(0xA000, "0100"),
            v.Short(0xA001, {1}), v.Long(0xA002, {5184}), v.Long(0xA003, {3456}),
            v.Rational(0xA20E, {{5184000, 1405}}), v.Rational(0xA20F, {{3456000, 937}}),
            v.Short(0xA210, {2}), v.Short(0xA217, {2}), NoteValues::Undefined(0xA300, "\x03"),
            v.Short(0xA401, {0}), v.Short(0xA402, {0}), v.Short(0xA403, {0}), v.Short(0xA406, {0})};
}

inline std::vector<NoteEntry> CanonIfd0Entries(const NoteValues& v) {
    return {v.Short(0x0112, {1}), v.Rational(0x011A, {{72, 1}}), v.Rational(0x011B, {{72, 1}}),
            v.Short(0x0128, {2}), AsciiZ(0x0132, "2026:12:07 10:00:00", 20), v.Short(0x0213, {2})};
}

inline std::vector<NoteEntry> InteropEntries(const NoteValues& v) {
    return {AsciiZ(0x0001, "R98", 4), NoteValues::Undefined(0x0002, "0100"), v.Short(0x1001, {5184}),
            v.Short(0x1002, {3456})};
}

inline Bytes Canon(const std::string& model, std::size_t noteEntries, bool customGroups) {
    const NoteValues v(ByteOrder::Little);
    std::vector<NoteEntry> note = {
        v.Short(0x0001, Shorts(46, 3)), v.Short(0x0002, {0, 50, 0, 0}), v.Short(0x0003, {0, 0, 0, 0}),
        v.Short(0x0004, Shorts(34, 5)), AsciiZ(0x0006, "Canon EOS JPEG", 32),
        AsciiZ(0x0007, "Firmware Version 1.0.1", 32), v.Long(0x0008, {1001234}),
        AsciiZ(0x0009, "Veltrane Developers", 32), v.Long(0x000C, {0x5A1B2C3D}),
        v.Short(0x000D, Shorts(24, 1)),
        v.Short(0x000F, customGroups ? Shorts(30, 11)
                                     : std::vector<std::uint16_t>{0x0101, 0x0200, 0x0301, 0x0400, 0x0501,
                                                                  0x0600, 0x0702, 0x0800}),
        v.Long(0x0010, {0x80000270})};
    for (std::uint16_t tag = 0x0012; note.size() < noteEntries; ++tag) {
        if (customGroups && note.size() % 6 == 0)
            note.push_back(v.Short(tag, Shorts(20, tag)));  // a group of custom functions
        else if (note.size() % 4 == 0)
            note.push_back(v.Long(tag, {tag, 0, 1, 2}));
        else
            note.push_back(v.Short(tag, Shorts(6, tag)));
    }
    testing::Camera camera;
    testing::CameraDirectories more;
    camera.make = "Canon";
    camera.model = model;
    more.ifd0 = CanonIfd0Entries(v);
    camera.afterNote = CanonExifEntries(v);
    more.interop = InteropEntries(v);
    const Bytes tiff = testing::ExifTiffWithNote(camera, [&](std::int64_t noteOffset) {
        // Canon offsets count from the TIFF header; the directory starts the note.
        return testing::BuildNote({}, 0, ByteOrder::Little, note, noteOffset);
    }, more);
    return testing::JpegWithExif(tiff);
}

inline Bytes Olympus() {
    const NoteValues v(ByteOrder::Little);
    std::vector<NoteEntry> note = {
        v.Long(0x0200, {0, 1, 0}), v.Short(0x0201, {2}), v.Short(0x0202, {0}), v.Rational(0x0204, {{100, 100}}),
        AsciiZ(0x0207, "OV5000", 8), AsciiZ(0x0209, "OLYMPUS DIGITAL CAMERA", 32),
        NoteValues::Undefined(0x0E00, std::string(128, '\x11')), v.Short(0x1004, {3})};
    const std::pair<std::uint16_t, std::size_t> subs[] = {
        {0x2010, 6}, {0x2020, 36}, {0x2030, 2}, {0x2040, 24}, {0x2050, 54}};
    for (const auto& [tag, count] : subs) {
        const Bytes block = DirectoryBlock(v, 0x0100, count);
        note.push_back(NoteValues::Undefined(tag, std::string(block.begin(), block.end())));
    }
    testing::Camera camera;
    testing::CameraDirectories more;
    camera.make = "OLYMPUS IMAGING CORP.";
    camera.model = "E-M5";
    std::string printIm = std::string("PrintIM\0" "0300", 12) + std::string(2, '\0');
    printIm += std::string("\x07\x00", 2);
    for (int i = 0; i < 7; ++i) printIm += std::string("\x01\x00\x05\x00\x00\x00", 6);
    more.ifd0 = CanonIfd0Entries(v);
    more.ifd0.push_back(NoteValues::Undefined(0xC4A5, printIm));
    camera.afterNote = CanonExifEntries(v);
    more.interop = InteropEntries(v);
    const Bytes tiff = testing::ExifTiffWithNote(camera, [&](std::int64_t noteOffset) {
        // "OLYMP\0" 01 00, the directory at 8, offsets from the TIFF header.
        return testing::BuildNote(testing::Text(std::string("OLYMP\0\x01\0", 8)), 8, ByteOrder::Little, note,
                                  noteOffset);
    }, more);
    return testing::JpegWithExif(tiff);
}

inline Bytes Casio() {
    const NoteValues v(ByteOrder::Big);
    std::vector<NoteEntry> note = {v.Short(0x0002, {640, 480}), v.Long(0x0003, {8192}), v.Long(0x0004, {4096}),
                                   v.Short(0x0008, {1}), v.Short(0x0009, {5}), v.Short(0x000D, {0})};
    for (std::uint16_t tag = 0x0014; note.size() < 35; ++tag) {
        if (note.size() % 5 == 0)
            note.push_back(AsciiZ(tag, "CASIO", 8));
        else
            note.push_back(v.Short(tag, {static_cast<std::uint16_t>(tag & 3)}));
    }
    testing::Camera camera;
    testing::CameraDirectories more;
    camera.make = "CASIO COMPUTER CO.,LTD.";
    camera.model = "EX-Z750";
    camera.order = ByteOrder::Big;
    more.ifd0 = CanonIfd0Entries(v);
    camera.afterNote = CanonExifEntries(v);
    const Bytes tiff = testing::ExifTiffWithNote(camera, [&](std::int64_t noteOffset) {
        // "QVC\0\0\0", the directory at 6, offsets from the TIFF header.
        return testing::BuildNote(testing::Text(std::string("QVC\0\0\0", 6)), 6, ByteOrder::Big, note,
                                  noteOffset);
    }, more);
    return testing::JpegWithExif(tiff);
}

inline Bytes PhoneWithGps() {
    const NoteValues v(ByteOrder::Big);
    testing::Camera camera;
    testing::CameraDirectories more;
    camera.make = "Apple";
    camera.model = "iPhone 15";
    camera.order = ByteOrder::Big;
    more.ifd0 = {v.Short(0x0112, {6}), v.Rational(0x011A, {{72, 1}}), v.Rational(0x011B, {{72, 1}}),
                   v.Short(0x0128, {2}), AsciiZ(0x0131, "17.1", 6), AsciiZ(0x0132, "2026:12:07 10:00:00", 20),
                   AsciiZ(0x013C, "iPhone 15", 10)};
    camera.afterNote = {v.Rational(0x829A, {{1, 120}}), v.Rational(0x829D, {{16, 10}}), v.Short(0x8822, {2}),
                        v.Short(0x8827, {50}), AsciiZ(0x9003, "2026:12:07 10:00:00", 20),
                        AsciiZ(0x9004, "2026:12:07 10:00:00", 20), AsciiZ(0x9010, "+01:00", 7),
                        v.Rational(0x9201, {{6906, 1000}}), v.Rational(0x9202, {{1356, 1000}}),
                        v.Rational(0x9203, {{9012, 1000}}), v.Rational(0x9204, {{0, 1}}), v.Short(0x9207, {5}),
                        v.Short(0x9209, {16}), v.Rational(0x920A, {{6, 1}}), v.Short(0x9214, {2009, 1509, 2318, 1390}),
                        AsciiZ(0x9290, "123", 4), AsciiZ(0x9291, "123", 4), v.Short(0xA001, {65535}),
                        v.Long(0xA002, {4032}), v.Long(0xA003, {3024}), v.Short(0xA217, {2}),
                        NoteValues::Undefined(0xA301, "\x01"), v.Short(0xA402, {0}), v.Short(0xA403, {0}),
                        v.Short(0xA405, {26}), v.Short(0xA406, {0}), v.Rational(0xA432, {{6, 1}, {6, 1}, {16, 10}, {16, 10}}),
                        AsciiZ(0xA433, "Apple", 6), AsciiZ(0xA434, "iPhone 15 back camera 6mm f/1.6", 32)};
    more.gps = {AsciiZ(0x0001, "N", 2), v.Rational(0x0002, {{48, 1}, {8, 1}, {3012, 100}}),
                  AsciiZ(0x0003, "E", 2), v.Rational(0x0004, {{11, 1}, {34, 1}, {4521, 100}}),
                  v.Short(0x0005, {0}), v.Rational(0x0006, {{519123, 1000}}),
                  v.Rational(0x0007, {{9, 1}, {59, 1}, {58, 1}}), AsciiZ(0x000C, "K", 2),
                  v.Rational(0x000D, {{0, 1}}), AsciiZ(0x0010, "T", 2), v.Rational(0x0011, {{27512, 100}}),
                  AsciiZ(0x001D, "2026:12:07", 11)};
    // Phones of this kind write no maker note that the reader decodes: the entry stays empty.
    const Bytes tiff = testing::ExifTiffWithNote(camera, [](std::int64_t) { return Bytes{}; }, more);
    return testing::JpegWithExif(tiff);
}

inline Bytes Jfif() {
    const std::string app0("\xFF\xE0\x00\x10JFIF\x00\x01\x01\x01\x00\x48\x00\x48\x00\x00", 18);
    return samples::BaselineJpeg(8, 8, [](int, int) { return samples::Rgb{90, 120, 150}; },
                                 Bytes(app0.begin(), app0.end()));
}

inline Bytes XmpApp1() {
    const std::string xmp = std::string("http://ns.adobe.com/xap/1.0/\0", 29) +
                            "<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?><x:xmpmeta xmlns:x='adobe:ns:meta/'>"
                            "<rdf:RDF xmlns:rdf='http://www.w3.org/1999/02/22-rdf-syntax-ns#'><rdf:Description "
                            "xmlns:xmp='http://ns.adobe.com/xap/1.0/' xmp:CreatorTool='Veltrane'/></rdf:RDF>"
                            "</x:xmpmeta><?xpacket end='w'?>";
    const std::size_t length = xmp.size() + 2;
    std::string segment("\xFF\xE1", 2);
    segment += static_cast<char>(length >> 8);
    segment += static_cast<char>(length & 0xFF);
    segment += xmp;
    return samples::BaselineJpeg(8, 8, [](int, int) { return samples::Rgb{90, 120, 150}; },
                                 Bytes(segment.begin(), segment.end()));
}

inline std::vector<ShapeFile> CameraShapes() {
    return {{"canon_eos", Canon("Canon EOS 600D", 26, false)},
            {"canon_1d", Canon("Canon EOS-1D Mark IV", 36, true)},
            {"olympus", Olympus()},
            {"casio", Casio()},
            {"phone_gps", PhoneWithGps()},
            {"no_app1", Jfif()},
            {"xmp_app1", XmpApp1()}};
}

}  // namespace veltrane::bench
