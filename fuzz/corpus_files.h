// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The seed corpus of the reader's fuzz targets: valid files from the sample writer and one
// hand-made malformed file per fault class, each with a sentence saying what it breaks.
//
// veltrane-fuzz-corpus (fuzz/corpus_writer.cpp) writes these files into fuzz/corpus/<target>/
// and their sentences into fuzz/corpus/README.md; the reader's tests read every one of them.
// The maker-note and IPTC seeds (makernote_*, iptc_fuzz/) come from make_makernote_seeds.py.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "tools/samples/jpeg_writer.h"
#include "tools/samples/tiff_builder.h"

namespace veltrane::fuzzcorpus {

using samples::ByteOrder;
using samples::Bytes;
using samples::TiffBuilder;

struct CorpusFile {
    std::string Target;  // "jpeg_fuzz" or "tiff_fuzz"
    std::string Name;    // file name inside fuzz/corpus/<target>/
    std::string What;    // the sentence saying what the file breaks
    Bytes Content;
};

namespace detail {

inline void Append(Bytes& out, const Bytes& more) {
    for (std::uint8_t b : more) out.push_back(b);
}

inline Bytes Text(std::string_view s) { return Bytes(s.begin(), s.end()); }

// FF D8, the given bytes, a start of scan and FF D9.
inline Bytes Jpeg(const Bytes& sections) {
    Bytes out = {0xFF, 0xD8};
    Append(out, sections);
    Append(out, {0xFF, 0xDA, 0x00, 0x02, 0x00, 0x3F, 0xFF, 0xD9});
    return out;
}

// A whole JPEG file around EXIF data.
inline Bytes JpegWithTiff(const Bytes& tiff) { return Jpeg(samples::ExifApp1Segment(tiff)); }

// A TIFF whose first directory holds the given raw entry after a Make tag.
inline Bytes TiffWithEntry(std::uint16_t tag, std::uint16_t type, std::uint32_t count, std::uint32_t value,
                           ByteOrder order = ByteOrder::Little) {
    TiffBuilder t(order);
    const int ifd0 = t.AddIfd();
    t.Ascii(ifd0, 0x010F, "Fuzz");
    t.Raw(ifd0, tag, type, count, t.U32(value));
    t.Ascii(ifd0, 0x0131, "after");
    return t.Build();
}

// Overwrites the 16-bit word at offset of a little-endian TIFF.
inline Bytes WithWord(Bytes tiff, std::size_t offset, std::uint16_t value) {
    tiff.at(offset) = static_cast<std::uint8_t>(value);
    tiff.at(offset + 1) = static_cast<std::uint8_t>(value >> 8);
    return tiff;
}

inline Bytes WithLong(Bytes tiff, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) tiff.at(offset + static_cast<std::size_t>(i)) = static_cast<std::uint8_t>(value >> (8 * i));
    return tiff;
}

// A rich valid file: every kind of directory, a user comment, wide text, GPS formatters.
inline Bytes RichTiff(ByteOrder order) {
    TiffBuilder t(order);
    const int ifd0 = t.AddIfd(), exif = t.AddIfd(), gps = t.AddIfd(), interop = t.AddIfd(), sub = t.AddIfd();
    t.Short(ifd0, 0x0100, {640});
    t.Short(ifd0, 0x0101, {480});
    t.Short(ifd0, 0x0102, {8, 8, 8});
    t.Ascii(ifd0, 0x010E, "A rich sample file for the fuzzers of the EXIF reader of Veltrane");
    t.Ascii(ifd0, 0x010F, "Veltrane");
    t.Ascii(ifd0, 0x0110, "Fuzz Seed");
    t.Link(ifd0, 0x014A, sub);
    t.Link(ifd0, 0x8769, exif);
    t.Link(ifd0, 0x8825, gps);
    t.Byte(ifd0, 0x9C9B, {'T', 0, 'i', 0, 't', 0, 0, 0});
    t.Rational(exif, 0x829A, {{1, 125}});
    t.SRational(exif, 0x9201, {{6965784, 1000000}});
    t.Undefined(exif, 0x9101, {1, 2, 3, 0});
    t.Short(exif, 0x9209, {89});
    t.Rational(exif, 0x920A, {{50, 1}});
    Bytes comment = Text(std::string_view("ASCII\0\0\0Seed comment.", 21));
    t.Undefined(exif, 0x9286, comment);
    t.Link(exif, 0xA005, interop);
    t.Rational(exif, 0xA20E, {{3000, 1}});
    t.Rational(exif, 0xA20F, {{3000, 1}});
    t.Short(exif, 0xA210, {2});
    t.Byte(gps, 0x0000, {2, 2, 0, 0});
    t.Rational(gps, 0x0002, {{50, 1}, {3, 1}, {1234, 100}});
    t.Rational(gps, 0x0007, {{9, 1}, {30, 1}, {4550, 100}});
    t.Ascii(interop, 0x0001, "R98");
    t.Short(sub, 0x0103, {6});
    return t.Build();
}

// A maker note of the given make: a small IFD-shaped note, so that the maker decoder walks it.
inline Bytes MakerNoteTiff(std::string_view make, const Bytes& note) {
    TiffBuilder t;
    const int ifd0 = t.AddIfd(), exif = t.AddIfd();
    t.Ascii(ifd0, 0x010F, make);
    t.Ascii(ifd0, 0x0110, "D70");
    t.Link(ifd0, 0x8769, exif);
    t.Undefined(exif, 0x9000, Text("0220"));
    t.Undefined(exif, 0x927C, note);
    return t.Build();
}

inline Bytes SmallNote(std::string_view prefix) {
    Bytes note = Text(prefix);
    // entry count 2, then two entries (tag 1 SHORT 1; tag 4 SHORT 4 at an offset), then data
    Append(note, {2, 0, 1, 0, 3, 0, 1, 0, 0, 0, 7, 0, 0, 0, 4, 0, 3, 0, 4, 0, 0, 0, 40, 0, 0, 0});
    Append(note, {0, 0, 0, 0, 1, 0, 2, 0, 3, 0, 4, 0});
    return note;
}

}  // namespace detail

