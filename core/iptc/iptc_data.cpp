#include "core/iptc/iptc_data.h"

#include <algorithm>
#include <memory>
#include <unordered_set>

#include "core/common/ascii.h"

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

TIPTCdata::TIPTCdata(TimgData* owner) : OwnerData(owner) {}

int TIPTCdata::IptcIndexOfName(std::string_view name) const {
    for (int i = 0; i < tagCount_; ++i)
        if (EqualIgnoringAsciiCase(tags_[static_cast<std::size_t>(i)].TagName, name)) return i;
    return -1;
}

void TIPTCdata::RemoveDataset(std::string_view name) {
    const int index = IptcIndexOfName(name);
    if (index < 0) return;
    auto first = tags_.begin() + index;
    std::move(first + 1, tags_.begin() + tagCount_, first);
    --tagCount_;
    tags_[static_cast<std::size_t>(tagCount_)] = TTagEntry{};
}

int TIPTCdata::SetDataset(std::string_view name, const std::string& value) {
    const int index = IptcIndexOfName(name);
    if (index >= 0) {
        if (!value.empty()) tags_[static_cast<std::size_t>(index)].DisplayText = value;
        return index;
    }
    const int row = DatasetRowOfName(name);
    if (row < 0) return -1;
    TTagEntry entry = IptcDatasetTable[static_cast<std::size_t>(row)].ToEntry();
    entry.DisplayText = value;
    return AppendDataset(entry);
}

int TIPTCdata::AddToDataset(std::string_view name, const std::string& value) {
    const int index = IptcIndexOfName(name);
    if (index < 0) return SetDataset(name, MergeCommaList({}, value));
    if (!value.empty()) {
        std::string& stored = tags_[static_cast<std::size_t>(index)].DisplayText;
        stored = MergeCommaList(stored, value);
    }
    return index;
}

int TIPTCdata::StoreDataset(std::string_view name, const std::string& value) {
    const int row = DatasetRowOfName(name);
    if (row < 0) return -1;
    if (IsMultiValued(IptcDatasetTable[static_cast<std::size_t>(row)].TagNumber))
        return AddToDataset(name, value);
    return SetDataset(name, value);
}

std::string TIPTCdata::DatasetText(std::string_view name, const std::string& fallback) const {
    const int index = IptcIndexOfName(name);
    return index < 0 ? fallback : tags_[static_cast<std::size_t>(index)].DisplayText;
}

TTagEntry TIPTCdata::DatasetAt(int index) const {
    if (index < 0 || index >= tagCount_) return {};
    return tags_[static_cast<std::size_t>(index)];
}

int TIPTCdata::AppendDataset(const TTagEntry& entry) {
    if (entry.TagNumber != 0) {
        if (tagCount_ >= IptcCapacity() - 1) tags_.resize(tags_.size() + 25);
        tags_[static_cast<std::size_t>(tagCount_)] = entry;
        ++tagCount_;
    }
    return tagCount_ - 1;
}

void TIPTCdata::ClearDatasets() {
    tagCount_ = 0;
    for (TTagEntry& slot : tags_) slot = TTagEntry{};
}

// ---------------------------------------------------------------------------------------------
// Parsing

void TIPTCdata::ParseIptcData(std::string_view data) {
    ClearDatasets();
    parseBuffer_.assign(data);
    const std::string_view buffer = parseBuffer_;
    const auto length = static_cast<std::int64_t>(buffer.size());

    // The datasets follow the "Photoshop 3.0" identifier and the 8BIM resource headers, which
    // are not interpreted: the scan looks for the first 0x1C marker followed by record 2 or 8.
    constexpr std::string_view kPhotoshop = "Photoshop 3.0";
    const std::size_t found = buffer.find(kPhotoshop);
    std::int64_t i = found == std::string_view::npos
                         ? 13
                         : static_cast<std::int64_t>(found) + 1 + std::int64_t{kPhotoshop.size()};
    auto byteAt = [&](std::int64_t p) {  // 1-based, p within 1..length
        return static_cast<unsigned char>(buffer[static_cast<std::size_t>(p - 1)]);
    };
    for (;; ++i) {
        if (i < 1 || i >= length) return;  // the marker needs a record byte after it
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
    std::int64_t position = i + 1;
    while (position < length - 2) {
        const TTagEntry entry = ReadDataset(position);
        if (!IsMultiValued(entry.TagNumber)) {
            AppendDataset(entry);
            continue;
        }
        auto open = std::find_if(openLists.begin(), openLists.end(), [&](const OpenList& l) {
            return EqualIgnoringAsciiCase(tags_[static_cast<std::size_t>(l.index)].TagName,
                                        entry.TagName);
        });
        if (open != openLists.end()) {
            if (!entry.DisplayText.empty()) open->merge->Add(entry.DisplayText);
            continue;
        }
        const int index = AddToDataset(entry.TagName, entry.DisplayText);
        if (index >= 0)
            openLists.push_back({index, std::make_unique<CommaListMerge>(
                                            tags_[static_cast<std::size_t>(index)].DisplayText)});
    }
    for (const OpenList& list : openLists)
        tags_[static_cast<std::size_t>(list.index)].DisplayText = list.merge->Text();
}

TTagEntry TIPTCdata::ReadDataset(std::int64_t& position) const {
    const std::string_view buffer = parseBuffer_;
    const auto length = static_cast<std::int64_t>(buffer.size());
    auto byteAt = [&](std::int64_t p) -> unsigned {
        if (p < 1 || p > length) return 0;
        return static_cast<unsigned char>(buffer[static_cast<std::size_t>(p - 1)]);
    };
    const std::int64_t p = position;
    const auto record = static_cast<std::uint16_t>(byteAt(p));
    const auto dataset = static_cast<std::uint16_t>(byteAt(p + 1));
    const std::int64_t valueLength = std::int64_t{byteAt(p + 2)} * 256 + byteAt(p + 3);
    // Past the value and past the next dataset's 0x1C marker, which is not tested.
    position = p + 4 + valueLength + 1;

    // The value: bytes p+4 .. p+3+valueLength, fewer when the data ends first.
    std::string value;
    const std::int64_t start = p + 3;  // 0-based offset of the first value byte
    if (start >= 0 && start <= length) {
        const std::int64_t available = length - start;
        value.assign(buffer.substr(static_cast<std::size_t>(start),
                                   static_cast<std::size_t>(std::min(valueLength, available))));
    }

    if (record != 2 && record != 8) return {};
    for (const TagRow& row : IptcDatasetTable) {
        if (row.IptcRecord != record || row.TagNumber != dataset) continue;
        if (row.TagName == "SKIP") return {};
        TTagEntry entry = row.ToEntry();
        entry.DisplayText = std::move(value);
        return entry;
    }
    TTagEntry custom;
    custom.TagName = "Custom_" + std::to_string(dataset);
    custom.Caption = custom.TagName;
    custom.TagNumber = dataset;
    custom.IptcRecord = record;
    custom.DisplayText = std::move(value);
    custom.RawLength = 64;
    return custom;
}

}  // namespace veltrane::exif
