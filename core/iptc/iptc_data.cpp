// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/iptc/iptc_data.h"

#include <algorithm>
#include <memory>
#include <unordered_set>

#include "core/common/ascii.h"
#include "core/common/cp1252.h"

namespace veltrane::exif {
namespace {

// Characters 0 to 32: what the comma-list rule and the trimming of items count as blanks.
bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool IsMultiValued(std::uint16_t dataset) {
    return std::find(MultiValuedDatasets.begin(), MultiValuedDatasets.end(), dataset) !=
           MultiValuedDatasets.end();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Comma lists

std::vector<std::string> SplitCommaList(std::string_view text) {
    std::vector<std::string> items;
    std::size_t p = 0;
    const std::size_t n = text.size();
    auto skipBlanks = [&] {
        while (p < n && IsBlank(text[p])) ++p;
    };
    skipBlanks();
    while (p < n) {
        std::string item;
        if (text[p] == '"') {
            // A quoted item runs to its closing quote; "" inside stands for one quote. An
            // unclosed quote takes the rest of the text.
            ++p;
            while (p < n) {
                if (text[p] == '"') {
                    if (p + 1 < n && text[p + 1] == '"') {
                        item.push_back('"');
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item.push_back(text[p++]);
            }
        } else {
            const std::size_t start = p;
            while (p < n && !IsBlank(text[p]) && text[p] != ',') ++p;
            item.assign(text.substr(start, p - start));
        }
        items.push_back(std::move(item));
        skipBlanks();
        if (p < n && text[p] == ',') {
            if (p + 1 == n) items.emplace_back();  // a final comma stands for an empty item
            ++p;
            skipBlanks();
        }
    }
    return items;
}

std::string JoinCommaList(const std::vector<std::string>& items) {
    if (items.size() == 1 && items[0].empty()) return "\"\"";
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i > 0) out.push_back(',');
        const std::string& item = items[i];
        const bool quote = std::any_of(item.begin(), item.end(),
                                       [](char c) { return IsBlank(c) || c == ',' || c == '"'; });
        if (!quote) {
            out += item;
            continue;
        }
        out.push_back('"');
        for (char c : item) {
            if (c == '"') out.push_back('"');
            out.push_back(c);
        }
        out.push_back('"');
    }
    return out;
}

namespace {

// A comma list being merged into: its items, and their upper-case forms for the test "already
// there, ignoring case", so that merging n items costs O(n) and not O(n^2).
class CommaListMerge {
public:
    explicit CommaListMerge(std::string_view existing) {
        for (std::string& item : SplitCommaList(existing)) {
            keys_.insert(UpperAscii(item));
            items_.push_back(std::move(item));
        }
    }
    void Add(std::string_view newItems) {
        for (const std::string& raw : SplitCommaList(newItems)) {
            const std::string_view item = TrimBlanks(raw);
            if (keys_.insert(UpperAscii(item)).second) items_.emplace_back(item);
        }
    }
    std::string Text() const { return JoinCommaList(items_); }

private:
    std::vector<std::string> items_;
    std::unordered_set<std::string> keys_;
};

}  // namespace

std::string MergeCommaList(std::string_view existing, std::string_view newItems) {
    CommaListMerge merge(existing);
    merge.Add(newItems);
    return merge.Text();
}

int DatasetRowOfName(std::string_view name) {
    for (std::size_t i = 0; i < IptcDatasetTable.size(); ++i)
        if (EqualIgnoringAsciiCase(IptcDatasetTable[i].TagName, name)) return static_cast<int>(i);
    return -1;
}

// ---------------------------------------------------------------------------------------------
// The dataset list

int IptcRecords::IndexOfName(std::string_view name) const {
    for (int i = 0; i < count_; ++i)
        if (EqualIgnoringAsciiCase(slots_[static_cast<std::size_t>(i)].TagName, name)) return i;
    return -1;
}

void IptcRecords::RemoveDataset(std::string_view name) {
    const int index = IndexOfName(name);
    if (index < 0) return;
    auto first = slots_.begin() + index;
    std::move(first + 1, slots_.begin() + count_, first);
    --count_;
    slots_[static_cast<std::size_t>(count_)] = TagEntry{};
}

int IptcRecords::SetDataset(std::string_view name, const std::string& value) {
    const int index = IndexOfName(name);
    if (index >= 0) {
        if (!value.empty()) slots_[static_cast<std::size_t>(index)].DisplayText = value;
        return index;
    }
    const int row = DatasetRowOfName(name);
    if (row < 0) return -1;
    TagEntry entry = IptcDatasetTable[static_cast<std::size_t>(row)].ToEntry();
    entry.DisplayText = value;
    return AppendDataset(entry);
}

int IptcRecords::AddToDataset(std::string_view name, const std::string& value) {
    const int index = IndexOfName(name);
    if (index < 0) return SetDataset(name, MergeCommaList({}, value));
    if (!value.empty()) {
        std::string& stored = slots_[static_cast<std::size_t>(index)].DisplayText;
        stored = MergeCommaList(stored, value);
    }
    return index;
}

int IptcRecords::StoreDataset(std::string_view name, const std::string& value) {
    const int row = DatasetRowOfName(name);
    if (row < 0) return -1;
    if (IsMultiValued(IptcDatasetTable[static_cast<std::size_t>(row)].TagNumber))
        return AddToDataset(name, value);
    return SetDataset(name, value);
}

std::string IptcRecords::DatasetText(std::string_view name, const std::string& fallback) const {
    const int index = IndexOfName(name);
    return index < 0 ? fallback : slots_[static_cast<std::size_t>(index)].DisplayText;
}

TagEntry IptcRecords::DatasetAt(int index) const {
    if (index < 0 || index >= count_) return {};
    return slots_[static_cast<std::size_t>(index)];
}

int IptcRecords::AppendDataset(const TagEntry& entry) {
    if (entry.TagNumber != 0) {
        if (count_ >= Capacity() - 1) slots_.resize(slots_.size() + 25);
        slots_[static_cast<std::size_t>(count_)] = entry;
        ++count_;
    }
    return count_ - 1;
}

void IptcRecords::ClearDatasets() {
    count_ = 0;
    for (TagEntry& slot : slots_) slot = TagEntry{};
}

// ---------------------------------------------------------------------------------------------
// Parsing

void IptcRecords::Parse(std::string_view data) {
    ClearDatasets();
    const auto length = static_cast<std::int64_t>(data.size());

    // The datasets follow the "Photoshop 3.0" identifier and the 8BIM resource headers, which
    // are not interpreted: the scan looks for the first 0x1C marker followed by record 2 or 8,
    // from the byte after the identifier on (from byte 12 when there is none).
    constexpr std::string_view kPhotoshop = "Photoshop 3.0";
    const std::size_t found = data.find(kPhotoshop);
    std::int64_t i = found == std::string_view::npos ? 12 : static_cast<std::int64_t>(found + kPhotoshop.size());
    auto byteAt = [&](std::int64_t p) { return static_cast<unsigned char>(data[static_cast<std::size_t>(p)]); };
    for (;; ++i) {
        if (i + 1 >= length) return;  // the marker needs a record byte after it
        if (byteAt(i) == 0x1C && (byteAt(i + 1) == 2 || byteAt(i + 1) == 8)) break;
    }

    // Repeats of "Keywords" and "SuppCategory" are merged as AddToDataset merges them, but
    // into a list kept open for the whole parse and written back at its end: merging into the
    // stored text again for every repeat would cost O(n^2) for a section full of keywords.
    // Splitting a joined list gives back its items, so the stored texts are the same.
    struct OpenList {
        int index;
        std::unique_ptr<CommaListMerge> merge;
    };
    std::vector<OpenList> openLists;
    std::int64_t offset = i + 1;
    while (offset + 3 < length) {
        const TagEntry entry = ReadDataset(data, offset);
        if (!IsMultiValued(entry.TagNumber)) {
            AppendDataset(entry);
            continue;
        }
        auto open = std::find_if(openLists.begin(), openLists.end(), [&](const OpenList& l) {
            return EqualIgnoringAsciiCase(slots_[static_cast<std::size_t>(l.index)].TagName, entry.TagName);
        });
        if (open != openLists.end()) {
            if (!entry.DisplayText.empty()) open->merge->Add(entry.DisplayText);
            continue;
        }
        const int index = AddToDataset(entry.TagName, entry.DisplayText);
        if (index >= 0)
            openLists.push_back({index, std::make_unique<CommaListMerge>(
                                            slots_[static_cast<std::size_t>(index)].DisplayText)});
    }
    for (const OpenList& list : openLists)
        slots_[static_cast<std::size_t>(list.index)].DisplayText = list.merge->Text();
}

// A dataset from its record-number byte at offset p (the 0x1C marker before it is not looked
// at again):
//   p      record number
//   p + 1  dataset number
//   p + 2  2 bytes value length n, big-endian
//   p + 4  n bytes value (fewer when the data ends first)
//   p + 4 + n  the next dataset's marker, then its record number at p + 5 + n
TagEntry IptcRecords::ReadDataset(std::string_view data, std::int64_t& offset) {
    const auto length = static_cast<std::int64_t>(data.size());
    auto byteAt = [&](std::int64_t p) -> unsigned {
        if (p < 0 || p >= length) return 0;
        return static_cast<unsigned char>(data[static_cast<std::size_t>(p)]);
    };
    const std::int64_t p = offset;
    const auto record = static_cast<std::uint16_t>(byteAt(p));
    const auto dataset = static_cast<std::uint16_t>(byteAt(p + 1));
    const std::int64_t valueLength = std::int64_t{byteAt(p + 2)} * 256 + byteAt(p + 3);
    offset = p + 4 + valueLength + 1;

    std::string value;
    const std::int64_t start = p + 4;
    if (start <= length) {
        const std::int64_t available = length - start;
        value.assign(data.substr(static_cast<std::size_t>(start),
                                 static_cast<std::size_t>(std::min(valueLength, available))));
    }

    if (record != 2 && record != 8) return {};
    for (const TagRow& row : IptcDatasetTable) {
        if (row.IptcRecord != record || row.TagNumber != dataset) continue;
        if (row.TagName == "SKIP") return {};
        TagEntry entry = row.ToEntry();
        entry.DisplayText = Cp1252ToUtf8(value);
        return entry;
    }
    TagEntry custom;
    custom.TagName = "Custom_" + std::to_string(dataset);
    custom.Caption = custom.TagName;
    custom.TagNumber = dataset;
    custom.IptcRecord = record;
    custom.DisplayText = Cp1252ToUtf8(value);
    custom.RawLength = 64;
    return custom;
}

}  // namespace veltrane::exif
