// SPDX-License-Identifier: GPL-3.0-or-later
// The EXIF reader's speed.
//
// 1. Per file, the nineteen rows of the EXIF window read with this reader from an in-memory
//    JPEG, against libexif reading the same eighteen fields as text (its ExifLoader, as the exif tool reads a file,
//    then exif_entry_get_value for each field). The files are the sample writer's images, files
//    shaped like those of cameras and phones (camera_shapes.h: Canon EOS and 1D, Olympus with
//    sub-directories, Casio, a phone with GPS, no APP1, an XMP APP1), a small file with a broken
//    EXIF section and one cut off in its header, and the real camera files: the images of the
//    camera files in ../shared/fixtures when present, and every .jpg file of the folder that
//    VELTRANE_EXIF_CORPUS names. Goals: over the real camera files the median at least 6 times
//    as fast as libexif and the sum at least 5 times; every file at least 2 times.
// 2. The rows of a 10 MiB JPEG against the rows of its first 64 KiB: the walk stops at the start
//    of scan and the buffer is never copied whole, so the ratio of the medians stays below 1.2.
//
// 3. The rows of a camera file as a Canon compact writes it (about 35 EXIF entries) with its
//    maker note of 30 entries, against the same file whose MakerNote entry is empty: decoding
//    the note at most doubles the cost.
//
// Times are the CPU time of the one thread (median of the repetitions): on a machine shared
// with other work the wall time measures the neighbours as much as the reader.
//
// After the runs a summary prints the figures and whether they meet their goals.
#include <benchmark/benchmark.h>
#include <libexif/exif-data.h>
#include <libexif/exif-loader.h>

#include <algorithm>
#include <cstdint>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "core/exif/exif_reader.h"
#include "core/images/extraction.h"
#include "core/images/scanner.h"
#include "core/metadata/exif_rows.h"
#include "core/metadata/metadata_reader.h"
#include "tests/makernotes/camera_shapes.h"
#include "tests/makernotes/note_builder.h"
#include "tools/samples/jpeg_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct NamedFile {
    std::string Name;
    Bytes Content;
    bool Camera = false;  // a real camera's file (the fixtures' images, the corpus folder's files)
};

// Small files whose EXIF is broken or whose data is cut off, where a read's fixed cost shows:
// an APP1 "Exif" section too short for the first directory's offset, and a file that ends inside
// its EXIF section (its entries read as zeros past the end).
void AddBrokenFiles(std::vector<NamedFile>& files) {
    const Bytes jfif = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
    Bytes shortExif = jfif;
    const Bytes app1 = {0xFF, 0xE1, 0x00, 0x0C, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 0x2A, 0x00};
    shortExif.insert(shortExif.end(), app1.begin(), app1.end());
    const Bytes rest = {0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0x12, 0x34, 0xFF, 0xD9};
    shortExif.insert(shortExif.end(), rest.begin(), rest.end());
    files.push_back({"broken_exif", shortExif});
    Bytes cut = veltrane::samples::SampleStereoImage(0, {}, veltrane::samples::ByteOrder::Little);
    cut.resize(std::min<std::size_t>(cut.size(), 200));
    files.push_back({"cut_off", cut});
}

// The .jpg and .jpeg files of the folder that VELTRANE_EXIF_CORPUS names, if any: real camera
// files to measure on besides the fixtures.
void AddCorpusFiles(std::vector<NamedFile>& files) {
    const char* folder = std::getenv("VELTRANE_EXIF_CORPUS");
    if (folder == nullptr || *folder == '\0') return;
    std::error_code ec;
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
        std::string ext = entry.path().extension().string();
        for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == ".jpg" || ext == ".jpeg") paths.push_back(entry.path());
    }
    std::sort(paths.begin(), paths.end());
    for (const auto& path : paths) {
        std::FILE* in = std::fopen(path.string().c_str(), "rb");
        if (in == nullptr) continue;
        Bytes content;
        std::uint8_t buffer[65536];
        for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;) content.insert(content.end(), buffer, buffer + got);
        std::fclose(in);
        files.push_back({path.filename().string(), std::move(content), true});
    }
}

