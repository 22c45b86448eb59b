// SPDX-License-Identifier: GPL-3.0-or-later
// make_big_mpo [--indexed] OUT IMAGES MIN_BYTES MAX_BYTES: an MPO-like file of IMAGES images whose
// sizes lie between MIN_BYTES and MAX_BYTES; each starts FF D8 FF E1 and holds random bytes with
// an FF 00 pair about every 250 bytes, like entropy-coded JPEG data.
//
// With --indexed every image starts FF D8 FF E0 (a JFIF APP0 segment) instead, so the signature
// scan finds none of them, and the first image carries an MPF index (little-endian) of all.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace {

void Put16(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v) {  // little-endian
    b[at] = static_cast<unsigned char>(v);
    b[at + 1] = static_cast<unsigned char>(v >> 8);
}

void Put32(std::vector<unsigned char>& b, std::size_t at, std::uint32_t v) {
    Put16(b, at, v & 0xFFFF);
    Put16(b, at + 2, v >> 16);
}

// FF D8, then APP0: length 16, "JFIF\0", version 1.01, no density unit, 1:1, no thumbnail.
const unsigned char kJfif[20] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J',  'F',  'I',  'F',
                                 0x00, 0x01, 0x01, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00};

// FF E2, length, "MPF\0", then "II*\0", IFD at 8: NumberOfImages and MPEntry, then the entries.
std::vector<unsigned char> MpfSegment(const std::vector<std::size_t>& sizes, std::size_t segmentAt) {
    const std::size_t n = sizes.size();
    const std::size_t tiffSize = 8 + 2 + 2 * 12 + 4 + 16 * n;
    std::vector<unsigned char> s(8 + tiffSize, 0);
    s[0] = 0xFF;
    s[1] = 0xE2;
    s[2] = static_cast<unsigned char>((tiffSize + 6) >> 8);
    s[3] = static_cast<unsigned char>(tiffSize + 6);
    std::memcpy(&s[4], "MPF\0II*\0", 8);
    const std::size_t t = 8;  // the TIFF header's place in s
    Put32(s, t + 4, 8);
    Put16(s, t + 8, 2);
    Put16(s, t + 10, 0xB001);
    Put16(s, t + 12, 4);
    Put32(s, t + 14, 1);
    Put32(s, t + 18, static_cast<std::uint32_t>(n));
    Put16(s, t + 22, 0xB002);
    Put16(s, t + 24, 7);
    Put32(s, t + 26, static_cast<std::uint32_t>(16 * n));
    Put32(s, t + 30, 8 + 2 + 2 * 12 + 4);
    const std::size_t base = segmentAt + t;
    std::size_t start = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t e = t + 8 + 2 + 2 * 12 + 4 + 16 * i;
        Put32(s, e, i == 0 ? 0x20030000u : 0x00020002u);
        Put32(s, e + 4, static_cast<std::uint32_t>(sizes[i]));
        Put32(s, e + 8, i == 0 ? 0u : static_cast<std::uint32_t>(start - base));
        start += sizes[i];
    }
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    const bool indexed = argc > 1 && std::strcmp(argv[1], "--indexed") == 0;
    if (indexed) {
        --argc;
        ++argv;
    }
    if (argc != 5) {
        std::fprintf(stderr, "usage: make_big_mpo [--indexed] OUT IMAGES MIN_BYTES MAX_BYTES\n");
        return 2;
    }
    const long images = std::atol(argv[2]);
    const long long lo = std::atoll(argv[3]), hi = std::atoll(argv[4]);
    if (images < 1 || lo < 16 || hi < lo) return 2;
    std::mt19937_64 rng(42);
    std::vector<std::size_t> sizes;
    for (long i = 0; i < images; ++i)
        sizes.push_back(static_cast<std::size_t>(lo + static_cast<long long>(rng() % static_cast<unsigned long long>(hi - lo + 1))));
    std::vector<unsigned char> header;
    if (indexed) {
        const std::vector<unsigned char> mpf = MpfSegment(sizes, sizeof kJfif);
        if (sizes[0] < sizeof kJfif + mpf.size() + 2) return 2;
        header.assign(kJfif, kJfif + sizeof kJfif);
        header.insert(header.end(), mpf.begin(), mpf.end());
    }
    std::FILE* f = std::fopen(argv[1], "wb");
    if (!f) return 1;
    std::vector<unsigned char> buf;
    for (long i = 0; i < images; ++i) {
        const std::size_t size = sizes[static_cast<std::size_t>(i)];
        buf.resize(size);
        for (std::size_t k = 0; k < size; ++k) {
            auto v = static_cast<unsigned char>(rng() >> 56);
            buf[k] = v == 0xFF ? 0xFE : v;
        }
        for (std::size_t k = 4; k + 1 < size; k += 200 + rng() % 100) {
            buf[k] = 0xFF;
            buf[k + 1] = 0x00;
        }
        if (indexed) {
            std::memcpy(buf.data(), kJfif, sizeof kJfif);
            if (i == 0) std::memcpy(buf.data(), header.data(), header.size());
        } else {
            buf[0] = 0xFF; buf[1] = 0xD8; buf[2] = 0xFF; buf[3] = 0xE1;
        }
        buf[size - 2] = 0xFF; buf[size - 1] = 0xD9;
        if (std::fwrite(buf.data(), 1, size, f) != size) return 1;
    }
    return std::fclose(f) == 0 ? 0 : 1;
}
