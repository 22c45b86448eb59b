// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exif/tag_dictionaries.h"

#include <algorithm>
#include <stdexcept>

#include "core/common/ascii.h"

namespace veltrane::exif {
namespace {

// SpacedName, written character by character to put (while compiling, or into a string).
template <typename Put>
constexpr void PutSpacedName(std::string_view name, Put put) {
    if (name.empty()) return;
    put(name.front());
    bool previousCapital = true;
    for (std::size_t i = 1; i < name.size(); ++i) {
        const char c = name[i];
        if (c >= 'A' && c <= 'Z') {
            if (!previousCapital) put(' ');
            previousCapital = true;
        } else {
            previousCapital = false;
        }
        put(c);
    }
}

constexpr std::size_t CaptionLength(const TagRow& row) {
    if (!row.Caption.empty()) return row.Caption.size();
    std::size_t n = 0;
    PutSpacedName(row.TagName, [&n](char) { ++n; });
    return n;
}

template <std::size_t N>
constexpr std::size_t CaptionCharacters(const std::array<TagRow, N>& table) {
    std::size_t n = 0;
    for (const TagRow& row : table) n += CaptionLength(row);
    return n;
}

// The completed captions of a table of N rows, one after the other in Chars characters.
template <std::size_t N, std::size_t Chars>
struct CaptionTable {
    std::array<char, Chars> Text{};
    std::array<std::size_t, N + 1> Start{};  // of row i's caption; Start[N] == Chars

    constexpr std::string_view operator[](std::size_t row) const {
        return {Text.data() + Start[row], Start[row + 1] - Start[row]};
    }
};

template <std::size_t Chars, std::size_t N>
constexpr CaptionTable<N, Chars> CompleteCaptions(const std::array<TagRow, N>& table) {
    CaptionTable<N, Chars> captions;
    std::size_t at = 0;
    for (std::size_t i = 0; i < N; ++i) {
        captions.Start[i] = at;
        const TagRow& row = table[i];
        if (!row.Caption.empty()) {
            for (const char c : row.Caption) captions.Text[at++] = c;
        } else {
            PutSpacedName(row.TagName, [&](char c) { captions.Text[at++] = c; });
        }
    }
    captions.Start[N] = at;
    return captions;
}

constexpr auto kMainCaptions = CompleteCaptions<CaptionCharacters(MainTagDictionary)>(MainTagDictionary);
constexpr auto kGpsCaptions = CompleteCaptions<CaptionCharacters(GpsTagDictionary)>(GpsTagDictionary);
static_assert(kMainCaptions[0] == "Interoperability Index" && kMainCaptions[kUnknownRow] == "Unknown");

// The captions as strings, for callers that keep references to them.
struct CaptionStrings {
    std::array<std::string, MainTagDictionary.size()> Main;
    std::array<std::string, GpsTagDictionary.size()> Gps;
};

CaptionStrings MakeCaptionStrings() {
    CaptionStrings captions;
    for (std::size_t i = 0; i < captions.Main.size(); ++i) captions.Main[i] = std::string(kMainCaptions[i]);
    for (std::size_t i = 0; i < captions.Gps.size(); ++i) captions.Gps[i] = std::string(kGpsCaptions[i]);
    return captions;
}

// Made on first use, once for all threads. A first making that fails (out of memory) is tried
// again by the next use; std::call_once, whose flag a throwing function leaves set half-way on
// some platforms (MinGW), would make that next use wait forever.
const CaptionStrings& Captions() {
    static const CaptionStrings captions = MakeCaptionStrings();
    return captions;
}

TagEntry EntryOf(const TagRow& row, std::string_view caption) {
    TagEntry entry = row.ToEntry();
    entry.Caption = std::string(caption);
    return entry;
}

}  // namespace

void InitTagDictionaries() { Captions(); }

std::string_view MainCaptionView(std::size_t row) {
    if (row >= MainTagDictionary.size()) throw std::out_of_range("no such dictionary row");
    return kMainCaptions[row];
}

std::string_view GpsCaptionView(std::size_t row) {
    if (row >= GpsTagDictionary.size()) throw std::out_of_range("no such dictionary row");
    return kGpsCaptions[row];
}

const std::string& MainCaption(std::size_t row) { return Captions().Main.at(row); }

const std::string& GpsCaption(std::size_t row) { return Captions().Gps.at(row); }

std::string SpacedName(std::string_view name) {
    std::string result;
    result.reserve(name.size() + 8);
    PutSpacedName(name, [&result](char c) { result += c; });
    return result;
}

DictionaryRow FindDictionaryRow(std::uint16_t tag, DirectoryKind kind) {
    // Both dictionaries hold every tag number once and in ascending order (asserted where they
    // are defined), so a binary search finds the one matching row.
    const auto rowOf = [tag](auto first, auto last) {
        const auto it = std::lower_bound(first, last, tag,
                                         [](const TagRow& row, std::uint16_t t) { return row.TagNumber < t; });
        return (it != last && it->TagNumber == tag) ? it : last;
    };
    if (kind == kImageDirectory) {
        const auto first = MainTagDictionary.begin(), last = first + kMainTagRows;
        const auto it = rowOf(first, last);
        if (it != last) {
            const auto i = static_cast<std::size_t>(it - first);
            return {&MainTagDictionary[i], kMainCaptions[i]};
        }
    } else if (kind == kGpsDirectory) {
        const auto first = GpsTagDictionary.begin(), last = GpsTagDictionary.end();
        const auto it = rowOf(first, last);
        if (it != last) {
            const auto i = static_cast<std::size_t>(it - first);
            return {&GpsTagDictionary[i], kGpsCaptions[i]};
        }
    }
    return {&MainTagDictionary[kUnknownRow], kMainCaptions[kUnknownRow]};
}

TagEntry LookupTagNumber(std::uint16_t tag, DirectoryKind kind) {
    const DictionaryRow found = FindDictionaryRow(tag, kind);
    return EntryOf(*found.Row, found.Caption);
}

int IndexOfTag(std::uint16_t tag, std::span<const TagRow> table) {
    for (std::size_t i = 0; i < table.size(); ++i)
        if (table[i].TagNumber == tag) return static_cast<int>(i);
    return -1;
}

std::string ValueMapOfTag(std::uint16_t tag, std::span<const TagRow> table) {
    std::string_view map;
    for (const TagRow& row : table)
        if (row.TagNumber == tag) map = row.ValueMap;
    return std::string(map);
}

int DictionaryIndexOfName(std::string_view name) {
    for (std::size_t i = 0; i < kMainTagRows; ++i)
        if (EqualIgnoringAsciiCase(MainTagDictionary[i].TagName, name)) return static_cast<int>(i);
    return -1;
}

}  // namespace veltrane::exif