std::vector<NamedFile> BenchFiles() {
    std::vector<NamedFile> files;
    files.push_back({"sample_little", veltrane::samples::SampleStereoImage(0, {}, veltrane::samples::ByteOrder::Little)});
    files.push_back({"sample_big", veltrane::samples::SampleStereoImage(1, {}, veltrane::samples::ByteOrder::Big)});
    for (veltrane::bench::ShapeFile& shape : veltrane::bench::CameraShapes())
        files.push_back({shape.Name, std::move(shape.Content)});
    const std::filesystem::path fixtures = VELTRANE_FIXTURES_DIR;
    std::error_code ec;
    std::vector<std::filesystem::path> mpos;
    for (const auto& entry : std::filesystem::directory_iterator(fixtures, ec))
        if (entry.path().extension() == ".mpo") mpos.push_back(entry.path());
    std::sort(mpos.begin(), mpos.end());
    for (const auto& path : mpos) {
        try {
            veltrane::ImageIndex index;
            veltrane::ScanListener quiet;
            veltrane::ScanImageOffsets(index, path.string(), {}, quiet);
            for (int n = 1; n <= index.ImageCount; ++n)
                files.push_back({path.stem().string() + "_" + std::to_string(n),
                                 veltrane::ReadImageBytes(path.string(), index, n), true});
        } catch (const std::exception&) {
            // an unreadable fixture is left out
        }
    }
    return files;
}

