// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The value decoders of the maker tables: three Canon arrays split into named sub-fields, and
// two Nikon values turned into readable text.
//
// A decoder receives the rendered value of its entry, as the maker-note walk made it: for the
// Canon SHORT arrays the decimal items joined by ", " ("0, 2, 0, 3"), for the Nikon lens four
// rationals ("180/10, 700/10, 35/10, 45/10"), for the Nikon colour mode the quoted ASCII text
// ("\"MODE2\""). It returns the entry's display text. The Canon decoders return a block of
// sub-field lines ("\r\n" name " = " value, one per sub-field with a value), add every such
// sub-field to context.Directory as a tag of its own, and set
// context.SubFieldsWritten so that the walk writes the block instead of a single value.
// No decoder raises.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/exif/tag_entry.h"

namespace veltrane::exif {

// The TagNumber of every sub-field tag (AddSubFieldTag). Tags reach a tag list only from the
// EXIF/GPS dictionaries and the maker tables, none of which lists 0xFDF5 (a static_assert in
// maker_tables.h keeps it so), so a stored tag with this number is always a sub-field and
// never a tag read from the file. The value lies in TIFF's private range above every number
// the dictionaries use and is not one of the all-ones or all-zeros patterns that damaged
// directories are full of.
inline constexpr std::uint16_t kSubFieldTagNumber = 0xFDF5;

// The items of text, separated by separator (one item more than there are separators; the
// whole text when separator is empty). Items keep their blanks. The decoders split a rendered
// list once with it and then pick items by their index.
std::vector<std::string_view> SplitItems(std::string_view text, std::string_view separator);

enum class SubFieldKind {
    Coded,  // the item looked up in the value map
    Plain   // the item unchanged, leading blank included
};

struct SubFieldRow {
    std::string_view Name;
    SubFieldKind Kind;
    int Item;  // 0-based index of the item read
    std::string_view ValueMap;
};

struct CustomFunctionRow {
    int Function;  // 1..15
    std::string_view Name;
    std::string_view ValueMap;
};

// The sub-fields of Canon 0x0001 (camera settings), in output order. "Self Timer" reads the
// same item as "Macro mode" and "Focus Mode" appears twice; the maps are as the camera
// documentation of the time gave them.
inline constexpr std::array<SubFieldRow, 20> CanonCameraSettingsFields{{
    {"Macro mode", SubFieldKind::Coded, 1, "1:Macro,2:Normal"},
    {"Self Timer", SubFieldKind::Plain, 1, {}},
    {"Compression Rate", SubFieldKind::Coded, 3, "0:SuperFine,1:Fine,2:Normal,3:Basic,5:SuperFine"},
    {"Flash Mode", SubFieldKind::Coded, 4,
     "0:Not fired,1:Auto,2:On,3:Red-eye,4:Slow sync,5:Auto+red-eye,6:On+red eye,16:External flash"},
    {"Drive Mode", SubFieldKind::Coded, 5, "0:Single,1:Continuous"},
    {"Focus Mode", SubFieldKind::Coded, 7,
     "0:One-Shot,1:AI Servo,2:AI Focus,3:MF,4:Single,5:Continuous,6:MF"},
    {"Image Size", SubFieldKind::Coded, 10,
     "0:Large,1:Medium,2:Small,4:5MPixel,5:2 MPixel,6:1.5 MPixel"},
    {"Easy Shoot", SubFieldKind::Coded, 11,
     "0:Full Auto,1:Manual,2:Landscape,3:Fast Shutter,4:Slow Shutter,5:Night,6:B&W,7:Sepia,"
     "8:Portrait,9:Sports,10:Macro/Close-Up,11:Pan Focus"},
    {"Contrast", SubFieldKind::Coded, 13, "65535:Low,0:Normal,1:High"},
    {"Saturation", SubFieldKind::Coded, 14, "65535:Low,0:Normal,1:High"},
    {"Sharpness", SubFieldKind::Coded, 15, "65535:Low,0:Normal,1:High"},
    {"CCD ISO", SubFieldKind::Coded, 16, "0:Not used,15:auto,16:50,17:100,18:200,19:400"},
    {"Metering Mode", SubFieldKind::Coded, 17, "65535:Low,0:Normal,1:High"},
    {"AF Point", SubFieldKind::Coded, 19, "65535:Low,0:Normal,1:High"},
    {"Exposure Mode", SubFieldKind::Coded, 20, "65535:Low,0:Normal,1:High"},
    {"Long focal", SubFieldKind::Plain, 23, {}},
    {"Short focal", SubFieldKind::Plain, 24, {}},
    {"Focal Units", SubFieldKind::Plain, 25, {}},
    {"Flash Details", SubFieldKind::Plain, 28, {}},
    {"Focus Mode", SubFieldKind::Coded, 32, "65535:Low,0:Normal,1:High"},
}};

// The sub-fields of Canon 0x0004 (shot information), in output order.
inline constexpr std::array<SubFieldRow, 6> CanonShotInfoFields{{
    {"White balance", SubFieldKind::Coded, 7,
     "0:Auto,1:Sunny,2:Cloudy,3:Tungsten,4:Flourescent,5:Flash,6:Custom"},
    {"Sequence Number", SubFieldKind::Plain, 8, {}},
    {"OpticalZoom Step", SubFieldKind::Plain, 10, {}},
    {"AF point", SubFieldKind::Plain, 13, {}},
    {"Flash bias", SubFieldKind::Coded, 15,
     "65472:-2 EV,65484:-1.67 EV,65488:-1.50 EV,65492:-1.33 EV,65504:-1 EV,65516:-0.67 EV,"
     "65520:-0.50 EV,65524:-0.33 EV,0:0 EV,12:0.33 EV,16:0.50 EV,20:0.67 EV,32:1 EV,44:1.33 EV,"
     "48:1.50 EV,52:1.67 EV,64:2 EV"},
    {"Distance", SubFieldKind::Plain, 18, {}},
}};

// The custom functions of Canon 0x000F. An item c of the array is function c div 256 with
// setting c mod 256. The maps are used as written: the lookup stops at the next comma, so
// "AEB Sequence" setting 0 reads "0" and setting 2 reads " -".
inline constexpr std::array<CustomFunctionRow, 15> CanonCustomFunctions{{
    {1, "Noise Reduction", "0: Off,1: On"},
    {2, "Shutter AE Lock Button", "0:AF/AE lock,1:AE lock/AF,2:AF/AF lock,3:AE+release/AE+AF"},
    {3, "Mirror Lockup", "0:Disable,1:Enable"},
    {4, "Exposure Level", "0:1/2 stop,1:1/3 stop"},
    {5, "AF Assist", "0:On (auto),1:Off"},
    {6, "AV Shutter Speed", "0:Automatic,1: 1/200 (fixed)"},
    {7, "AEB Sequence",
     "0:0, -, + / Enabled1: 0, -, + / Disabled,2: -, 0, + / Enabled,3: -, 0, + / Disabled"},
    {8, "Shutter Sync", "0:1st-curtain sync,1: 2nd-curtain sync"},
    {9, "Lens AF Button", "0:AF stop,1:Operate AF,2:Lock AE and start timer"},
    {10, "Fill Flash Reduction", "0:Enable,1:Disable"},
    {11, "Menu Return", "0:Top,1:Previous (volatile),2:Previous"},
    {12, "Set Button", "0:Not assigned,1:Change quality,2:Change ISO speed,3:Select parameters"},
    {13, "Sensor Cleaning", "0:Disable,1:Enable"},
    {14, "Superimposed Display", "0: On,1: Off"},
    {15, "Shutter Release w/o CF Card", "0:Enable,1:Disable"},
}};

// The sub-fields' names become tag names and captions as they stand.
constexpr bool SubFieldNamesAreAscii() {
    for (const SubFieldRow& row : CanonCameraSettingsFields)
        if (!IsAsciiText(row.Name)) return false;
    for (const SubFieldRow& row : CanonShotInfoFields)
        if (!IsAsciiText(row.Name)) return false;
    for (const CustomFunctionRow& row : CanonCustomFunctions)
        if (!IsAsciiText(row.Name)) return false;
    return true;
}
static_assert(SubFieldNamesAreAscii());

// The line of one custom function ("\r\n" name " = " value), or "" when the value is blank:
// setting (as decimal text) looked up in map. A non-blank value is also added as a tag to
// context.Directory, as every sub-field is.
std::string AddCustomFunction(std::string_view name, int setting, std::string_view map,
                              FormatterContext& context);

// The five decoders, used as the Formatter of their maker-table rows.
std::string DecodeCanonCameraSettings(const std::string& text, FormatterContext& context);
std::string DecodeCanonShotInfo(const std::string& text, FormatterContext& context);
std::string DecodeCanonCustomFunctions(const std::string& text, FormatterContext& context);
std::string DecodeNikonLens(const std::string& text, FormatterContext& context);
std::string DecodeNikonColorMode(const std::string& text, FormatterContext& context);

}  // namespace veltrane::exif
