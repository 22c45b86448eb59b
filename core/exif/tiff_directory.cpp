#include "core/exif/tiff_directory.h"

#include <cmath>
#include <limits>

#include "core/common/ascii.h"
#include "core/common/number_format.h"
#include "core/exif/exif_error.h"
#include "core/exif/jpeg_sections.h"
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

bool BuildsInfoText(int mode) { return mode == 2 || mode == 255; }
bool BuildsTagList(int mode) { return mode == 4 || mode == 255; }

// Positions are kept in 32-bit fields (ValueStart, MakerNoteStart); a position that does not
// fit lies far outside every buffer and is stored as the nearest 32-bit value.
std::int32_t ClampToInt32(std::int64_t v) {
    if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(v);
}

// A pixel count as a whole number, halves to even; a value that is no 32-bit number (an absurd
// FLOAT or DOUBLE dimension) counts as 0 rather than ending the walk.
std::int32_t PixelCount(double v) {
    if (!std::isfinite(v) || v < -2147483648.0 || v > 2147483647.0) return 0;
    return RoundHalfEven(v);
}

// The bytes of buffer at 1-based positions [pos, pos + n), clipped to the buffer: bytes before
// its first or after its last byte are simply missing (the value is shorter, possibly empty).
std::string_view ClippedValue(std::string_view buffer, std::int64_t pos, std::int64_t n) {
    const std::int64_t size = static_cast<std::int64_t>(buffer.size());
    const std::int64_t first = std::max<std::int64_t>(pos, 1);
    const std::int64_t last = std::min<std::int64_t>(pos + n - 1, size);  // pos, n < 2^40
    if (first > last) return {};
    return buffer.substr(static_cast<std::size_t>(first - 1), static_cast<std::size_t>(last - first + 1));
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

// Puts the parser's buffer and byte order back however the maker-note decoder leaves them.
class BufferRestorer {
public:
    explicit BufferRestorer(tEndInd& target)
        : target_(target), buffer_(target.WorkBuffer), bigEndian_(target.BigEndian) {}
    ~BufferRestorer() {
        target_.WorkBuffer = buffer_;
        target_.BigEndian = bigEndian_;
    }
    BufferRestorer(const BufferRestorer&) = delete;
    BufferRestorer& operator=(const BufferRestorer&) = delete;

private:
    tEndInd& target_;
    std::string_view buffer_;
    bool bigEndian_;
};

}  // namespace

TImageInfo::TImageInfo(TimgData* owner, int collectMode) : OwnerData(owner), CollectMode(collectMode) {
    InitTagDictionaries();
}

std::string_view TImageInfo::ValueSource() const {
    if (OwnerData != nullptr && OwnerData->ExifSection != nullptr) return OwnerData->ExifSection->SectionBytes;
    return WorkBuffer;
}

bool TImageInfo::DirectorySeen(std::int64_t start, std::int64_t base) const {
    return VisitedDirectories.count({base, start}) != 0;
}