// A camera file with the EXIF entries of a Canon compact and a maker note of 30 entries in its
// EXIF directory: the camera-settings, shot-information and custom-function arrays, texts,
// numbers, entries the decoder skips and entries it does not know. With withNote false the
// MakerNote entry is empty, so the walk skips it and everything else stays the same.
Bytes CanonFile(bool withNote) {
    using veltrane::testing::NoteEntry;
    const veltrane::testing::NoteValues v(veltrane::samples::ByteOrder::Little);
    std::vector<NoteEntry> entries = {
        v.Short(0x0001, {92, 2, 0, 3, 4, 0, 0, 1, 0, 0, 1, 1, 0, 0, 0, 0, 15, 3, 1, 16385, 0, 32767,
                         65535, 31000, 6200, 1000, 0, 0, 0, 0, 0, 0, 0, 0, 0, 65535, 0, 0, 0, 0, 0, 0,
                         0, 0, 0, 0}),
        v.Short(0x0002, {0, 6200, 0, 0}),
        v.Short(0x0003, {0, 0, 0, 0}),
        v.Short(0x0004, {68, 0, 160, 128, 174, 0, 0, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 453, 0, 0, 0,
                         0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}),
        veltrane::testing::NoteValues::Ascii(0x0006, std::string("IMG:PowerShot S1 IS JPEG") + std::string(8, '\0')),
        veltrane::testing::NoteValues::Ascii(0x0007, std::string("Firmware Version 1.00") + std::string(3, '\0')),
        v.Long(0x0008, {1000123}),
        veltrane::testing::NoteValues::Ascii(0x0009, std::string("Veltrane Developers") + std::string(13, '\0')),
        v.Long(0x000C, {0x5A1B2C3D}),
        v.Short(0x000D, {0, 1, 2, 3, 4, 5, 6, 7}),
        v.Short(0x000F, {0x0101, 0x0200, 0x0301, 0x0400, 0x0501, 0x0600, 0x0702, 0x0800}),
        v.Long(0x0010, {0x01140000}),
    };
    for (int tag : {0x0012, 0x0013, 0x0018, 0x0019, 0x001C, 0x001D, 0x001E, 0x001F, 0x0020,
                              0x0022, 0x0023, 0x0024, 0x0025, 0x0026, 0x0027, 0x0028, 0x0083, 0x0093})
        entries.push_back(v.Short(static_cast<std::uint16_t>(tag), {static_cast<std::uint16_t>(tag), 1, 2}));
    veltrane::testing::Camera camera;
    camera.make = "Canon";
    camera.model = "Canon PowerShot S1 IS";
    // The EXIF entries a compact camera of that make writes besides its note.
    const veltrane::samples::SampleExif sample;
    const std::string comment(264, '\0');
    camera.afterNote = {
        v.Rational(0x829A, {sample.exposureTime}), v.Rational(0x829D, {sample.fNumber}),
        veltrane::testing::NoteValues::Ascii(0x9003, std::string("2026:12:07 10:00:00") + '\0'),
        veltrane::testing::NoteValues::Ascii(0x9004, std::string("2026:12:07 10:00:00") + '\0'),
        veltrane::testing::NoteValues::Undefined(0x9101, std::string("\x01\x02\x03\0", 4)),
        v.Rational(0x9102, {{3, 1}}), v.Rational(0x9201, {{189, 32}}), v.Rational(0x9202, {{95, 32}}),
        v.Rational(0x9204, {{0, 3}}), v.Rational(0x9205, {{95, 32}}), v.Short(0x9207, {5}),
        v.Short(0x9209, {sample.flash}), v.Rational(0x920A, {sample.focalLength}),
        veltrane::testing::NoteValues::Undefined(0x9286, comment),
        veltrane::testing::NoteValues::Undefined(0xA000, "0100"), v.Short(0xA001, {1}),
        v.Long(0xA002, {sample.width}), v.Long(0xA003, {sample.height}),
        v.Rational(0xA20E, {{2816000, 225}}), v.Rational(0xA20F, {{2112000, 169}}),
        v.Short(0xA210, {2}), v.Short(0xA217, {2}),
        veltrane::testing::NoteValues::Undefined(0xA300, "\x03"), v.Short(0xA401, {0}),
        v.Short(0xA402, {0}), v.Short(0xA403, {0}), v.Rational(0xA404, {{2816, 2816}}),
        v.Short(0xA406, {0})};
    const Bytes tiff = veltrane::testing::ExifTiffWithNote(camera, [&](std::int64_t noteOffset) {
        // Canon offsets count from the TIFF header; the directory starts the note.
        return withNote ? veltrane::testing::BuildNote({}, 0, veltrane::samples::ByteOrder::Little,
                                                       entries, noteOffset)
                        : Bytes{};
    });
    return veltrane::testing::JpegWithExif(tiff);
}

void VeltraneRows(benchmark::State& state, const Bytes* file) {
    for (auto _ : state) {
        veltrane::exif::ExifRows rows = veltrane::exif::ExifWindowRows(std::span<const std::uint8_t>(*file), 1,
                                                                        static_cast<std::int64_t>(file->size()), {});
        benchmark::DoNotOptimize(rows);
    }
}

// Everything the reader can show (what --info and --tags print): every tag and maker-note line
// rendered. Measured for information; no goal.
void VeltraneFull(benchmark::State& state, const Bytes* file) {
    for (auto _ : state) {
        veltrane::exif::ExifReader reader(veltrane::exif::FullReaderParts);
        reader.OpenBuffer(std::span<const std::uint8_t>(*file), veltrane::exif::SourceFormat::Jpeg);
        benchmark::DoNotOptimize(reader.Directory());
    }
}