// Every corpus file, in a fixed order.
inline std::vector<CorpusFile> CorpusFiles() {
    using namespace detail;
    std::vector<CorpusFile> files;
    auto jpeg = [&files](std::string name, std::string what, Bytes content) {
        files.push_back({"jpeg_fuzz", std::move(name), std::move(what), std::move(content)});
    };
    auto tiffFile = [&files](std::string name, std::string what, Bytes content) {
        files.push_back({"tiff_fuzz", std::move(name), std::move(what), std::move(content)});
    };

    // ---- valid files ----
    jpeg("valid_sample_little.jpg", "A valid image of the sample camera, EXIF little-endian.",
         samples::SampleStereoImage(0, {}, ByteOrder::Little));
    jpeg("valid_sample_big.jpg", "A valid image of the sample camera, EXIF big-endian.",
         samples::SampleStereoImage(1, {}, ByteOrder::Big));
    jpeg("valid_rich.jpg",
         "Valid EXIF with SubIFDs, EXIF, GPS and interoperability directories, formatters and a user comment.",
         JpegWithTiff(RichTiff(ByteOrder::Little)));
    {
        Bytes sections = samples::ExifApp1Segment(RichTiff(ByteOrder::Big));
        Append(sections, {0xFF, 0xED, 0x00, 0x10});
        Append(sections, Text("Photoshop 3.0\0\0"));
        Append(sections, {0xFF, 0xFE, 0x00, 0x06, 'n', 'o', 't', 'e'});
        jpeg("valid_rich_iptc_comment.jpg", "Valid big-endian EXIF followed by an APP13 and a comment section.",
             Jpeg(sections));
    }
    for (const char* make : {"NIKON", "OLYMPUS", "CASIO", "FUJIFILM", "Canon", "SEIKO", "SANYO", "MINOLTA"}) {
        std::string prefix;
        if (std::string_view(make) == "FUJIFILM") prefix = std::string("FUJIFILM\x0C\0\0\0", 12);
        if (std::string_view(make) == "OLYMPUS") prefix = std::string("OLYMP\0\x01\0", 8);
        jpeg(std::string("maker_note_") + make + ".jpg",
             std::string("A small directory-shaped maker note of the make ") + make + ", for the maker-note walk.",
             JpegWithTiff(MakerNoteTiff(make, SmallNote(prefix))));
    }

    // ---- JPEG structure ----
    {
        Bytes whole = samples::SampleStereoImage(0);
        whole.resize(60);
        jpeg("truncated_app1.jpg", "The file ends inside the APP1 section: the section keeps its declared length.",
             whole);
    }
    jpeg("length_0.jpg", "A section length of 0, which cannot even cover its own two length bytes.",
         {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x00, 0xFF, 0xD9});
    jpeg("length_1.jpg", "A section length of 1, one byte short of its own length field.",
         {0xFF, 0xD8, 0xFF, 0xFE, 0x00, 0x01, 0xFF, 0xD9});
    jpeg("length_ffff.jpg", "A section declaring 65535 bytes in a file of a few bytes.",
         {0xFF, 0xD8, 0xFF, 0xE1, 0xFF, 0xFF, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I'});
    jpeg("fill_bytes_to_end.jpg", "FF fill bytes that run to the end of the file without a marker.",
         {0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
    {
        Bytes sections = samples::ExifApp1Segment(RichTiff(ByteOrder::Little));
        for (int i = 0; i < 40; ++i) Append(sections, {0xFF, 0xE1, 0x00, 0x02});
        jpeg("many_refused_app1.jpg", "Forty further APP1 sections, each refused and its slot reused.", Jpeg(sections));
    }
    jpeg("bad_byte_order_mark.jpg", "An EXIF header whose byte-order mark is neither II nor MM.",
         Jpeg({0xFF, 0xE1, 0x00, 0x10, 'E', 'x', 'i', 'f', 0, 0, 'I', 'M', 0x2A, 0, 8, 0, 0, 0}));
    jpeg("bad_exif_magic.jpg", "An APP1 whose payload is not an EXIF header.",
         Jpeg({0xFF, 0xE1, 0x00, 0x08, 'E', 'x', 'i', 'g', 0, 0}));
    jpeg("short_tiff_header.jpg", "An EXIF header that ends before the offset of the first directory.",
         Jpeg({0xFF, 0xE1, 0x00, 0x0C, 'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 0x2A}));

    // ---- directories ----
    const Bytes sample = samples::SampleExifTiff({}, ByteOrder::Little);
    jpeg("ifd_offset_out_of_range.jpg", "The first directory's offset points far past the section.",
         JpegWithTiff(WithLong(sample, 4, 0xFFFFFF00)));
    {
        // The sample's first directory has 8 entries; entry 7 is ExifOffset, its value at byte
        // 8 + 2 + 7*12 + 8.
        jpeg("ifd_points_to_itself.jpg", "The ExifOffset of the first directory points back at that directory.",
             JpegWithTiff(WithLong(sample, 8 + 2 + 7 * 12 + 8, 8)));
    }
    {
        TiffBuilder t;
        const int ifd0 = t.AddIfd(), a = t.AddIfd(), b = t.AddIfd();
        t.Link(ifd0, 0x8769, a);
        t.Link(a, 0x8825, b);
        t.Link(b, 0x8769, a);
        t.Link(b, 0xA005, ifd0);
        jpeg("ifds_point_to_each_other.jpg", "Two sub-directories that point at each other and back at the first.",
             JpegWithTiff(t.Build()));
    }
    {
        TiffBuilder t;
        std::vector<int> ifds;
        for (int i = 0; i < 40; ++i) ifds.push_back(t.AddIfd());
        for (std::size_t i = 0; i + 1 < ifds.size(); ++i) t.Link(ifds[i], 0x8769, ifds[i + 1]);
        jpeg("deep_nesting.jpg", "A chain of forty nested sub-directories.", JpegWithTiff(t.Build()));
    }
    jpeg("entry_count_too_large.jpg", "A first directory claiming 65535 entries in a section of a few hundred bytes.",
         JpegWithTiff(WithWord(sample, 8, 0xFFFF)));
    jpeg("count_larger_than_data.jpg", "An entry of 100000 LONG items where the section holds a few hundred bytes.",
         JpegWithTiff(TiffWithEntry(0x0111, 4, 100000, 8)));
    jpeg("count_bytes_overflow_32bit.jpg", "A RATIONAL entry of 0x20000001 items, whose byte size overflows 32 bits.",
         JpegWithTiff(TiffWithEntry(0x829A, 5, 0x20000001, 8)));
    jpeg("value_offset_wraps.jpg", "A value offset of 0xFFFFFFFF, which wraps when the base is added in 32 bits.",
         JpegWithTiff(TiffWithEntry(0x010E, 2, 20, 0xFFFFFFFF)));
    jpeg("sub_ifd_offset_wraps.jpg", "A GPSInfo offset of 0xFFFFFFF8 that wraps to a small position in 32 bits.",
         JpegWithTiff(TiffWithEntry(0x8825, 4, 1, 0xFFFFFFF8)));
    jpeg("unknown_types.jpg", "Entries of field types 0, 13 and 0xFFFF, which have no size.",
         JpegWithTiff([] {
             TiffBuilder t;
             const int ifd0 = t.AddIfd();
             t.Raw(ifd0, 0x010F, 0, 4, t.U32(1));
             t.Raw(ifd0, 0x0110, 13, 4, t.U32(1));
             t.Raw(ifd0, 0x0131, 0xFFFF, 0xFFFFFFFF, t.U32(1));
             return t.Build();
         }()));
    jpeg("float_values.jpg", "FLOAT and DOUBLE values in fields that are shown as numbers.",
         JpegWithTiff([] {
             TiffBuilder t;
             const int ifd0 = t.AddIfd();
             t.Raw(ifd0, 0x0100, 11, 1, t.U32(0x7F800000));  // infinity as the width
             t.Raw(ifd0, 0x011A, 12, 1, t.U32(8));
             return t.Build();
         }()));
    jpeg("flash_two_items.jpg", "A Flash value of two items, which its formatter cannot convert.",
         JpegWithTiff(TiffWithEntry(0x9209, 3, 2, 0x00000001)));
    {
        // Every 12 bytes from the directory on read as an entry whose value points a few bytes
        // further: a web of overlapping directories.
        Bytes tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
        Append(tiff, {0x40, 0x00});
        for (int i = 0; i < 64; ++i) {
            Append(tiff, {0x69, 0x87, 0x04, 0x00, 0x01, 0x00, 0x00, 0x00});
            const std::uint32_t target = 10u + static_cast<std::uint32_t>(i) * 2u;
            Append(tiff, {static_cast<std::uint8_t>(target), 0, 0, 0});
        }
        jpeg("overlapping_directories.jpg", "Sub-directory pointers into the middle of other directories' entries.",
             JpegWithTiff(tiff));
    }
    jpeg("maker_note_truncated.jpg", "A Nikon maker note whose entry count promises more than the note holds.",
         JpegWithTiff(MakerNoteTiff("NIKON", {'N', 'i', 'k', 'o', 'n', 0, 1, 0, 0xFF, 0x7F})));

    // ---- TIFF files ----
    tiffFile("valid_little.tif", "A valid little-endian TIFF with every kind of directory.", RichTiff(ByteOrder::Little));
    tiffFile("valid_big.tif", "A valid big-endian TIFF with every kind of directory.", RichTiff(ByteOrder::Big));
    tiffFile("bad_byte_order_mark.tif", "A TIFF file that starts with neither II nor MM.", {'I', 'M', 42, 0, 8, 0, 0, 0});
    tiffFile("header_only.tif", "Only the two bytes of the byte-order mark.", {'M', 'M'});
    tiffFile("first_ifd_elsewhere.tif", "A header pointing at a directory other than the one at offset 8.",
         WithLong(RichTiff(ByteOrder::Little), 4, 200));
    tiffFile("sub_ifd_before_buffer.tif", "An ExifOffset of 2, which lies before the buffer that starts at offset 8.",
         TiffWithEntry(0x8769, 4, 1, 2));
    tiffFile("entry_count_too_large.tif", "A first directory claiming 65535 entries.",
         WithWord(RichTiff(ByteOrder::Little), 8, 0xFFFF));
    tiffFile("count_bytes_overflow_32bit.tif", "An entry whose item count times size overflows 32 bits.",
         TiffWithEntry(0x0111, 12, 0xFFFFFFFF, 0x10));
    tiffFile("value_offset_wraps.tif", "A value offset of 0xFFFFFFFF.", TiffWithEntry(0x010E, 2, 64, 0xFFFFFFFF));
    tiffFile("ifd_points_to_itself.tif", "An ExifOffset that points back at the first directory.",
         TiffWithEntry(0x8769, 4, 1, 8));
    return files;
}

}  // namespace veltrane::fuzzcorpus
