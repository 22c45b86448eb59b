// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/exif/tiff_directory.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <span>
#include <string_view>
#include <type_traits>

#include "core/common/ascii.h"
#include "core/common/cp1252.h"
#include "core/common/number_format.h"
#include "core/exif/exif_error.h"
#include "core/exif/tag_rendering.h"

namespace veltrane::exif {
namespace {

constexpr std::uint16_t kTagImageWidth = 0x0100;
constexpr std::uint16_t kTagImageLength = 0x0101;
constexpr std::uint16_t kTagMake = 0x010F;
constexpr std::uint16_t kTagModel = 0x0110;
constexpr std::uint16_t kTagSubIfds = 0x014A;
constexpr std::uint16_t kTagExifOffset = 0x8769;
constexpr std::uint16_t kTagGpsInfo = 0x8825;
constexpr std::uint16_t kTagExifVersion = 0x9000;
constexpr std::uint16_t kTagMakerNote = 0x927C;
constexpr std::uint16_t kTagUserComment = 0x9286;
constexpr std::uint16_t kTagExifImageWidth = 0xA002;
constexpr std::uint16_t kTagExifImageLength = 0xA003;
constexpr std::uint16_t kTagInteroperabilityOffset = 0xA005;

constexpr std::size_t kMakeLength = 32;
constexpr std::size_t kModelLength = 40;
constexpr std::size_t kVersionLength = 6;
constexpr int kTagListStep = 25;

// The dictionary row that the derived 35 mm focal length is stored under, found while compiling
// (names compared without their letter case, as DictionaryIndexOfName does).
constexpr std::size_t kFilmFocalLengthRow = [] {
    for (std::size_t i = 0; i < kMainTagRows; ++i)
        if (EqualIgnoringAsciiCase(MainTagDictionary[i].TagName, "FocalLengthIn35mmFilm")) return i;
    return kMainTagRows;
}();
static_assert(kFilmFocalLengthRow < kMainTagRows, "the dictionary has no 35 mm focal length row");

// A pixel count as a whole number, halves to even; a value that is no 32-bit number (an absurd
// FLOAT or DOUBLE dimension) counts as 0 rather than ending the walk.
std::int32_t PixelCount(double v) {
    if (!std::isfinite(v) || v < -2147483648.0 || v > 2147483647.0) return 0;
    return RoundHalfEven(v);
}

// Raises ExifError once the walk has used up one of its budgets.
void Spend(std::int64_t& used, std::int64_t amount, std::int64_t budget, const char* what) {
    used += amount;
    if (used > budget) throw ExifError(what);
}

class DepthGuard {
public:
    explicit DepthGuard(int& depth) : depth_(depth) { ++depth_; }
    ~DepthGuard() { --depth_; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& depth_;
};

}  // namespace

TiffDirectory::TiffDirectory(ExifData data, ReaderOptions options, MakerNoteDecoder decodeMakerNote)
    : data_(data), options_(options), decodeMakerNote_(decodeMakerNote) {}

void TiffDirectory::Walk(std::int64_t offset, DirectoryKind kind, TagDirectory directory) {
    visited_.insert(offset);
    DepthGuard depth(depth_);

    // The entry table must lie wholly inside the data (and, in a TIFF file, keep within its
    // limit); otherwise the directory contributes nothing.
    const ByteReader& tiff = data_.Tiff;
    if (!tiff.Holds(offset, 2)) return ReportProblem(ReadStatus::IllegallySizedDirectory);
    const std::int64_t count = tiff.U16(offset);
    const std::int64_t tableBytes = 2 + 12 * count;
    if ((data_.TiffFile && tableBytes > kTiffFileTableLimit) || !tiff.Holds(offset, tableBytes))
        return ReportProblem(ReadStatus::IllegallySizedDirectory);

    const auto sectionSize = static_cast<std::int64_t>(data_.Section.size());
    const std::int64_t entryBudget = sectionSize / 12 + kEntryAllowance;
    const std::int64_t rawBudget = 2 * sectionSize + kRawByteAllowance;
    const bool infoText = CollectsInfoText(options_.Collect);
    const bool tagList = CollectsTagList(options_.Collect);

    for (std::int64_t i = 0; i < count; ++i) {
        Spend(entriesRead_, 1, entryBudget, "Too many directory entries");
        const std::int64_t entry = offset + 2 + 12 * i;
        const std::uint16_t tag = tiff.U16(entry);
        const int type = tiff.U16(entry + 2);
        const std::int64_t n = tiff.U32(entry + 4);
        const std::int64_t bytes = FieldSize(type) * n;  // at most 8 x (2^32 - 1): no overflow
        if (bytes == 0) continue;
        const std::int64_t valueOffset = bytes <= 4 ? entry + 8 : std::int64_t{tiff.U32(entry + 8)};
        const std::string_view raw = tiff.Clipped(valueOffset, bytes);
        Spend(rawBytesCopied_, static_cast<std::int64_t>(raw.size()), rawBudget, "Too many value bytes");

        // The dictionary row is found without copying; the text is rendered when something
        // uses it or when its formatter may raise (which ends the directory), and the record is
        // built only to be stored.
        std::string text;
        const DictionaryRow found = FindDictionaryRow(tag, kind);
        const bool store = found.Row->TagNumber != 0 && tagList && WantsRow(*found.Row);
        const bool render = options_.OnlyTagNames.empty() || store || FormatterMayRaise(found.Row->Formatter) ||
                            tag == kTagMake || tag == kTagModel;
        if (render) {
            text = TagText(Order(), options_.Numbers, type, raw, *found.Row);
            if (tag == kTagUserComment) {
                // 8 bytes of character code, the text, and a final byte that is left out.
                text = bytes >= 9 ? TrimText(raw.substr(std::min<std::size_t>(8, raw.size()),
                                                        static_cast<std::size_t>(bytes - 9)))
                                  : std::string();
                userCommentText_ = Cp1252ToUtf8(text);
            }
            if (infoText && options_.OnlyTagNames.empty()) AppendInfoLine(found.Caption, text);
        }

        switch (tag) {
            case kTagImageWidth:
            case kTagExifImageWidth: pixelWidth_ = PixelCount(NumericValue(Order(), raw, type)); break;
            case kTagImageLength:
            case kTagExifImageLength: pixelHeight_ = PixelCount(NumericValue(Order(), raw, type)); break;
            case kTagMake: makeText_ = Cp1252ToUtf8(std::string_view(text).substr(0, kMakeLength)); break;
            case kTagModel: modelText_ = Cp1252ToUtf8(std::string_view(text).substr(0, kModelLength)); break;
            case kTagExifVersion: versionText_ = std::string(raw.substr(0, kVersionLength)); break;
            case kTagMakerNote:
                makerNoteBytes_ = std::string(raw);
                makerNoteOffset_ = valueOffset;
                DecodeMakerNote();
                break;
            case kTagSubIfds: FollowSubDirectory(valueOffset, kImageDirectory, TagDirectory::SubIfd); break;
            case kTagExifOffset: FollowSubDirectory(valueOffset, kImageDirectory, TagDirectory::ExifIfd); break;
            case kTagInteroperabilityOffset:
                FollowSubDirectory(valueOffset, kImageDirectory, TagDirectory::Interop);
                break;
            case kTagGpsInfo: FollowSubDirectory(valueOffset, kGpsDirectory, TagDirectory::Gps); break;
            default: break;
        }

        if (store) {
            TagEntry row = found.Row->ToEntry();
            row.Directory = directory;
            row.Caption = std::string(found.Caption);
            row.DisplayText = IsAsciiText(text) ? std::move(text) : Cp1252ToUtf8(text);
            row.RawBytes = std::string(raw);
            row.ValueOffset = static_cast<std::uint32_t>(valueOffset);  // a 32-bit offset, or inside the table
            row.RawLength = static_cast<std::int32_t>(raw.size());
            row.FieldType = static_cast<std::uint16_t>(type);
            try {
                AppendTag(std::move(row));
            } catch (const ExifError&) {
                // a tag that cannot be stored is left out; the walk goes on
            }
        }
    }
}

void TiffDirectory::DecodeMakerNote() {
    if (decodeMakerNote_ == nullptr || makerNoteDecodes_ >= kMaxMakerNoteDecodes) return;
    ++makerNoteDecodes_;
    const MakerNote note{makerNoteBytes_, makerNoteOffset_, makeText_,      modelText_,
                         versionText_,    data_.TiffFile,   Order(),        data_.Section};
    makerNoteDecoded_ = decodeMakerNote_(note, *this);
}

void TiffDirectory::FollowSubDirectory(std::int64_t pointerOffset, DirectoryKind kind, TagDirectory directory) {
    // Only the first offset of a list is followed. A pointer that cannot be read, or a
    // directory that fails, ends only that sub-directory; the parent goes on.
    try {
        if (depth_ >= kMaxDirectoryDepth || static_cast<int>(visited_.size()) >= kMaxDirectories) return;
        const std::int64_t sub = data_.Tiff.U32(pointerOffset);
        if (visited_.count(sub) == 0) Walk(sub, kind, directory);
    } catch (const ExifError&) {
    }
}

namespace {

// "\r\n" caption " = " text, the rendered text turned into UTF-8. Captions come from the tables,
// whose texts are ASCII (each table asserts it).
void AppendLine(std::string& lines, std::string_view caption, std::string_view text) {
    lines += "\r\n";
    lines += caption;
    lines += kInfoSeparator;
    AppendCp1252AsUtf8(lines, text);
}

}  // namespace

void TiffDirectory::AppendInfoLine(std::string_view caption, std::string_view text) {
    AppendLine(infoText_, caption, text);
}

void TiffDirectory::AppendMakerNoteText(std::string_view text) { AppendCp1252AsUtf8(makerNoteText_, text); }

void TiffDirectory::AppendMakerNoteLine(std::string_view caption, std::string_view text) {
    AppendLine(makerNoteText_, caption, text);
}

void TiffDirectory::ReportProblem(ReadStatus status, std::string detail) {
    problem_ = status;
    problemDetail_ = std::move(detail);
}

// Which rows of the dictionaries a list of wanted names selects, for the list asked for last on
// this thread: the readers of the EXIF window's rows all pass one list, and comparing it once per
// read replaces comparing every entry's name with every wanted one. The list is kept as text in
// the object itself, so the object needs no destructor: a thread_local with one is freed twice
// at thread exit by mingw-w64's thread library.
struct WantedRows {
    std::array<char, 2048> names{};  // each wanted name followed by a NUL
    std::size_t length = 0;
    bool filled = false;
    std::array<bool, MainTagDictionary.size()> main{};
    std::array<bool, GpsTagDictionary.size()> gps{};