constexpr ExifTag kLibexifFields[] = {
    EXIF_TAG_IMAGE_DESCRIPTION, EXIF_TAG_MAKE,           EXIF_TAG_MODEL,          EXIF_TAG_SOFTWARE,
    EXIF_TAG_ORIENTATION,       EXIF_TAG_DATE_TIME,      EXIF_TAG_EXPOSURE_TIME,  EXIF_TAG_EXPOSURE_MODE,
    EXIF_TAG_EXPOSURE_PROGRAM,  EXIF_TAG_FNUMBER,        EXIF_TAG_METERING_MODE,  EXIF_TAG_FLASH,
    EXIF_TAG_ISO_SPEED_RATINGS, EXIF_TAG_PIXEL_X_DIMENSION, EXIF_TAG_PIXEL_Y_DIMENSION,
    EXIF_TAG_X_RESOLUTION,      EXIF_TAG_Y_RESOLUTION,   EXIF_TAG_FOCAL_LENGTH};

void LibexifFields(benchmark::State& state, const Bytes* file) {
    std::vector<std::string> values;
    for (auto _ : state) {
        values.clear();
        // libexif's loader, as its exif tool reads a file: it walks the JPEG's segments to the
        // APP1 "Exif" one wherever it lies (exif_data_new_from_data alone gives up at a comment
        // or an APP13 segment before it, and would be timed doing no work).
        ExifLoader* loader = exif_loader_new();
        exif_loader_write(loader, const_cast<unsigned char*>(file->data()), static_cast<unsigned int>(file->size()));
        ExifData* data = exif_loader_get_data(loader);
        exif_loader_unref(loader);
        for (ExifTag tag : kLibexifFields) {
            char text[256] = {};
            ExifEntry* entry = data ? exif_data_get_entry(data, tag) : nullptr;
            if (entry) exif_entry_get_value(entry, text, sizeof text);
            values.emplace_back(text);
        }
        if (data) exif_data_unref(data);
        benchmark::DoNotOptimize(values);
    }
}

// Collects the median real time of every benchmark for the summary.
class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.run_type == Run::RT_Aggregate && run.aggregate_name == "median")
                medians_[run.run_name.function_name] = run.GetAdjustedCPUTime();
        ConsoleReporter::ReportRuns(runs);
    }
    double Median(const std::string& name) const {
        const auto it = medians_.find(name);
        return it == medians_.end() ? 0 : it->second;
    }

private:
    std::map<std::string, double> medians_;
};

}  // namespace

