// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/samples/tiff_builder.h"

#include <stdexcept>

namespace veltrane::samples {

TiffBuilder::TiffBuilder(ByteOrder order) : order_(order) {}

int TiffBuilder::AddIfd() {
    ifds_.emplace_back();
    return static_cast<int>(ifds_.size()) - 1;
}

Bytes TiffBuilder::U16(std::uint16_t v) const {
    if (order_ == ByteOrder::Little) return {std::uint8_t(v), std::uint8_t(v >> 8)};
    return {std::uint8_t(v >> 8), std::uint8_t(v)};
}

Bytes TiffBuilder::U32(std::uint32_t v) const {
    if (order_ == ByteOrder::Little)
        return {std::uint8_t(v), std::uint8_t(v >> 8), std::uint8_t(v >> 16), std::uint8_t(v >> 24)};
    return {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
}

void TiffBuilder::Raw(int ifd, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                      const Bytes& value) {
    ifds_.at(static_cast<std::size_t>(ifd)).push_back({tag, type, count, value, -1});
}

void TiffBuilder::Ascii(int ifd, std::uint16_t tag, std::string_view text) {
    Bytes v(text.begin(), text.end());
    v.push_back(0);
    Raw(ifd, tag, kAscii, static_cast<std::uint32_t>(v.size()), v);
}

void TiffBuilder::Byte(int ifd, std::uint16_t tag, std::initializer_list<std::uint8_t> values) {
    Raw(ifd, tag, kByte, static_cast<std::uint32_t>(values.size()), Bytes(values));
}

void TiffBuilder::Short(int ifd, std::uint16_t tag, std::initializer_list<std::uint16_t> values) {
    Bytes v;
    for (auto x : values) {
        auto b = U16(x);
        v.insert(v.end(), b.begin(), b.end());
    }
    Raw(ifd, tag, kShort, static_cast<std::uint32_t>(values.size()), v);
}

void TiffBuilder::Long(int ifd, std::uint16_t tag, std::initializer_list<std::uint32_t> values) {
    Bytes v;
    for (auto x : values) {
        auto b = U32(x);
        v.insert(v.end(), b.begin(), b.end());
    }
    Raw(ifd, tag, kLong, static_cast<std::uint32_t>(values.size()), v);
}

void TiffBuilder::Rational(int ifd, std::uint16_t tag,
                           std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> values) {
    Bytes v;
    for (auto [n, d] : values) {
        auto a = U32(n), b = U32(d);
        v.insert(v.end(), a.begin(), a.end());
        v.insert(v.end(), b.begin(), b.end());
    }
    Raw(ifd, tag, kRational, static_cast<std::uint32_t>(values.size()), v);
}

void TiffBuilder::SRational(int ifd, std::uint16_t tag,
                            std::initializer_list<std::pair<std::int32_t, std::int32_t>> values) {
    Bytes v;
    for (auto [n, d] : values) {
        auto a = U32(static_cast<std::uint32_t>(n)), b = U32(static_cast<std::uint32_t>(d));
        v.insert(v.end(), a.begin(), a.end());
        v.insert(v.end(), b.begin(), b.end());
    }
    Raw(ifd, tag, kSRational, static_cast<std::uint32_t>(values.size()), v);
}

void TiffBuilder::Undefined(int ifd, std::uint16_t tag, const Bytes& bytes) {
    Raw(ifd, tag, kUndefined, static_cast<std::uint32_t>(bytes.size()), bytes);
}

void TiffBuilder::Link(int ifd, std::uint16_t tag, int target) {
    ifds_.at(static_cast<std::size_t>(ifd)).push_back({tag, kLong, 1, U32(0), target});
}

Bytes TiffBuilder::Build() const {
    // Layout: header, every directory, then the out-of-entry values.
    std::vector<std::uint32_t> ifdOffset(ifds_.size());
    std::uint32_t pos = 8;
    for (std::size_t i = 0; i < ifds_.size(); ++i) {
        ifdOffset[i] = pos;
        pos += 2 + 12 * static_cast<std::uint32_t>(ifds_[i].size()) + 4;
    }
    Bytes out = order_ == ByteOrder::Little ? Bytes{'I', 'I', 42, 0} : Bytes{'M', 'M', 0, 42};
    auto append = [&out](const Bytes& b) { out.insert(out.end(), b.begin(), b.end()); };
    append(U32(8));
    Bytes data;
    for (std::size_t i = 0; i < ifds_.size(); ++i) {
        append(U16(static_cast<std::uint16_t>(ifds_[i].size())));
        for (const Entry& e : ifds_[i]) {
            append(U16(e.tag));
            append(U16(e.type));
            append(U32(e.count));
            if (e.link >= 0) {
                append(U32(ifdOffset.at(static_cast<std::size_t>(e.link))));
            } else if (e.value.size() <= 4) {
                Bytes v = e.value;
                v.resize(4, 0);
                append(v);
            } else {
                append(U32(pos + static_cast<std::uint32_t>(data.size())));
                data.insert(data.end(), e.value.begin(), e.value.end());
                if (data.size() % 2) data.push_back(0);  // values start on word boundaries
            }
        }
        append(U32(0));
    }
    append(data);
    return out;
}

Bytes ExifApp1Segment(const Bytes& tiff) {
    const std::size_t length = 2 + 6 + tiff.size();
    if (length > 0xFFFF) throw std::length_error("EXIF data too large for one APP1 segment");
    Bytes out;
    out.reserve(length + 2);
    for (std::uint8_t b : {std::uint8_t(0xFF), std::uint8_t(0xE1), std::uint8_t(length >> 8),
                           std::uint8_t(length), std::uint8_t('E'), std::uint8_t('x'),
                           std::uint8_t('i'), std::uint8_t('f'), std::uint8_t(0), std::uint8_t(0)})
        out.push_back(b);
    for (std::uint8_t b : tiff) out.push_back(b);
    return out;
}

}  // namespace veltrane::samples
