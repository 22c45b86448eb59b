// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/samples/jpeg_writer.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace veltrane::samples {
namespace {

// The DC table of the JPEG standard's example luminance tables (categories 0..11).
constexpr std::array<std::uint8_t, 16> kDcBits = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
// A two-symbol AC table: end-of-block ("0") and one unused symbol ("10").
constexpr std::array<std::uint8_t, 16> kAcBits = {1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr std::array<std::uint8_t, 2> kAcValues = {0x00, 0x01};
// Every quantiser 8: a flat block's DC coefficient 8 * (v - 128) becomes v - 128.
constexpr std::uint8_t kQuant = 8;

struct Code {
    std::uint16_t bits;
    int length;
};

// Canonical Huffman codes of the DC categories 0..11.
std::array<Code, 12> DcCodes() {
    std::array<Code, 12> codes{};
    std::uint16_t code = 0;
    int symbol = 0;
    for (int length = 1; length <= 16; ++length) {
        for (int k = 0; k < kDcBits[length - 1]; ++k) codes[symbol++] = {code++, length};
        code = static_cast<std::uint16_t>(code << 1);
    }
    return codes;
}

class BitWriter {
public:
    explicit BitWriter(Bytes& out) : out_(out) {}
    void Put(std::uint32_t bits, int length) {
        for (int i = length - 1; i >= 0; --i) {
            acc_ = static_cast<std::uint8_t>((acc_ << 1) | ((bits >> i) & 1));
            if (++count_ == 8) Flush();
        }
    }
    void Finish() {
        while (count_ != 0) Put(1, 1);  // pad with one bits
    }

private:
    void Flush() {
        out_.push_back(acc_);
        if (acc_ == 0xFF) out_.push_back(0x00);  // byte stuffing
        acc_ = 0;
        count_ = 0;
    }
    Bytes& out_;
    std::uint8_t acc_ = 0;
    int count_ = 0;
};

void Segment(Bytes& out, std::uint8_t marker, const Bytes& payload) {
    const std::size_t length = payload.size() + 2;
    for (std::uint8_t b : {std::uint8_t(0xFF), marker, std::uint8_t(length >> 8), std::uint8_t(length)})
        out.push_back(b);
    for (std::uint8_t b : payload) out.push_back(b);
}

int Clamp255(double v) { return std::clamp(static_cast<int>(std::lround(v)), 0, 255); }

}  // namespace

Bytes BaselineJpeg(int width, int height, const BlockPainter& paint, const Bytes& segmentsAfterSoi) {
    if (width <= 0 || height <= 0 || width % 8 || height % 8 || width > 0xFFFF || height > 0xFFFF)
        throw std::invalid_argument("image size must be a positive multiple of 8");
    Bytes out;
    out.push_back(0xFF);
    out.push_back(0xD8);
    for (std::uint8_t b : segmentsAfterSoi) out.push_back(b);

    Bytes dqt(65, kQuant);
    dqt[0] = 0x00;
    Segment(out, 0xDB, dqt);

    Segment(out, 0xC0, {8, std::uint8_t(height >> 8), std::uint8_t(height), std::uint8_t(width >> 8),
                        std::uint8_t(width), 3, 1, 0x11, 0, 2, 0x11, 0, 3, 0x11, 0});

    Bytes dht;
    dht.push_back(0x00);  // DC table 0
    for (std::uint8_t b : kDcBits) dht.push_back(b);
    for (std::uint8_t v = 0; v < 12; ++v) dht.push_back(v);
    dht.push_back(0x10);  // AC table 0
    for (std::uint8_t b : kAcBits) dht.push_back(b);
    for (std::uint8_t b : kAcValues) dht.push_back(b);
    Segment(out, 0xC4, dht);

    Segment(out, 0xDA, {3, 1, 0x00, 2, 0x00, 3, 0x00, 0, 63, 0});

    const auto dcCodes = DcCodes();
    BitWriter bits(out);
    std::array<int, 3> previous = {0, 0, 0};
    for (int by = 0; by < height / 8; ++by) {
        for (int bx = 0; bx < width / 8; ++bx) {
            const Rgb c = paint(bx, by);
            const double y = 0.299 * c.r + 0.587 * c.g + 0.114 * c.b;
            const std::array<int, 3> ycc = {
                Clamp255(y), Clamp255(128 + (c.b - y) * 0.564), Clamp255(128 + (c.r - y) * 0.713)};
            for (int k = 0; k < 3; ++k) {
                const int dc = ycc[k] - 128;
                const int diff = dc - previous[k];
                previous[k] = dc;
                int category = 0;
                for (int m = diff < 0 ? -diff : diff; m > 0; m >>= 1) ++category;
                bits.Put(dcCodes[category].bits, dcCodes[category].length);
                if (category > 0) {
                    const int value = diff < 0 ? diff + (1 << category) - 1 : diff;
                    bits.Put(static_cast<std::uint32_t>(value), category);
                }
                bits.Put(0, 1);  // end of block: every AC coefficient is zero
            }
        }
    }
    bits.Finish();
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

Bytes SampleExifTiff(const SampleExif& exif, ByteOrder order) {
    TiffBuilder t(order);
    const int ifd0 = t.AddIfd();
    const int sub = t.AddIfd();
    t.Ascii(ifd0, 0x010F, exif.make);
    t.Ascii(ifd0, 0x0110, exif.model);
    t.Short(ifd0, 0x0112, {exif.orientation});
    t.Rational(ifd0, 0x011A, {{72, 1}});
    t.Rational(ifd0, 0x011B, {{72, 1}});
    t.Short(ifd0, 0x0128, {2});
    t.Ascii(ifd0, 0x0132, exif.dateTime);
    t.Link(ifd0, 0x8769, sub);
    t.Rational(sub, 0x829A, {exif.exposureTime});
    t.Rational(sub, 0x829D, {exif.fNumber});
    t.Short(sub, 0x8822, {2});
    t.Short(sub, 0x8827, {exif.iso});
    t.Undefined(sub, 0x9000, {'0', '2', '2', '0'});
    t.Ascii(sub, 0x9003, exif.dateTime);
    t.Short(sub, 0x9207, {5});
    t.Short(sub, 0x9209, {exif.flash});
    t.Rational(sub, 0x920A, {exif.focalLength});
    t.Long(sub, 0xA002, {exif.width});
    t.Long(sub, 0xA003, {exif.height});
    t.Short(sub, 0xA402, {0});
    return t.Build();
}

BlockPainter StereoPainter(int eye, const SampleExif& exif) {
    // Sky, grass and a red square, in proportion to the image: 8 x 6 blocks for 64 x 48 pixels.
    const int cols = static_cast<int>(exif.width / 8), rows = static_cast<int>(exif.height / 8);
    const int shift = eye == 0 ? cols / 8 : 0;
    return [cols, rows, shift](int bx, int by) -> Rgb {
        if (by >= rows * 4 / 6) return {60, 140, 60};                         // grass
        if (bx >= cols * 2 / 8 + shift && bx <= cols * 4 / 8 - 1 + shift && by >= rows / 6 &&
            by <= rows * 3 / 6 - 1)
            return {200, 30, 30};                                             // the square
        return {110, 160, 230};                                               // sky
    };
}

Bytes SampleStereoImage(int eye, const SampleExif& exif, ByteOrder order) {
    return BaselineJpeg(static_cast<int>(exif.width), static_cast<int>(exif.height),
                        StereoPainter(eye, exif), ExifApp1Segment(SampleExifTiff(exif, order)));
}

Bytes JoinImages(const std::vector<Bytes>& images) {
    Bytes out;
    for (const Bytes& image : images) out.insert(out.end(), image.begin(), image.end());
    return out;
}

Bytes SampleMpo() {
    SampleExif exif;
    exif.width = 320;
    exif.height = 240;
    return JoinImages({SampleStereoImage(0, exif, ByteOrder::Little),
                       SampleStereoImage(1, exif, ByteOrder::Big)});
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
    // The path is UTF-8; through a char8_t path the stream opens it by its wide name on Windows.
    std::ofstream f(std::filesystem::path(std::u8string(path.begin(), path.end())),
                    std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(f);
}

}  // namespace veltrane::samples