int main(int argc, char** argv) {
    // `bench_exif --write-shapes FOLDER` writes the camera-shaped files as FOLDER/<name>.jpg, for
    // whole-process comparisons (hyperfine of veltrane --exif, exif, exiv2 -pa), and ends.
    if (argc == 3 && std::string(argv[1]) == "--write-shapes") {
        for (const veltrane::bench::ShapeFile& shape : veltrane::bench::CameraShapes())
            if (!veltrane::samples::WriteFile(std::string(argv[2]) + "/" + shape.Name + ".jpg", shape.Content))
                return 1;
        return 0;
    }
    std::vector<NamedFile> files = BenchFiles();
    AddBrokenFiles(files);
    AddCorpusFiles(files);

    // A 10 MiB image: the sample's header and scan, then scan bytes up to 10 MiB and an end of
    // image; and its first 64 KiB.
    Bytes large = veltrane::samples::SampleStereoImage(0);
    large.resize(large.size() - 2);
    large.resize(10u << 20, 0x55);
    large[large.size() - 2] = 0xFF;
    large[large.size() - 1] = 0xD9;
    const Bytes head(large.begin(), large.begin() + (64 << 10));

    for (const NamedFile& f : files) {
        benchmark::RegisterBenchmark(("veltrane/" + f.Name).c_str(), VeltraneRows, &f.Content)->MinTime(0.1)->Repetitions(5);
        benchmark::RegisterBenchmark(("libexif/" + f.Name).c_str(), LibexifFields, &f.Content)->MinTime(0.1)->Repetitions(5);
        benchmark::RegisterBenchmark(("veltrane_full/" + f.Name).c_str(), VeltraneFull, &f.Content)->MinTime(0.1)->Repetitions(5);
    }
    const Bytes canon = CanonFile(true), canonWithout = CanonFile(false);
    benchmark::RegisterBenchmark("veltrane_makernote/with", VeltraneRows, &canon)->MinTime(0.1)->Repetitions(9);
    benchmark::RegisterBenchmark("veltrane_makernote/without", VeltraneRows, &canonWithout)->MinTime(0.1)->Repetitions(9);
    benchmark::RegisterBenchmark("veltrane_size/10MiB", VeltraneRows, &large)->MinTime(0.1)->Repetitions(9);
    benchmark::RegisterBenchmark("veltrane_size/64KiB", VeltraneRows, &head)->MinTime(0.1)->Repetitions(9);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    // The ratios of a group of files: median, slowest and the sum, against their goals.
    auto summarise = [&](const char* group, bool camerasOnly, double medianGoal, double slowestGoal, double sumGoal) {
        std::vector<double> ratios;
        double oursSum = 0, theirsSum = 0;
        for (const NamedFile& f : files) {
            const double ours = reporter.Median("veltrane/" + f.Name);
            const double theirs = reporter.Median("libexif/" + f.Name);
            if (ours <= 0 || theirs <= 0 || (camerasOnly && !f.Camera)) continue;
            ratios.push_back(theirs / ours);
            oursSum += ours;
            theirsSum += theirs;
        }
        if (ratios.empty()) return;
        std::sort(ratios.begin(), ratios.end());
        const std::size_t n = ratios.size();
        const double median = n % 2 ? ratios[n / 2] : (ratios[n / 2 - 1] + ratios[n / 2]) / 2;
        auto goal = [](double value, double at) {
            char text[64] = "";
            if (at > 0) std::snprintf(text, sizeof text, " (goal: at least %.1fx) %s", at, value >= at ? "MET" : "NOT MET");
            return std::string(text);
        };
        std::printf("%s, %zu files: median %.2fx%s; slowest %.2fx%s; sum %.0f ns / %.0f ns = %.2fx%s\n", group, n, median,
                    goal(median, medianGoal).c_str(), ratios.front(), goal(ratios.front(), slowestGoal).c_str(), theirsSum,
                    oursSum, theirsSum / oursSum, goal(theirsSum / oursSum, sumGoal).c_str());
    };
    std::printf("\nper file: libexif median / veltrane median (CPU time); the full read for information\n");
    for (const NamedFile& f : files) {
        const double ours = reporter.Median("veltrane/" + f.Name);
        const double theirs = reporter.Median("libexif/" + f.Name);
        if (ours <= 0 || theirs <= 0) continue;
        std::printf("  %-22s %s veltrane %9.0f ns  libexif %9.0f ns  ratio %5.2f  full read %9.0f ns %s\n",
                    f.Name.c_str(), f.Camera ? "camera" : "      ", ours, theirs, theirs / ours,
                    reporter.Median("veltrane_full/" + f.Name), theirs / ours >= 2 ? "" : "(below 2)");
    }
    summarise("real camera files", true, 6, 2, 5);
    // For information: a file cut off inside its EXIF section reads as a whole one with zeros
    // past the end, where libexif gives up at once.
    summarise("all files (camera-shaped, broken and cut-off ones too; for information)", false, 0, 0, 0);
    const double big = reporter.Median("veltrane_size/10MiB");
    const double small = reporter.Median("veltrane_size/64KiB");
    if (big > 0 && small > 0)
        std::printf("10 MiB / 64 KiB: %.0f ns / %.0f ns = %.3f (goal: below 1.2) %s\n", big, small, big / small,
                    big / small < 1.2 ? "MET" : "NOT MET");
    const double with = reporter.Median("veltrane_makernote/with");
    const double without = reporter.Median("veltrane_makernote/without");
    if (with > 0 && without > 0)
        std::printf("Canon maker note of 30 entries: %.0f ns / %.0f ns = %.2f (goal: at most 2) %s\n", with,
                    without, with / without, with / without <= 2 ? "MET" : "NOT MET");
    benchmark::Shutdown();
    return 0;
}
