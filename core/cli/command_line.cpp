// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/cli/command_line.h"

#include <algorithm>
#include <memory>
#include <new>
#include <ostream>

#include "core/cli/commands.h"
#include "core/cli/metadata_files.h"
#include "core/common/io_error.h"
#include "core/images/image_index.h"
#include "core/parts/file_parts.h"

namespace veltrane {

std::string UsageText() {
    return
        "Usage:\n"
        "  veltrane                                 open the Veltrane window\n"
        "  veltrane FILE [FOLDER | odd | even] [odd | even | WORD]\n"
        "                                           split an MPO file without any window\n"
        "  veltrane --each [odd | even] [--] FILE...\n"
        "                                           split each FILE into its own folder\n"
        "  veltrane --list FILE...                  list the images of MPO files\n"
        "  veltrane --parts FILE...                 list every part of each file: images, gain\n"
        "                                           and depth maps, a motion photo's video, ...\n"
        "  veltrane --mpf FILE...                   print each file's MPF index of its images\n"
        "                                           and whether the signature scan agrees\n"
        "  veltrane --exif FILE... | FILE N         the EXIF window's nineteen rows\n"
        "  veltrane --info FILE...                  the EXIF reader's status and text lines\n"
        "  veltrane --tags FILE...                  every stored EXIF tag: name TAB value\n"
        "  veltrane --iptc FILE...                  every IPTC dataset: name TAB value\n"
        "           these seven also with [--json] [--image N] [-@ LIST], before or after the\n"
        "           command word\n"
        "  veltrane --stereo [--layout LAYOUT] [--anaglyph KIND] [--pair L,R] [--align [full]]\n"
        "           [--keystone] [--parallax PX] [--swap] [--delay MS] [--max-size N] [--quality Q]\n"
        "           [--baseline MM] [--fov DEG] [--disparity FRACTION]\n"
        "           FILE [OUTPUT] | LEFT.jpg RIGHT.jpg OUTPUT | --each FILE...\n"
        "                                           a stereo picture of images 1 and 2 (or L and R)\n"
        "                                           of an MPO file, of the halves of a JPS file or\n"
        "                                           of the eyes of a spatial photo (HEIF)\n"
        "  veltrane --join [--type disparity|multi-angle|panorama] [--] FILE... OUTPUT\n"
        "                                           one MPO file of the images of JPEG and MPO files\n"
        "  veltrane --repair FILE [OUTPUT]          the images of a damaged MPO file with a fresh\n"
        "                                           MPF index (default FILE_repaired.mpo)\n"
        "  veltrane --remove-video FILE [OUTPUT]    the photo without its motion-photo video\n"
        "                                           (default FILE_still.EXT)\n"
        "  veltrane --transform OP [--crop WxH+X+Y] [--perfect] [--force] [--] FILE [OUTPUT]\n"
        "                                           turn, flip or crop every image of a JPEG or\n"
        "                                           MPO file losslessly (default FILE_OP.jpg/.mpo)\n"
        "  veltrane --register-context-menu [odd | even]\n"
        "                                           add \"Extract Images\" to the file manager's\n"
        "                                           menu for .mpo files\n"
        "  veltrane --unregister-context-menu       remove that entry again\n"
        "  veltrane --help | --version\n"
        "  veltrane --no-mpf ...                    any of the above, ignoring the MPF index\n"
        "  veltrane --decode FILE ... | --each ...  a split that writes the image items of a HEIF\n"
        "                                           file as PNG files\n"
        "\n"
        "The images are those of the file's MPF index (the table of images in the first\n"
        "image's header) when it is usable; otherwise every FF D8 FF E1 in the file starts an\n"
        "image, and a warning says why an index that exists was not used. With --no-mpf only\n"
        "that signature rule is used.\n"
        "\n"
        "Splitting writes the images of FILE to FILE's name without its extension, \"_\", the\n"
        "three-digit image number and \".jpg\"; with all, the other parts follow, numbered after\n"
        "the images (.mp4, .mov, .png, .jpg, .bin by type):\n"
        "  FILE                 all images, next to FILE\n"
        "  FILE odd|even        the odd or even images, into the current folder\n"
        "  FILE FOLDER          all images, into FOLDER (which must exist)\n"
        "  FILE FOLDER odd|even the odd or even images, into FOLDER; any other third word: all\n"
        "Mode words are accepted in any letter case.\n"
        "--each splits every FILE (all, the odd or the even images) into the folder that holds\n"
        "it, several files at a time; a file that fails does not stop the others. It ends with\n"
        "a line of files split, images (and other parts, such as videos) written and failures,\n"
        "and exits with 1 if any failed.\n"
        "\n"
        "For an .mpo FILE, --exif, --info and --tags read image N (default 1) as if it had been\n"
        "extracted; any other FILE is read itself (.jpg/.jpeg/.jpe as JPEG, .tif/.tiff/.nef as\n"
        "TIFF). For a spatial photo (a HEIF file) N is 1 for the left eye, 2 for the right one:\n"
        "its Exif item is read as a JPEG file with that EXIF, and --info adds the lines \"Stereo\n"
        "baseline\", \"Horizontal field of view\" and \"Disparity adjustment\" (JSON:\n"
        "StereoBaselineMM, HorizontalFOV, DisparityAdjustment as a fraction) when the file's\n"
        "camera properties say them. N is --image N, or a number after a single FILE.\n"
        "--parts lists a line per part: number, kind, MIME type, start and length (or \"in\n"
        "XMP\"), what located it (MPF index, container directory, MicroVideo, Samsung\n"
        "trailer, XMP, ...) and its role, then a \"Problem:\" line for each length or offset that\n"
        "does not fit the file. When other parts follow the last image, it ends at its EOI.\n"
        "--list, --parts, --mpf, --exif, --info, --tags and --iptc read any number of files,\n"
        "several at a time, and print them in order, each under a line \"======== FILE\" when\n"
        "there are several; -@ LIST adds the files named in LIST, one a line (- reads standard\n"
        "input). A file that fails prints its error and the others go on; the exit status is\n"
        "then 1. --list of a HEIF file or of a file without any JPEG image fails.\n"
        "--json prints one JSON array instead, an object per file: \"SourceFile\" and, by\n"
        "command, \"Images\" (--list), \"Parts\" and \"Problems\" (--parts), \"Entries\" and\n"
        "\"ScanAgrees\" (--mpf), \"Rows\" (--exif),\n"
        "\"Status\" and \"Lines\" (--info), an object per directory such as \"IFD0\", \"ExifIFD\",\n"
        "\"GPS\" or \"MakerNotes\" (--tags), \"IPTC\" (--iptc), or \"Error\" for a file that failed.\n"
        "A name that comes again within one object holds the array of its values.\n"
        "\n"
        "--stereo writes, by LAYOUT (the name beside FILE in brackets):\n"
        "  cross        side-by-side JPS file, right eye on the left half (\".jps\"; default)\n"
        "  parallel     left eye | right eye (\"_parallel.jpg\")\n"
        "  over-under   left eye above right eye (\"_overunder.jpg\")\n"
        "  half-sbs     each eye at half width, side by side, for 3D TVs (\"_halfsbs.jpg\")\n"
        "  half-ou      each eye at half height, left above right (\"_halfou.jpg\")\n"
        "  interlaced   PNG: even rows from the left eye, odd ones from the right, for\n"
        "               passive 3D monitors (\"_interlaced.png\")\n"
        "  anaglyph     one picture for coloured glasses (\"_anaglyph.jpg\")\n"
        "  wiggle       animated GIF alternating the eyes, --delay MS each (150), at most\n"
        "               --max-size N pixels on the longer side (1280) (\"_wiggle.gif\"); an\n"
        "               OUTPUT ending .webp gives animated WebP\n"
        "  mpo          MPO file of the two images, left eye first (\"_stereo.mpo\"): each\n"
        "               copied as --join copies it or, aligned, cropped block for block\n"
        "  heic         spatial photo (\"_spatial.heic\"): both images as HEVC images of\n"
        "               --quality Q (0 to 100, default 90), the left eye the primary image, each\n"
        "               with its EXIF and colour profile, tied by a stereo-pair group, and the\n"
        "               cameras a headset needs to show it as spatial: --baseline MM between\n"
        "               the lenses, --fov DEG across, --disparity FRACTION of the width (-1 to\n"
        "               1) by which the headset moves the eyes. By default: a spatial photo's\n"
        "               own values; the MPF BaselineLength (10 to 300 mm), else the camera\n"
        "               model's (Nintendo 3DS 35, FinePix REAL 3D W1 77, W3 75), else 65; the\n"
        "               field of view from FocalLengthIn35mmFormat, else 60; the shift of\n"
        "               --align (or --parallax) as the disparity, else 0. The eyes keep their\n"
        "               width: aligned, only a shift down is cropped. A spatial photo whose\n"
        "               eyes stay as they are (and no --quality) gets its new values without\n"
        "               being coded again\n"
        "Without --layout an OUTPUT ending .gif or .webp means wiggle, .png interlaced,\n"
        ".mpo the MPO layout, .heic a spatial photo.\n"
        "Side by side and over-under are lossless, block for block, when the two JPEGs allow\n"
        "it, else re-encoded at quality 95; the half layouts are resampled with a Lanczos-3\n"
        "filter on the sRGB values. The left image's EXIF is kept.\n"
        "--anaglyph KIND: dubois (red-cyan, the default), amber-blue, green-magenta (Dubois'\n"
        "projections in linear light), gray, color, half-color, optimized (red-cyan mixes).\n"
        "--align crops both images so that the scene's dominant depth lies at the screen\n"
        "plane, searching across and down; --parallax PX moves that window by PX pixels\n"
        "(positive: the scene further behind the screen); --swap exchanges the eyes.\n"
        "--align full also corrects the rotation, scale and vertical offset between the eyes\n"
        "(--keystone: and the perspective of a toed-in rig), measured from matched features,\n"
        "half in each eye; both are cropped to their largest common rectangle and every layout\n"
        "is re-encoded. A pair whose eyes cannot be matched is refused (exit status 1).\n"
        "--each FILE...: a picture of every file, beside it under the default name, one file\n"
        "per processor core.\n"
        "A FILE named .jps, or a JPEG whose header holds a JPS descriptor, is cut into its\n"
        "halves as the descriptor says (side by side or over/under, which eye first; without\n"
        "one, cross-eyed: the right eye on the left half), block for block when the cut lies\n"
        "on the block grid, else re-encoded at quality 95. A HEIF FILE is a spatial photo: the\n"
        "two images of its stereo-pair group (left eye first), each decoded and coded again as\n"
        "JPEG at quality 95 with its own EXIF and colour profile (\"re-encoded: from HEVC\").\n"
        "OUTPUT must not be an input.\n"
        "\n"
        "--join writes the images of every FILE (all images of an MPO file, in order) into OUTPUT,\n"
        "each byte for byte but for a new MPF segment after its leading APP0/APP1 segments,\n"
        "and an index of multi-frame images of the type given (default disparity). Each image\n"
        "must be a complete JPEG image; OUTPUT must not be one of the files. --repair finds the\n"
        "images of FILE by walking their JPEG structure, leaves out stray bytes and incomplete\n"
        "images and says how many bytes it dropped (status 1 when an image is left out); the\n"
        "types come from the old index where it is readable.\n"
        "--mpf names each image's role where the file tells it: left, right, gain map or large\n"
        "thumbnail.\n"
        "\n"
        "--transform turns every image of FILE alike, block for block (no image is decoded and\n"
        "coded again). OP is rotate90, rotate180 or rotate270 (clockwise), flip-h, flip-v,\n"
        "transpose, transverse, auto (what image 1's EXIF Orientation asks; every Orientation\n"
        "is then 1) or crop (keeps --crop WxH+X+Y of image 1, its corner moved left and up onto\n"
        "the block grid). Images of other sizes, such as a gain map, get the same scaled to their\n"
        "size. Edge pixels short of a whole block where the turn needs one are trimmed, as\n"
        "jpegtran -trim does, and the report says how many; --perfect refuses instead. The MPF\n"
        "index is written anew; EXIF sizes and Orientation follow the turn, XMP is kept byte for\n"
        "byte (but a container directory's lengths of the images), an EXIF thumbnail is left\n"
        "as it was; a video or trailer after the images follows them byte for byte. A stereo\n"
        "pair stays left first: rotate180 and flip-h exchange the eyes, and the turns that\n"
        "would stand it upright need --force.\n"
        "\n"
        "Examples:\n"
        "  veltrane holiday.mpo                   writes holiday_001.jpg, holiday_002.jpg, ...\n"
        "  veltrane holiday.mpo ~/left odd        writes holiday_001.jpg, _003, ... into ~/left\n"
        "  veltrane holiday.mpo even              writes holiday_002.jpg, ... here\n"
        "  veltrane --each odd card/*.mpo         the left images, each beside its file\n"
        "  veltrane --exif holiday.mpo 2\n"
        "  veltrane --tags --json card/*.jpg      one JSON array of every file's tags\n"
        "  veltrane --stereo --align holiday.mpo  writes holiday.jps\n"
        "  veltrane --stereo --layout mpo trip.jps\n"
        "                                         writes trip_stereo.mpo\n"
        "  veltrane --stereo --layout anaglyph IMG_0001.HEIC\n"
        "                                         writes IMG_0001_anaglyph.jpg\n"
        "  veltrane --stereo --layout heic holiday.mpo\n"
        "                                         writes holiday_spatial.heic\n"
        "  veltrane --join left.jpg right.jpg pair.mpo\n"
        "  veltrane --repair broken.mpo           writes broken_repaired.mpo\n"
        "  veltrane --remove-video PXL_1.MP.jpg   writes PXL_1.MP_still.jpg\n"
        "  veltrane --transform auto photo.jpg    writes photo_auto.jpg, turned upright\n"
        "\n"
        "Exit status: 0 done (also when FILE holds no image), 1 the job failed (a message on\n"
        "stderr names the file and the cause), 2 wrong arguments.\n";
}

namespace {

int RunCommand(const std::vector<std::string>& args, CommandLineOptions options, std::ostream& out,
               std::ostream& err, const CommandLineServices& services) {
    if (args.empty()) {
        err << "veltrane: no file given\n" << UsageText();
        return kExitUsage;
    }
    const std::string& first = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (first == "--help" || first == "-h") {
        out << UsageText();
        return kExitOk;
    }
    if (first == "--version") {
        out << "Veltrane " << VELTRANE_VERSION << "\n"
            << "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>\n";
        return kExitOk;
    }
    if (first == "--no-mpf") {
        // The signature rule for the command that follows.
        options.scan.rule = ImageRule::SignatureOnly;
        return RunCommand(rest, options, out, err, services);
    }
    if (first == "--decode") {
        // A split (or --each) of a HEIF file writes its image items as PNG files.
        if (!services.DecodeHeifItem) {
            err << "veltrane: --decode is not available in this build\n";
            return kExitFailure;
        }
        const std::unique_ptr<OtherParts> decoding = parts::PartsDecodingHeifImages(
            [&services, &err](const std::string& source, std::uint32_t item, const std::string& png) {
                if (services.DecodeHeifItem(source, item, png, err) != kExitOk) throw InOutError(ioerr::ReadBeyondEnd, source);
            });
        CommandLineOptions decodingOptions = options;
        decodingOptions.scan.otherParts = decoding.get();
        return RunCommand(rest, decodingOptions, out, err, services);
    }
    if (first == "--json") {
        options.json = true;
        return RunCommand(rest, options, out, err, services);
    }
    if (first == "--image") {
        options.imageNumber = rest.empty() ? 0 : ParseImageNumber(rest[0]);
        if (options.imageNumber < 1) {
            err << "veltrane: --image needs an image number\nTry 'veltrane --help'.\n";
            return kExitUsage;
        }
        return RunCommand(std::vector<std::string>(rest.begin() + 1, rest.end()), options, out, err, services);
    }
    const bool metadataCommand = first == "--list" || first == "--mpf" || first == "--exif" || first == "--info" ||
                                 first == "--tags" || first == "--iptc" || first == "--parts";
    if ((options.json || options.imageNumber > 0) && !metadataCommand) {
        err << "veltrane: " << (options.json ? "--json" : "--image")
            << " goes with --list, --parts, --mpf, --exif, --info, --tags or --iptc\nTry 'veltrane --help'.\n";
        return kExitUsage;
    }
    if (first == "--each") return RunEachCommand(rest, options, out, err, services);
    if (first == "--list") return RunListCommand(rest, options, out, err, services);
    if (first == "--mpf") return RunMpfCommand(rest, options, out, err, services);
    if (first == "--parts") return RunPartsCommand(rest, options, out, err, services);
    if (first == "--remove-video") return RunRemoveVideoCommand(rest, out, err);
    if (first == "--join") return RunJoinCommand(rest, options, out, err);
    if (first == "--repair") return RunRepairCommand(rest, out, err);
    if (first == "--exif") return RunExifCommand(ExifCommand::Exif, rest, options, out, err, services);
    if (first == "--info") return RunExifCommand(ExifCommand::Info, rest, options, out, err, services);
    if (first == "--tags") return RunExifCommand(ExifCommand::Tags, rest, options, out, err, services);
    if (first == "--iptc") return RunIptcCommand(rest, options, out, err, services);
    if (first == "--register-context-menu")
        return RunRegisterCommand(rest, out, err, services.ProgramPath);
    if (first == "--unregister-context-menu") return RunUnregisterCommand(rest, out, err);
    if (first == "--stereo") {
        if (services.RunStereo && std::find(rest.begin(), rest.end(), "--each") != rest.end())
            return RunStereoEachCommand(rest, options, out, err, services);
        if (services.RunStereo) return services.RunStereo(rest, out, err, options.scan);
        err << "veltrane: --stereo is not available in this build\n";
        return kExitFailure;
    }
    if (first == "--transform") {
        if (services.RunTransform) return services.RunTransform(rest, out, err, options.scan);
        err << "veltrane: --transform is not available in this build\n";
        return kExitFailure;
    }
    if (first.size() > 1 && first[0] == '-' && first != "--") {
        err << "veltrane: unknown option " << first << "\nTry 'veltrane --help'.\n";
        return kExitUsage;
    }
    // "--" ends the options, for a file whose name begins with a dash.
    const std::vector<std::string>& params = first == "--" ? rest : args;
    if (params.empty()) {
        err << "veltrane: no file given\n";
        return kExitUsage;
    }
    if (params.size() > 3) {
        err << "veltrane: too many arguments\nTry 'veltrane --help'.\n";
        return kExitUsage;
    }
    return RunBatchSplitCommand(params, options, err, services);
}

}  // namespace

std::string TooManyImagesLine(const std::string& path, const char* consequence) {
    const std::string limit = std::to_string(kMaxImages);
    return "veltrane: warning: " + path + " holds more than " + limit + " images; images after the " + limit +
           "th were not " + consequence;
}

void ReportTooManyImages(std::ostream& err, const std::string& path, const char* consequence) {
    err << TooManyImagesLine(path, consequence) << "\n";
}

int RunCommandLine(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   const CommandLineServices& services, const CommandLineOptions& options) {
    try {
        // Every command knows the parts beyond a file's images: the last image ends before them.
        CommandLineOptions withParts = options;
        if (withParts.scan.otherParts == nullptr) withParts.scan = parts::WithOtherParts(options.scan);
        return RunCommand(args, withParts, out, err, services);
    } catch (const std::bad_alloc&) {
        out.flush();
        err << "veltrane: out of memory\n";
        return kExitFailure;
    }
}

}  // namespace veltrane
