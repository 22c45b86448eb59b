// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The two tag dictionaries of the EXIF reader and the lookups over them.
//
// MainTagDictionary serves the image, EXIF, interoperability and SubIFDs directories; its 250
// tag rows are in ascending tag order and are followed by the Unknown row (tag 0), which
// stands for every tag that the dictionary does not list. GpsTagDictionary serves the GPS
// directory (tags 0x00 to 0x1E). The tables are constant; the empty captions are completed from
// the names ("ExposureTime" becomes "Exposure Time") while compiling. Lookups hand out TagEntry
// copies with the completed caption.
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "core/exif/tag_entry.h"
#include "core/exif/tag_rendering.h"

namespace veltrane::exif {

// Which dictionary serves a directory: 1 for the image, EXIF, interoperability and SubIFDs
// directories, 2 for the GPS directory.
enum DirectoryKind : int { kImageDirectory = 1, kGpsDirectory = 2 };

// MakeTagRow(TagNumber, TagName, Caption (empty: completed from the name), ValueMap,
//            DisplayFormat, Formatter)
inline constexpr std::array<TagRow, 251> MainTagDictionary = {{
    MakeTagRow(0x0001, "InteroperabilityIndex"),
    MakeTagRow(0x0002, "InteroperabilityVersion"),
    MakeTagRow(0x000B, "ACDComment"),
    MakeTagRow(0x00FE, "NewSubfileType"),
    MakeTagRow(0x00FF, "SubfileType"),
    MakeTagRow(0x0100, "ImageWidth"),
    MakeTagRow(0x0101, "ImageLength"),
    MakeTagRow(0x0102, "BitsPerSample"),
    MakeTagRow(0x0103, "Compression", "", "6:Jpeg,3:Uncompressed,1:TIFF"),
    MakeTagRow(0x0106, "PhotometricInterpretation", "", "1:Monochrome,2:RGB,6:YCbCr"),
    MakeTagRow(0x010A, "FillOrder"),
    MakeTagRow(0x010D, "DocumentName"),
    MakeTagRow(0x010E, "ImageDescription"),
    MakeTagRow(0x010F, "Make"),
    MakeTagRow(0x0110, "Model"),
    MakeTagRow(0x0111, "StripOffsets"),
    MakeTagRow(0x0112, "Orientation", "", "1:Normal,3:Rotated 180\xB0,6:CounterClockwise 90\xB0,8:Clockwise 90\xB0"),
    MakeTagRow(0x0115, "SamplesPerPixel"),
    MakeTagRow(0x0116, "RowsPerStrip"),
    MakeTagRow(0x0117, "StripByteCounts"),
    MakeTagRow(0x0118, "MinSampleValue"),
    MakeTagRow(0x0119, "MaxSampleValue"),
    MakeTagRow(0x011A, "XResolution", "", "", "%5.2f"),
    MakeTagRow(0x011B, "YResolution", "", "", "%5.2f"),
    MakeTagRow(0x011C, "PlanarConfiguration"),
    MakeTagRow(0x011D, "PageName"),
    MakeTagRow(0x011E, "XPosition"),
    MakeTagRow(0x011F, "YPosition"),
    MakeTagRow(0x0120, "FreeOffsets"),
    MakeTagRow(0x0121, "FreeByteCounts"),
    MakeTagRow(0x0122, "GrayReponseUnit"),
    MakeTagRow(0x0123, "GrayReponseCurve"),
    MakeTagRow(0x0124, "T4Options"),
    MakeTagRow(0x0125, "T6Options"),
    MakeTagRow(0x0128, "ResolutionUnit", "", "1:None Specified,2:Inch,3:Centimeter"),
    MakeTagRow(0x0129, "PageNumber"),
    MakeTagRow(0x012D, "TransferFunction"),
    MakeTagRow(0x0131, "Software"),
    MakeTagRow(0x0132, "DateTime"),
    MakeTagRow(0x013B, "Artist"),
    MakeTagRow(0x013C, "HostComputer"),
    MakeTagRow(0x013D, "Predictor"),
    MakeTagRow(0x013E, "WhitePoint"),
    MakeTagRow(0x013F, "PrimaryChromaticities"),
    MakeTagRow(0x0140, "ColorMap"),
    MakeTagRow(0x0141, "HalfToneHints"),
    MakeTagRow(0x0142, "TileWidth"),
    MakeTagRow(0x0143, "TileLength"),
    MakeTagRow(0x0144, "TileOffsets"),
    MakeTagRow(0x0145, "TileByteCounts"),
    MakeTagRow(0x014A, "SubIFDs"),
    MakeTagRow(0x014C, "InkSet"),
    MakeTagRow(0x014D, "InkNames"),
    MakeTagRow(0x014E, "NumberOfInks"),
    MakeTagRow(0x0150, "DotRange"),
    MakeTagRow(0x0151, "TargetPrinter"),
    MakeTagRow(0x0152, "ExtraSample"),
    MakeTagRow(0x0153, "SampleFormat"),
    MakeTagRow(0x0154, "SMinSampleValue"),
    MakeTagRow(0x0155, "SMaxSampleValue"),
    MakeTagRow(0x0156, "TransferRange"),
    MakeTagRow(0x0157, "ClipPath"),
    MakeTagRow(0x0158, "XClipPathUnits"),
    MakeTagRow(0x0159, "YClipPathUnits"),
    MakeTagRow(0x015A, "Indexed"),
    MakeTagRow(0x015B, "JPEGTables"),
    MakeTagRow(0x015F, "OPIProxy"),
    MakeTagRow(0x0200, "JPEGProc"),
    MakeTagRow(0x0201, "JPEGInterchangeFormat"),
    MakeTagRow(0x0202, "JPEGInterchangeFormatLength"),
    MakeTagRow(0x0203, "JPEGRestartInterval"),
    MakeTagRow(0x0205, "JPEGLosslessPredictors"),
    MakeTagRow(0x0206, "JPEGPointTransforms"),
    MakeTagRow(0x0207, "JPEGQTables"),
    MakeTagRow(0x0208, "JPEGDCTables"),
    MakeTagRow(0x0209, "JPEGACTables"),
    MakeTagRow(0x0211, "YCbCrCoefficients"),
    MakeTagRow(0x0212, "YCbCrSubSampling"),
    MakeTagRow(0x0213, "YCbCrPositioning", "", "1:Centered,2:Co-sited"),
    MakeTagRow(0x0214, "ReferenceBlackWhite"),
    MakeTagRow(0x02BC, "ExtensibleMetadataPlatform"),
    MakeTagRow(0x0301, "Gamma"),
    MakeTagRow(0x0302, "ICCProfileDescriptor"),
    MakeTagRow(0x0303, "SRGBRenderingIntent"),
    MakeTagRow(0x0304, "ImageTitle"),
    MakeTagRow(0x1000, "RelatedImageFileFormat"),
    MakeTagRow(0x1001, "RelatedImageWidth"),
    MakeTagRow(0x1002, "RelatedImageHeight"),
    MakeTagRow(0x5001, "ResolutionXUnit"),
    MakeTagRow(0x5002, "ResolutionYUnit"),
    MakeTagRow(0x5003, "ResolutionXLengthUnit"),
    MakeTagRow(0x5004, "ResolutionYLengthUnit"),
    MakeTagRow(0x5005, "PrintFlags"),
    MakeTagRow(0x5006, "PrintFlagsVersion"),
    MakeTagRow(0x5007, "PrintFlagsCrop"),
    MakeTagRow(0x5008, "PrintFlagsBleedWidth"),
    MakeTagRow(0x5009, "PrintFlagsBleedWidthScale"),
    MakeTagRow(0x500A, "HalftoneLPI"),
    MakeTagRow(0x500B, "HalftoneLPIUnit"),
    MakeTagRow(0x500C, "HalftoneDegree"),
    MakeTagRow(0x500D, "HalftoneShape"),
    MakeTagRow(0x500E, "HalftoneMisc"),
    MakeTagRow(0x500F, "HalftoneScreen"),
    MakeTagRow(0x5010, "JPEGQuality"),
    MakeTagRow(0x5011, "GridSize"),
    MakeTagRow(0x5012, "ThumbnailFormat"),
    MakeTagRow(0x5013, "ThumbnailWidth"),
    MakeTagRow(0x5014, "ThumbnailHeight"),
    MakeTagRow(0x5015, "ThumbnailColorDepth"),
    MakeTagRow(0x5016, "ThumbnailPlanes"),
    MakeTagRow(0x5017, "ThumbnailRawBytes"),
    MakeTagRow(0x5018, "ThumbnailSize"),
    MakeTagRow(0x5019, "ThumbnailCompressedSize"),
    MakeTagRow(0x501A, "ColorTransferFunction"),
    MakeTagRow(0x501B, "ThumbnailData"),
    MakeTagRow(0x5020, "ThumbnailImageWidth"),
    MakeTagRow(0x5021, "ThumbnailImageHeight"),
    MakeTagRow(0x5022, "ThumbnailBitsPerSample"),
    MakeTagRow(0x5023, "ThumbnailCompression"),
    MakeTagRow(0x5024, "ThumbnailPhotometricInterp"),
    MakeTagRow(0x5025, "ThumbnailImageDescription"),
    MakeTagRow(0x5026, "ThumbnailEquipMake"),
    MakeTagRow(0x5027, "ThumbnailEquipModel"),
    MakeTagRow(0x5028, "ThumbnailStripOffsets"),
    MakeTagRow(0x5029, "ThumbnailOrientation"),
    MakeTagRow(0x502A, "ThumbnailSamplesPerPixel"),
    MakeTagRow(0x502B, "ThumbnailRowsPerStrip"),
    MakeTagRow(0x502C, "ThumbnailStripBytesCount"),
    MakeTagRow(0x502D, "ThumbnailResolutionX"),
    MakeTagRow(0x502E, "ThumbnailResolutionY"),
    MakeTagRow(0x502F, "ThumbnailPlanarConfig"),
    MakeTagRow(0x5030, "ThumbnailResolutionUnit"),
    MakeTagRow(0x5031, "ThumbnailTransferFunction"),
    MakeTagRow(0x5032, "ThumbnailSoftwareUsed"),
    MakeTagRow(0x5033, "ThumbnailDateTime"),
    MakeTagRow(0x5034, "ThumbnailArtist"),
    MakeTagRow(0x5035, "ThumbnailWhitePoint"),
    MakeTagRow(0x5036, "ThumbnailPrimaryChromaticities"),
    MakeTagRow(0x5037, "ThumbnailYCbCrCoefficients"),
    MakeTagRow(0x5038, "ThumbnailYCbCrSubsampling"),
    MakeTagRow(0x5039, "ThumbnailYCbCrPositioning"),
    MakeTagRow(0x503A, "ThumbnailRefBlackWhite"),
    MakeTagRow(0x503B, "ThumbnailCopyRight"),
    MakeTagRow(0x5090, "LuminanceTable"),
    MakeTagRow(0x5091, "ChrominanceTable"),
    MakeTagRow(0x5100, "FrameDelay"),
    MakeTagRow(0x5101, "LoopCount"),
    MakeTagRow(0x5110, "PixelUnit"),
    MakeTagRow(0x5111, "PixelPerUnitX"),
    MakeTagRow(0x5112, "PixelPerUnitY"),
    MakeTagRow(0x5113, "PaletteHistogram"),
    MakeTagRow(0x800D, "ImageID"),
    MakeTagRow(0x80E3, "Matteing"),
    MakeTagRow(0x80E4, "DataType"),
    MakeTagRow(0x80E5, "ImageDepth"),
    MakeTagRow(0x80E6, "TileDepth"),
    MakeTagRow(0x828D, "CFARepeatPatternDim"),
    MakeTagRow(0x828E, "CFAPattern"),
    MakeTagRow(0x828F, "BatteryLevel"),
    MakeTagRow(0x8298, "Copyright"),
    MakeTagRow(0x829A, "ExposureTime", "", "", "%s sec"),
    MakeTagRow(0x829D, "FNumber", "", "", "F%0.1f"),
    MakeTagRow(0x83BB, "IPTC/NAA", "IPTC/NAA"),
    MakeTagRow(0x84E3, "IT8RasterPadding"),
    MakeTagRow(0x84E5, "IT8ColorTable"),
    MakeTagRow(0x8649, "ImageResourceInformation"),
    MakeTagRow(0x8769, "ExifOffset"),
    MakeTagRow(0x8773, "InterColorProfile"),
    MakeTagRow(0x8822, "ExposureProgram", "", "0:Unidentified,1:Manual,2:Normal,3:Aperture priority,4:Shutter priority,5:Creative(slow),6:Action(high-speed),7:Portrait mode,8:Landscape mode"),
    MakeTagRow(0x8824, "SpectralSensitivity"),
    MakeTagRow(0x8825, "GPSInfo"),
    MakeTagRow(0x8827, "ISOSpeedRatings"),
    MakeTagRow(0x8828, "OECF"),
    MakeTagRow(0x8829, "Interlace"),
    MakeTagRow(0x882A, "TimeZoneOffset"),
    MakeTagRow(0x882B, "SelfTimerMode"),
    MakeTagRow(0x9000, "ExifVersion"),
    MakeTagRow(0x9003, "DateTimeOriginal"),
    MakeTagRow(0x9004, "DateTimeDigitized"),
    MakeTagRow(0x9101, "ComponentsConfiguration", "", "", "", ComponentsFormatter),
    MakeTagRow(0x9102, "CompressedBitsPerPixel"),
    MakeTagRow(0x9201, "ShutterSpeedValue", "", "", "", ShutterSpeedFormatter),
    MakeTagRow(0x9202, "ApertureValue", "", "", "F%0.1f"),
    MakeTagRow(0x9203, "BrightnessValue"),
    MakeTagRow(0x9204, "ExposureBiasValue"),
    MakeTagRow(0x9205, "MaxApertureValue", "", "", "F%0.1f"),
    MakeTagRow(0x9206, "SubjectDistance"),
    MakeTagRow(0x9207, "MeteringMode", "", "0:Unknown,1:Average,2:Center,3:Spot,4:MultiSpot,5:MultiSegment,6:Partial"),
    MakeTagRow(0x9208, "LightSource", "", "0:Unidentified,1:Daylight,2:Fluorescent,3:Tungsten,10:Flash,17:Std A,18:Std B,19:Std C"),
    MakeTagRow(0x9209, "Flash", "", "", "", FlashFormatter),
    MakeTagRow(0x920A, "FocalLength", "", "", "%5.2f mm"),
    MakeTagRow(0x920B, "FlashEnergy"),
    MakeTagRow(0x920C, "SpatialFrequencyResponse"),
    MakeTagRow(0x920D, "Noise"),
    MakeTagRow(0x920E, "FocalPlaneXResolution"),
    MakeTagRow(0x920F, "FocalPlaneYResolution"),
    MakeTagRow(0x9210, "FocalPlaneResolutionUnit", "", "1:None Specified,2:Inch,3:Centimeter"),
    MakeTagRow(0x9211, "ImageNumber"),
    MakeTagRow(0x9212, "SecurityClassification"),
    MakeTagRow(0x9213, "ImageHistory"),
    MakeTagRow(0x9214, "SubjectLocation"),
    MakeTagRow(0x9215, "ExposureIndex"),
    MakeTagRow(0x9216, "TIFF/EPStandardID"),
    MakeTagRow(0x9217, "SensingMethod"),
    MakeTagRow(0x923F, "StoNits"),
    MakeTagRow(0x927C, "MakerNote"),
    MakeTagRow(0x9286, "UserComment"),
    MakeTagRow(0x9290, "SubSecTime"),
    MakeTagRow(0x9291, "SubSecTimeOriginal"),
    MakeTagRow(0x9292, "SubSecTimeDigitized"),
    MakeTagRow(0x953C, "ImageSourceData"),
    MakeTagRow(0x9C9B, "Title", "", "", "", WideTextFormatter),
    MakeTagRow(0x9C9C, "Comments", "", "", "", WideTextFormatter),
    MakeTagRow(0x9C9D, "Author", "", "", "", WideTextFormatter),
    MakeTagRow(0x9C9E, "Keywords", "", "", "", WideTextFormatter),
    MakeTagRow(0x9C9F, "Subject", "", "", "", WideTextFormatter),
    MakeTagRow(0xA000, "FlashPixVersion"),
    MakeTagRow(0xA001, "ColorSpace", "", "0:sBW,1:sRGB"),
    MakeTagRow(0xA002, "ExifImageWidth"),
    MakeTagRow(0xA003, "ExifImageLength"),
    MakeTagRow(0xA004, "RelatedSoundFile"),
    MakeTagRow(0xA005, "InteroperabilityOffset"),
    MakeTagRow(0xA20B, "FlashEnergy"),
    MakeTagRow(0xA20C, "SpatialFrequencyResponse"),
    MakeTagRow(0xA20E, "FocalPlaneXResolution"),
    MakeTagRow(0xA20F, "FocalPlaneYResolution"),
    MakeTagRow(0xA210, "FocalPlaneResolutionUnit", "", "1:None Specified,2:Inch,3:Centimeter"),
    MakeTagRow(0xA211, "ImageNumber"),
    MakeTagRow(0xA212, "SecurityClassification"),
    MakeTagRow(0xA213, "ImageHistory"),
    MakeTagRow(0xA214, "SubjectLocation"),
    MakeTagRow(0xA215, "ExposureIndex"),
    MakeTagRow(0xA216, "TIFF/EPStandardID", "TIFF/EPStandardID"),
    MakeTagRow(0xA217, "SensingMethod", "", "0:Unknown,1:MonochromeArea,2:OneChipColorArea,3:TwoChipColorArea,4:ThreeChipColorArea,5:ColorSequentialArea,6:MonochromeLinear,7:TriLinear,8:ColorSequentialLinear"),
    MakeTagRow(0xA300, "FileSource", "", "1:Unknown,3:Digital Still Camera"),
    MakeTagRow(0xA301, "SceneType", "", "0:Unknown,1:Directly Photographed"),
    MakeTagRow(0xA302, "CFAPattern"),
    MakeTagRow(0xA401, "CustomRendered", "", "0:Normal process,1:Custom process"),
    MakeTagRow(0xA402, "ExposureMode", "", "0:Auto,1:Manual,2:Auto bracket"),
    MakeTagRow(0xA403, "WhiteBalance", "", "0:Auto,1:Manual"),
    MakeTagRow(0xA404, "DigitalZoomRatio"),
    MakeTagRow(0xA405, "FocalLengthin35mmFilm", "Focal Length in 35mm Film", "", "%5.2f mm"),
    MakeTagRow(0xA406, "SceneCaptureType", "", "0:Standard,1:Landscape,2:Portrait,3:Night scene"),
    MakeTagRow(0xA407, "GainControl", "", "0:None,1:Low gain up,2:High gain up,3:Low gain down,4:High gain down"),
    MakeTagRow(0xA408, "Contrast", "", "0:Normal,1:Soft,2:Hard"),
    MakeTagRow(0xA409, "Saturation", "", "0:Normal,1:Low,2:High"),
    MakeTagRow(0xA40A, "Sharpness", "", "0:Normal,1:Soft,2:Hard"),
    MakeTagRow(0xA40B, "DeviceSettingDescription"),
    MakeTagRow(0xA40C, "SubjectDistanceRange", "", "0:Unknown,1:Macro,2:Close view,3:Distant view"),
    MakeTagRow(0xA420, "ImageUniqueID"),
    MakeTagRow(0x0000, "Unknown"),
}};

inline constexpr std::size_t kMainTagRows = 250;  // rows before the Unknown row
inline constexpr std::size_t kUnknownRow = 250;

inline constexpr std::array<TagRow, 31> GpsTagDictionary = {{
    MakeTagRow(0x0000, "GPSVersionID"),
    MakeTagRow(0x0001, "GPSLatitudeRef"),
    MakeTagRow(0x0002, "GPSLatitude", "", "", "", GpsCoordinateFormatter),
    MakeTagRow(0x0003, "GPSLongitudeRef"),
    MakeTagRow(0x0004, "GPSLongitude", "", "", "", GpsCoordinateFormatter),
    MakeTagRow(0x0005, "GPSAltitudeRef", "", "0:Sealevel"),
    MakeTagRow(0x0006, "GPSAltitude"),
    MakeTagRow(0x0007, "GPSTimeStamp", "", "", "", GpsTimeFormatter),
    MakeTagRow(0x0008, "GPSSatellites"),
    MakeTagRow(0x0009, "GPSStatus"),
    MakeTagRow(0x000A, "GPSMeasureMode"),
    MakeTagRow(0x000B, "GPSDOP"),
    MakeTagRow(0x000C, "GPSSpeedRef"),
    MakeTagRow(0x000D, "GPSSpeed"),
    MakeTagRow(0x000E, "GPSTrackRef"),
    MakeTagRow(0x000F, "GPSTrack"),
    MakeTagRow(0x0010, "GPSImageDirectionRef"),
    MakeTagRow(0x0011, "GPSImageDirection"),
    MakeTagRow(0x0012, "GPSMapDatum"),
    MakeTagRow(0x0013, "GPSDestLatitudeRef"),
    MakeTagRow(0x0014, "GPSDestLatitude", "", "", "", GpsCoordinateFormatter),
    MakeTagRow(0x0015, "GPSDestLongitudeRef"),
    MakeTagRow(0x0016, "GPSDestLongitude", "", "", "", GpsCoordinateFormatter),
    MakeTagRow(0x0017, "GPSDestBearingkRef"),
    MakeTagRow(0x0018, "GPSDestBearing"),
    MakeTagRow(0x0019, "GPSDestDistanceRef"),
    MakeTagRow(0x001A, "GPSDestDistance"),
    MakeTagRow(0x001B, "GPSProcessingMode"),
    MakeTagRow(0x001C, "GPSAreaInformation"),
    MakeTagRow(0x001D, "GPSDateStamp"),
    MakeTagRow(0x001E, "GPSDifferential"),
}};

namespace detail {
template <std::size_t N>
constexpr bool StrictlyAscending(const std::array<TagRow, N>& table, std::size_t rows) {
    for (std::size_t i = 1; i < rows; ++i)
        if (table[i - 1].TagNumber >= table[i].TagNumber) return false;
    return true;
}
}  // namespace detail

static_assert(detail::StrictlyAscending(MainTagDictionary, kMainTagRows),
              "the main dictionary's tag rows must be in ascending tag order");
static_assert(MainTagDictionary[kUnknownRow].TagNumber == 0 &&
              MainTagDictionary[kUnknownRow].TagName == "Unknown");
static_assert(detail::StrictlyAscending(GpsTagDictionary, GpsTagDictionary.size()));
static_assert(NamesAndCaptionsAreAscii(MainTagDictionary) && NamesAndCaptionsAreAscii(GpsTagDictionary));
static_assert(GpsTagDictionary.front().TagNumber == 0x00 && GpsTagDictionary.back().TagNumber == 0x1E);

// The caption that a name gets: a blank before every capital A-Z that follows a non-capital
// ("ISOSpeedRatings" -> "ISOSpeed Ratings", "T4Options" -> "T4 Options").
std::string SpacedName(std::string_view name);

// The completed caption of row `row` of MainTagDictionary / GpsTagDictionary: the row's own
// caption, or SpacedName of its name. The captions are completed while the program is compiled,
// so a read costs nothing before it finds a tag.
std::string_view MainCaptionView(std::size_t row);
std::string_view GpsCaptionView(std::size_t row);

// The same captions as strings, made once per process (thread-safe) by the first call of
// InitTagDictionaries or of either accessor; later calls change nothing.
void InitTagDictionaries();
const std::string& MainCaption(std::size_t row);
const std::string& GpsCaption(std::size_t row);

// A dictionary row together with its completed caption; both live as long as the process.
struct DictionaryRow {
    const TagRow* Row = nullptr;
    std::string_view Caption;
};

// The row for tag in a directory of that kind, or the Unknown row, without copying anything.
DictionaryRow FindDictionaryRow(std::uint16_t tag, DirectoryKind kind);

// The row for tag in a directory of that kind (the last matching row), or the Unknown row;
// always a full record with the completed caption.
TagEntry LookupTagNumber(std::uint16_t tag, DirectoryKind kind);

// Index of the first row of table whose TagNumber is tag, or -1.
int IndexOfTag(std::uint16_t tag, std::span<const TagRow> table);

// ValueMap of the last row of table whose TagNumber is tag, or "".
std::string ValueMapOfTag(std::uint16_t tag, std::span<const TagRow> table);

// Index of the first of the 250 tag rows of MainTagDictionary whose name equals name ignoring
// ASCII letter case, or -1 (the Unknown row and the GPS dictionary are not searched).
int DictionaryIndexOfName(std::string_view name);

}  // namespace veltrane::exif