void TImageInfo::WalkDirectory(std::int64_t start, std::int64_t base, int kind, std::int64_t size) {
    VisitedDirectories.insert({base, start});
    DepthGuard depth(depth_);

    const auto illegallySized = [this] {
        if (OwnerData != nullptr) OwnerData->ErrorText = "Illegally sized directory";
    };
    // The entry table must fit the size the caller allows and lie wholly inside the buffer;
    // otherwise the directory contributes nothing.
    const std::int64_t bufferSize = static_cast<std::int64_t>(WorkBuffer.size());
    if (start < 1 || start > bufferSize - 1) return illegallySized();
    const std::int64_t count = ReadUInt16At(start);
    const std::int64_t tableBytes = 2 + 12 * count;
    if (tableBytes > base + size) return illegallySized();
    if (tableBytes > bufferSize - (start - 1)) return illegallySized();

    const std::string_view source = ValueSource();
    const std::int64_t entryBudget = bufferSize / 12 + kEntryAllowance;
    const std::int64_t rawBudget =
        2 * static_cast<std::int64_t>(std::max(source.size(), WorkBuffer.size())) + kRawByteAllowance;

    for (std::int64_t i = 0; i < count; ++i) {
        Spend(entriesRead_, 1, entryBudget, "Too many directory entries");
        const std::int64_t e = start + 2 + 12 * i;
        const auto tag = static_cast<std::uint16_t>(ReadUInt16At(e));
        const auto type = static_cast<int>(ReadUInt16At(e + 2));
        const std::int64_t n = ReadUInt32At(e + 4);
        const std::int64_t bytes = FieldSize(type) * n;  // at most 8 x (2^32 - 1): no overflow
        if (bytes == 0) continue;
        const std::int64_t valuePos = bytes <= 4 ? e + 8 : std::int64_t{ReadUInt32At(e + 8)} + base;
        const std::string_view raw = ClippedValue(source, valuePos, bytes);
        Spend(rawBytesCopied_, static_cast<std::int64_t>(raw.size()), rawBudget, "Too many value bytes");

        // The dictionary row is found without copying; the text is rendered when something
        // uses it or when its formatter may raise (which ends the directory), and the record is
        // built only to be stored.
        std::string text;
        const DictionaryRow found = (BuildsInfoText(CollectMode) || BuildsTagList(CollectMode))
                                        ? FindDictionaryRow(tag, kind)
                                        : DictionaryRow{};
        const bool store = found.Row != nullptr && found.Row->TagNumber != 0 &&
                           BuildsTagList(CollectMode) && WantsTagName(found.Row->TagName);
        const bool render = found.Row != nullptr &&
                            (OnlyTagNames.empty() || store || FormatterMayRaise(found.Row->Formatter) ||
                             tag == kTagMake || tag == kTagModel);
        if (render) {
            text = TagText(*this, type, raw, *found.Row);
            if (tag == kTagUserComment) {
                // 8 bytes of character code, the text, and a final byte that is left out.
                UserCommentText = bytes >= 9 ? TrimText(raw.substr(std::min<std::size_t>(8, raw.size()),
                                                                   static_cast<std::size_t>(bytes - 9)))
                                             : std::string();
                text = UserCommentText;
            }
            if (BuildsInfoText(CollectMode) && OnlyTagNames.empty()) {
                InfoText += "\r\n";
                InfoText += *found.Caption;
                InfoText += kInfoSeparator;
                InfoText += text;
            }
        }

        switch (tag) {
            case kTagImageWidth:
            case kTagExifImageWidth: PixelWidth = PixelCount(NumericValue(raw, type)); break;
            case kTagImageLength:
            case kTagExifImageLength: PixelHeight = PixelCount(NumericValue(raw, type)); break;
            case kTagMake: MakeText = text.substr(0, kMakeLength); break;
            case kTagModel: ModelText = text.substr(0, kModelLength); break;
            case kTagExifVersion: VersionText = std::string(raw.substr(0, kVersionLength)); break;
            case kTagMakerNote:
                MakerNoteBytes = std::string(raw);
                MakerNoteStart = ClampToInt32(valuePos);
                if (DecodeMakerNote != nullptr && makerNoteDecodes_ < kMaxMakerNoteDecodes) {
                    ++makerNoteDecodes_;
                    BufferRestorer restore(*this);
                    MakerNoteDecoded = DecodeMakerNote(TiffMode, *this);
                }
                break;
            case kTagSubIfds:
            case kTagExifOffset:
            case kTagInteroperabilityOffset: FollowSubDirectory(valuePos, base, kImageDirectory, size); break;
            case kTagGpsInfo: FollowSubDirectory(valuePos, base, kGpsDirectory, size); break;
            default: break;
        }

        if (store) {
            TTagEntry row = found.Row->ToEntry();
            row.Caption = *found.Caption;
            row.DisplayText = std::move(text);
            row.RawBytes = std::string(raw);
            row.ValueStart = ClampToInt32(valuePos);
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

void TImageInfo::FollowSubDirectory(std::int64_t valuePos, std::int64_t base, int kind, std::int64_t size) {
    // Only the first offset of a list is followed. A pointer that cannot be read, or a
    // directory that fails, ends only that sub-directory; the parent goes on.
    try {
        if (depth_ >= kMaxDirectoryDepth || static_cast<int>(VisitedDirectories.size()) >= kMaxDirectories)
            return;
        const std::int64_t sub = std::int64_t{ReadUInt32At(valuePos)} + base;
        if (!DirectorySeen(sub, base)) WalkDirectory(sub, base, kind, size);
    } catch (const ExifError&) {
    }
}

bool TImageInfo::WantsTagName(std::string_view name) const {
    if (OnlyTagNames.empty()) return true;
    for (const std::string_view wanted : OnlyTagNames)
        if (EqualIgnoringAsciiCase(wanted, name)) return true;
    return false;
}

void TImageInfo::DeriveFilmFocalLength() {
    // A reader serving name lookups adds no derived tags (the value needs tags it does not keep).
    if (!OnlyTagNames.empty()) return;
    if (IndexOfTagName("FocalLengthin35mmFilm") >= 0) return;
    int unit = IntegerByName("FocalPlaneResolutionUnit");
    if (unit <= 0) unit = IntegerByName("ResolutionUnit");
    const double mmPerUnit = unit == 2 ? 25.4 : unit == 3 ? 10.0 : 0.0;
    const double focal = NumberByName("FocalLength");
    if (mmPerUnit == 0 || focal == 0) return;

    double width = 0, height = 0;  // of the sensor, in millimetres
    if (const int xres = IntegerByName("FocalPlaneXResolution"); xres > 0) width = PixelWidth * mmPerUnit / xres;
    if (const int yres = IntegerByName("FocalPlaneYResolution"); yres > 0) height = PixelHeight * mmPerUnit / yres;
    if (width * height <= 0) return;

    const double equivalent = focal * FilmDiagonal / std::sqrt(width * width + height * height);
    TTagEntry entry = MainTagDictionary[kFilmFocalLengthRow].ToEntry();
    entry.Caption = MainCaption(kFilmFocalLengthRow);
    entry.DisplayText = FormatFloat("%5.2f", equivalent);
    entry.RawBytes.clear();
    entry.DisplayFormat = "%s mm";
    entry.FieldType = 10;
    try {
        AppendTag(entry);
    } catch (const ExifError&) {
    }
    if (CollectMode != 4) {
        InfoText += "\r\n";
        InfoText += entry.Caption;
        InfoText += kInfoSeparator;
        InfoText += entry.DisplayText;
    }
}

bool TImageInfo::MakeRoomFor(const TTagEntry& entry) {
    if (entry.TagNumber == 0) return false;
    if (TagCount >= kMaxTags) throw ExifError("Too many tags");
    // TagCapacity follows the design's steps of 25 (one spare slot always remains); the vector
    // itself grows geometrically, so a long list is not moved once per step.
    if (TagCapacity - 1 <= TagCount) TagCapacity += kTagListStep;
    if (TagList.capacity() == TagList.size())
        TagList.reserve(std::max<std::size_t>(2 * TagList.capacity(), 128));
    return true;
}

int TImageInfo::AppendTag(const TTagEntry& entry) {
    if (MakeRoomFor(entry)) {
        TagList.push_back(entry);
        ++TagCount;
    }
    return TagCount - 1;
}

int TImageInfo::AppendTag(TTagEntry&& entry) {
    if (MakeRoomFor(entry)) {
        TagList.push_back(std::move(entry));
        ++TagCount;
    }
    return TagCount - 1;
}

int TImageInfo::IndexOfTagName(std::string_view name) const {
    for (int i = 0; i < TagCount; ++i) {
        const std::string& tagName = TagList[static_cast<std::size_t>(i)].TagName;
        // Most names differ in length; only those of the same length are compared.
        if (tagName.size() == name.size() && EqualIgnoringAsciiCase(tagName, name)) return i;
    }
    return -1;
}

std::string TImageInfo::TagValueByName(std::string_view name) const {
    const int i = IndexOfTagName(name);
    return i >= 0 ? TagList[static_cast<std::size_t>(i)].DisplayText : std::string();
}

TTagEntry TImageInfo::EntryByName(std::string_view name) const {
    const int i = IndexOfTagName(name);
    return i >= 0 ? TagList[static_cast<std::size_t>(i)] : TTagEntry{};
}

double TImageInfo::NumberByName(std::string_view name) const {
    const int i = IndexOfTagName(name);
    if (i < 0) return 0;
    const TTagEntry& entry = TagList[static_cast<std::size_t>(i)];
    if (entry.TagNumber == 0) return 0;
    return NumericValue(entry.RawBytes, entry.FieldType);
}

int TImageInfo::IntegerByName(std::string_view name) const { return RoundHalfEven(NumberByName(name)); }

std::string TImageInfo::RenderValue(std::string_view raw, int type, std::string_view map,
                                    std::string_view format) const {
    return exif::RenderValue(*this, raw, type, map, format);
}

double TImageInfo::NumericValue(std::string_view raw, int type) const {
    return exif::NumericValue(*this, raw, type);
}

}  // namespace veltrane::exif
