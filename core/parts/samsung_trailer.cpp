// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/parts/samsung_trailer.h"

#include <algorithm>
#include <cstring>

namespace veltrane::parts {
namespace {

std::uint32_t Le32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

constexpr std::uint32_t kMaxNameLength = 4096;

}  // namespace

SamsungTrailer ReadSamsungTrailer(ByteSource& source, std::int64_t end, std::int64_t floor) {
    SamsungTrailer trailer;
    end = std::min(end, source.Size());
    floor = std::max<std::int64_t>(floor, 0);
    if (end - floor < 8 + 12) return trailer;
    const auto tail = source.View(end - 8, 8);
    if (tail.size() < 8 || std::memcmp(tail.data() + 4, "SEFT", 4) != 0) return trailer;
    const std::uint32_t directoryLength = Le32(tail.data());
    const std::int64_t directoryStart = end - 8 - static_cast<std::int64_t>(directoryLength);
    if (directoryLength < 12 || directoryStart < floor) {
        trailer.problems.push_back("Samsung trailer: its directory of " + std::to_string(directoryLength) +
                                   " bytes does not fit before its end at offset " + std::to_string(end));
        return trailer;
    }
    const auto head = source.View(directoryStart, 12);
    if (head.size() < 12 || std::memcmp(head.data(), "SEFH", 4) != 0) {
        trailer.problems.push_back("Samsung trailer: its directory does not begin \"SEFH\"");
        return trailer;
    }
    trailer.found = true;
    trailer.directoryStart = directoryStart;
    trailer.start = directoryStart;
    std::uint32_t count = Le32(head.data() + 8);
    const std::uint32_t room = (directoryLength - 12) / 12;
    if (count > room || count > kMaxSamsungRecords) {
        trailer.problems.push_back("Samsung trailer: the directory lists " + std::to_string(count) +
                                   " records but holds room for " + std::to_string(std::min(room, kMaxSamsungRecords)));
        count = std::min(room, kMaxSamsungRecords);
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        const auto entry = source.View(directoryStart + 12 + std::int64_t{12} * i, 12);
        if (entry.size() < 12) break;
        const std::string which = "Samsung trailer: record " + std::to_string(i + 1);
        const std::uint16_t type = Le16(entry.data() + 2);
        const std::int64_t offset = Le32(entry.data() + 4);
        const std::int64_t size = Le32(entry.data() + 8);
        const std::int64_t start = directoryStart - offset;
        if (start < floor || size < 8 || start + size > directoryStart) {
            trailer.problems.push_back(which + " (offset " + std::to_string(offset) + ", size " + std::to_string(size) +
                                       ") lies outside the trailer");
            continue;
        }
        const auto header = source.View(start, 8);
        if (header.size() < 8) continue;  // a source that shrank
        const std::uint32_t nameLength = Le32(header.data() + 4);
        if (nameLength > kMaxNameLength || 8 + static_cast<std::int64_t>(nameLength) > size) {
            trailer.problems.push_back(which + ": its name runs past the record");
            continue;
        }
        const auto nameBytes = source.View(start + 8, nameLength);
        if (nameBytes.size() < nameLength) continue;
        SamsungRecord record;
        record.type = type;
        record.name.assign(nameBytes.begin(), nameBytes.end());
        // Names are ASCII; anything else is shown as '?'.
        for (char& c : record.name)
            if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) > 0x7E) c = '?';
        if (record.name.empty()) record.name = "record " + std::to_string(type);
        record.start = start;
        record.dataOffset = start + 8 + nameLength;
        record.dataLength = size - 8 - nameLength;
        trailer.start = std::min(trailer.start, start);
        trailer.records.push_back(std::move(record));
    }
    return trailer;
}

}  // namespace veltrane::parts
