// SPDX-License-Identifier: GPL-3.0-or-later
// The MP4 of an 'mpvd' box and a Samsung trailer (heif_payloads.h), read bounded by their box.
#include "core/parts/heif_payloads.h"

#include <algorithm>
#include <array>

#include "core/common/file_io.h"

namespace veltrane::parts::heif_payloads {

namespace {

constexpr heif_boxes::FourCc kFtyp = heif_boxes::MakeFourCc("ftyp");
// No phone writes more than a few dozen top-level boxes into a video.
constexpr int kMaxMovieBoxes = 1 << 16;
// A directory of this size holds more than 87,000 records.
constexpr std::uint64_t kMaxTrailerDirectory = 1u << 20;
constexpr std::uint32_t kMaxRecordName = 4096;

std::uint64_t BigEndian(const std::uint8_t* p, unsigned size) {
    std::uint64_t v = 0;
    for (unsigned i = 0; i < size; ++i) v = (v << 8) | p[i];
    return v;
}
std::uint32_t LittleEndian32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[3]} << 24);
}

bool PrintableType(const std::uint8_t* p) {
    return std::all_of(p, p + 4, [](std::uint8_t c) { return c >= 0x20 && c < 0x7F; });
}

}  // namespace

void SpanByteSource::Read(std::uint64_t position, std::uint8_t* out, std::size_t n) {
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(position), n, out);
}

FileByteSource::FileByteSource(InputFile& file) : file_(file), size_(static_cast<std::uint64_t>(file.Size())) {}

void FileByteSource::Read(std::uint64_t position, std::uint8_t* out, std::size_t n) {
    file_.ReadAt(static_cast<std::int64_t>(position), out, n);
}

MovieExtent WalkMovieBoxes(ByteSource& source, std::uint64_t begin, std::uint64_t end) {
    MovieExtent movie{begin, 0};
    end = std::min(end, source.Size());
    std::uint64_t pos = begin;
    for (int n = 0; n < kMaxMovieBoxes && pos < end && end - pos >= 8; ++n) {
        //   u32 size (0: to the end, 1: a u64 follows), type, [u64 size]
        std::array<std::uint8_t, 16> head{};
        const auto headSize = static_cast<std::size_t>(std::min<std::uint64_t>(head.size(), end - pos));
        source.Read(pos, head.data(), headSize);
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
            std::array<std::uint8_t, 4> brand{};
            source.Read(pos + headerSize, brand.data(), brand.size());
            movie.brand = static_cast<heif_boxes::FourCc>(BigEndian(brand.data(), 4));
        }
        pos += size;
        movie.end = pos;
    }
    return movie;
}

std::optional<SamsungTrailer> ReadSamsungTrailer(ByteSource& source, std::uint64_t begin, std::uint64_t end,
                                                 std::vector<std::string>& problems) {
    end = std::min(end, source.Size());
    if (begin > end || end - begin < 8) return std::nullopt;
    std::array<std::uint8_t, 8> tail{};
    source.Read(end - 8, tail.data(), tail.size());
    if (tail[4] != 'S' || tail[5] != 'E' || tail[6] != 'F' || tail[7] != 'T') return std::nullopt;
    const std::uint64_t directorySize = LittleEndian32(tail.data());
    if (directorySize < 12 || directorySize > end - 8 - begin) {
        problems.push_back("The Samsung trailer's directory of " + std::to_string(directorySize) +
                           " bytes does not fit before its end at offset " + std::to_string(end) + ".");
        return std::nullopt;
    }
    if (directorySize > kMaxTrailerDirectory) {
        problems.push_back("The Samsung trailer's directory of " + std::to_string(directorySize) +
                           " bytes is larger than this reader takes.");
        return std::nullopt;
    }
    const std::uint64_t directory = end - 8 - directorySize;
    std::vector<std::uint8_t> dir(static_cast<std::size_t>(directorySize));
    source.Read(directory, dir.data(), dir.size());
    if (dir[0] != 'S' || dir[1] != 'E' || dir[2] != 'F' || dir[3] != 'H') {
        problems.push_back("The Samsung trailer's directory at offset " + std::to_string(directory) +
                           " does not start with SEFH.");
        return std::nullopt;
    }
    std::uint64_t count = LittleEndian32(dir.data() + 8);
    const std::uint64_t room = (directorySize - 12) / 12;
    if (count > room) {
        problems.push_back("The Samsung trailer's directory lists " + std::to_string(count) + " records but holds " +
                           std::to_string(room) + ".");
        count = room;
    }
    SamsungTrailer trailer;
    trailer.start = directory;
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint8_t* entry = dir.data() + 12 + 12 * i;
        const std::string which = "The Samsung trailer's record " + std::to_string(i + 1);
        const std::uint64_t back = LittleEndian32(entry + 4), size = LittleEndian32(entry + 8);
        if (back == 0 || back > directory - begin) {
            problems.push_back(which + " lies outside the trailer (" + std::to_string(back) +
                               " bytes before its directory).");
            continue;
        }
        const std::uint64_t start = directory - back;
        if (size < 8 || size > directory - start) {
            problems.push_back(which + " of " + std::to_string(size) + " bytes runs past its directory.");
            continue;
        }
        std::array<std::uint8_t, 8> head{};
        source.Read(start, head.data(), head.size());
        const std::uint32_t nameLength = LittleEndian32(head.data() + 4);
        if (nameLength > size - 8 || nameLength > kMaxRecordName) {
            problems.push_back(which + " has a name of " + std::to_string(nameLength) + " bytes that does not fit.");
            continue;
        }
        SamsungRecord record;
        record.type = static_cast<std::uint16_t>(entry[2] | (entry[3] << 8));
        record.name.resize(nameLength);
        if (nameLength != 0) source.Read(start + 8, reinterpret_cast<std::uint8_t*>(record.name.data()), nameLength);
        record.dataOffset = start + 8 + nameLength;
        record.dataLength = size - 8 - nameLength;
        for (char& c : record.name)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
        if (record.name.empty()) record.name = "record " + std::to_string(record.type);
        trailer.start = std::min(trailer.start, start);
        trailer.records.push_back(std::move(record));
    }
    return trailer;
}

}  // namespace veltrane::parts::heif_payloads