    bool Holds(std::span<const std::string_view> list) const {
        if (!filled) return false;
        std::size_t at = 0;
        for (const std::string_view name : list) {
            if (name.size() + 1 > length - at || std::string_view(names.data() + at, name.size()) != name ||
                names[at + name.size()] != '\0')
                return false;
            at += name.size() + 1;
        }
        return at == length;
    }
    // Keeps list; false when it does not fit (the caller then compares names one by one).
    bool Keep(std::span<const std::string_view> list) {
        filled = false;
        length = 0;
        for (const std::string_view name : list) {
            if (name.size() + 1 > names.size() - length) return false;
            std::copy(name.begin(), name.end(), names.begin() + static_cast<std::ptrdiff_t>(length));
            length += name.size();
            names[length++] = '\0';
        }
        filled = true;
        return true;
    }
};
static_assert(std::is_trivially_destructible_v<WantedRows>);

bool TiffDirectory::WantsRow(const TagRow& row) const {
    if (options_.OnlyTagNames.empty()) return true;
    if (wantedRows_ == nullptr) {
        thread_local WantedRows cache;
        const auto& list = options_.OnlyTagNames;
        if (!cache.Holds(list)) {
            if (!cache.Keep(list)) return WantsTagName(row.TagName);
            for (std::size_t i = 0; i < MainTagDictionary.size(); ++i)
                cache.main[i] = WantsTagName(MainTagDictionary[i].TagName);
            for (std::size_t i = 0; i < GpsTagDictionary.size(); ++i)
                cache.gps[i] = WantsTagName(GpsTagDictionary[i].TagName);
        }
        wantedRows_ = &cache;
    }
    const std::less<const TagRow*> before;
    const TagRow* p = &row;
    if (!before(p, MainTagDictionary.data()) && before(p, MainTagDictionary.data() + MainTagDictionary.size()))
        return wantedRows_->main[static_cast<std::size_t>(p - MainTagDictionary.data())];
    if (!before(p, GpsTagDictionary.data()) && before(p, GpsTagDictionary.data() + GpsTagDictionary.size()))
        return wantedRows_->gps[static_cast<std::size_t>(p - GpsTagDictionary.data())];
    return WantsTagName(row.TagName);
}

bool TiffDirectory::WantsTagName(std::string_view name) const {
    if (options_.OnlyTagNames.empty()) return true;
    for (const std::string_view wanted : options_.OnlyTagNames)
        if (EqualIgnoringAsciiCase(wanted, name)) return true;
    return false;
}

void TiffDirectory::DeriveFilmFocalLength() {
    // A reader serving name lookups adds no derived tags (the value needs tags it does not keep).
    if (!options_.OnlyTagNames.empty()) return;
    if (IndexOfTagName("FocalLengthin35mmFilm") >= 0) return;
    int unit = IntegerByName("FocalPlaneResolutionUnit");
    if (unit <= 0) unit = IntegerByName("ResolutionUnit");
    const double mmPerUnit = unit == 2 ? 25.4 : unit == 3 ? 10.0 : 0.0;
    const double focal = NumberByName("FocalLength");
    if (mmPerUnit == 0 || focal == 0) return;

    double width = 0, height = 0;  // of the sensor, in millimetres
    if (const int xres = IntegerByName("FocalPlaneXResolution"); xres > 0) width = pixelWidth_ * mmPerUnit / xres;
    if (const int yres = IntegerByName("FocalPlaneYResolution"); yres > 0) height = pixelHeight_ * mmPerUnit / yres;
    if (width * height <= 0) return;

    const double equivalent = focal * FilmDiagonal / std::sqrt(width * width + height * height);
    TagEntry entry = MainTagDictionary[kFilmFocalLengthRow].ToEntry();
    entry.Directory = TagDirectory::Composite;
    entry.Caption = std::string(MainCaptionView(kFilmFocalLengthRow));
    const std::string shown = FormatFloat(options_.Numbers, "%5.2f", equivalent);
    entry.DisplayText = Cp1252ToUtf8(shown);
    entry.RawBytes.clear();
    entry.DisplayFormat = "%s mm";
    entry.FieldType = 10;
    try {
        AppendTag(entry);
    } catch (const ExifError&) {
    }
    if (CollectsInfoText(options_.Collect)) AppendInfoLine(entry.Caption, shown);
}

bool TiffDirectory::MakeRoomFor(const TagEntry& entry) {
    if (entry.TagNumber == 0) return false;
    if (TagCount() >= kMaxTags) throw ExifError("Too many tags");
    // The capacity counts in steps of 25 (one spare slot always remains); the vector itself
    // grows geometrically, so a long list is not moved once per step.
    if (tagCapacity_ - 1 <= TagCount()) tagCapacity_ += kTagListStep;
    if (tags_.capacity() == tags_.size()) tags_.reserve(std::max<std::size_t>(2 * tags_.capacity(), 128));
    return true;
}

int TiffDirectory::AppendTag(const TagEntry& entry) {
    if (MakeRoomFor(entry)) tags_.push_back(entry);
    return TagCount() - 1;
}

int TiffDirectory::AppendTag(TagEntry&& entry) {
    if (MakeRoomFor(entry)) tags_.push_back(std::move(entry));
    return TagCount() - 1;
}

int TiffDirectory::IndexOfTagName(std::string_view name) const {
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        const std::string& tagName = tags_[i].TagName;
        // Most names differ in length; only those of the same length are compared.
        if (tagName.size() == name.size() && EqualIgnoringAsciiCase(tagName, name)) return static_cast<int>(i);
    }
    return -1;
}

std::string TiffDirectory::TagValueByName(std::string_view name) const {
    const int i = IndexOfTagName(name);
    return i >= 0 ? tags_[static_cast<std::size_t>(i)].DisplayText : std::string();
}

TagEntry TiffDirectory::EntryByName(std::string_view name) const {
    const int i = IndexOfTagName(name);
    return i >= 0 ? tags_[static_cast<std::size_t>(i)] : TagEntry{};
}

double TiffDirectory::NumberByName(std::string_view name) const {
    const int i = IndexOfTagName(name);
    if (i < 0) return 0;
    const TagEntry& entry = tags_[static_cast<std::size_t>(i)];
    if (entry.TagNumber == 0) return 0;
    return NumericValue(Order(), entry.RawBytes, entry.FieldType);
}

int TiffDirectory::IntegerByName(std::string_view name) const { return RoundHalfEven(NumberByName(name)); }

}  // namespace veltrane::exif
