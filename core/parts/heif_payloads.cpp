// SPDX-License-Identifier: GPL-3.0-or-later
// The MP4 of an 'mpvd' box (heif_payloads.h), read bounded by its box.
#include "core/parts/heif_payloads.h"

#include <algorithm>
#include <array>

namespace veltrane::parts::heif_payloads {

namespace {

constexpr heif_boxes::FourCc kFtyp = heif_boxes::MakeFourCc("ftyp");
// No phone writes more than a few dozen top-level boxes into a video.
constexpr int kMaxMovieBoxes = 1 << 16;

std::uint64_t BigEndian(const std::uint8_t* p, unsigned size) {
    std::uint64_t v = 0;
    for (unsigned i = 0; i < size; ++i) v = (v << 8) | p[i];
    return v;
}

bool PrintableType(const std::uint8_t* p) {
    return std::all_of(p, p + 4, [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; });
}

}  // namespace

MovieExtent WalkMovieBoxes(ByteSource& source, std::uint64_t begin, std::uint64_t end) {
    MovieExtent movie{begin, 0};
    end = std::min(end, static_cast<std::uint64_t>(source.Size()));
    std::uint64_t pos = begin;
    for (int n = 0; n < kMaxMovieBoxes && pos < end && end - pos >= 8; ++n) {
        //   u32 size (0: to the end, 1: a u64 follows), type, [u64 size]
        std::array<std::uint8_t, 16> head{};
        const auto headSize = static_cast<std::size_t>(std::min<std::uint64_t>(head.size(), end - pos));
        const auto view = source.View(static_cast<std::int64_t>(pos), headSize);
        if (view.size() < headSize) break;
        std::copy(view.begin(), view.end(), head.begin());
        std::uint64_t size = BigEndian(head.data(), 4);
        std::uint64_t headerSize = 8;
        if (size == 1) {
            if (headSize < 16) break;
            size = BigEndian(head.data() + 8, 8);
            headerSize = 16;
        } else if (size == 0) {
            size = end - pos;
        }
        if (!PrintableType(head.data() + 4) || size < headerSize || size > end - pos) break;
        const auto type = static_cast<heif_boxes::FourCc>(BigEndian(head.data() + 4, 4));
        if (n == 0) {
            if (type != kFtyp || size < headerSize + 4) break;
            const auto brand = source.View(static_cast<std::int64_t>(pos + headerSize), 4);
            if (brand.size() < 4) break;
            movie.brand = static_cast<heif_boxes::FourCc>(BigEndian(brand.data(), 4));
        }
        pos += size;
        movie.end = pos;
    }
    return movie;
}

}  // namespace veltrane::parts::heif_payloads
