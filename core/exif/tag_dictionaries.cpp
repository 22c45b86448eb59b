#include "core/exif/tag_dictionaries.h"

#include <algorithm>

#include "core/common/ascii.h"

namespace veltrane::exif {
namespace {

// The captions of both dictionaries: the stored one where a row has it, else the spaced name.
struct CompletedCaptions {
    std::array<std::string, MainTagDictionary.size()> Main;
    std::array<std::string, GpsTagDictionary.size()> Gps;
};

CompletedCaptions CompleteCaptions() {
    CompletedCaptions captions;
    for (std::size_t i = 0; i < MainTagDictionary.size(); ++i) {
        const TagRow& row = MainTagDictionary[i];
        captions.Main[i] = row.Caption.empty() ? SpacedName(row.TagName) : std::string(row.Caption);
    }
    for (std::size_t i = 0; i < GpsTagDictionary.size(); ++i) {
        const TagRow& row = GpsTagDictionary[i];
        captions.Gps[i] = row.Caption.empty() ? SpacedName(row.TagName) : std::string(row.Caption);
    }
    return captions;
}

// Completed on first use, once for all threads. A first completion that fails (out of memory)
// is tried again by the next use; std::call_once, whose flag a throwing function leaves set
// half-way on some platforms (MinGW), would make that next use wait forever.
const CompletedCaptions& Captions() {
    static const CompletedCaptions captions = CompleteCaptions();
    return captions;
}

TagEntry EntryOf(const TagRow& row, const std::string& caption) {
    TagEntry entry = row.ToEntry();
    entry.Caption = caption;
    return entry;
}

}  // namespace

void InitTagDictionaries() { Captions(); }

const std::string& MainCaption(std::size_t row) { return Captions().Main.at(row); }

const std::string& GpsCaption(std::size_t row) { return Captions().Gps.at(row); }

std::string SpacedName(std::string_view name) {
    std::string result;
    if (name.empty()) return result;
    result.reserve(name.size() + 8);
    result += name.front();
    bool previousCapital = true;
    for (std::size_t i = 1; i < name.size(); ++i) {
        const char c = name[i];
        if (c >= 'A' && c <= 'Z') {
            if (!previousCapital) result += ' ';
            previousCapital = true;
        } else {
            previousCapital = false;
        }
        result += c;
    }
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
            return {&MainTagDictionary[i], &MainCaption(i)};
        }
    } else if (kind == kGpsDirectory) {
        const auto first = GpsTagDictionary.begin(), last = GpsTagDictionary.end();
        const auto it = rowOf(first, last);
        if (it != last) {
            const auto i = static_cast<std::size_t>(it - first);
            return {&GpsTagDictionary[i], &GpsCaption(i)};
        }
    }
    return {&MainTagDictionary[kUnknownRow], &MainCaption(kUnknownRow)};
}

TagEntry LookupTagNumber(std::uint16_t tag, DirectoryKind kind) {
    const DictionaryRow found = FindDictionaryRow(tag, kind);
    return EntryOf(*found.Row, *found.Caption);
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
