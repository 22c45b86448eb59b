// The EXIF reader's speed.
//
// 1. Per file, the nineteen rows of the EXIF window read with this reader from an in-memory
//    JPEG, against libexif reading the same eighteen fields as text (exif_data_new_from_data,
//    then exif_entry_get_value for each field). The files are the sample writer's images and,
//    when present, the images of the camera files in ../shared/fixtures. Goal: this reader at
//    least twice as fast per file, median over the files.
// 2. The rows of a 10 MiB JPEG against the rows of its first 64 KiB: the walk stops at the start
//    of scan and the buffer is never copied whole, so the ratio of the medians stays below 1.2.
//
// After the runs a summary prints both figures and whether they meet their goals.
#include <benchmark/benchmark.h>
#include <libexif/exif-data.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <span>
#include <string>
#include <vector>

#include "core/exif/exif_rows.h"
#include "core/split/extraction.h"
#include "core/split/scanner.h"
#include "tools/samples/jpeg_writer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct NamedFile {
    std::string Name;
    Bytes Content;
};

class Collect : public veltrane::ScanListener {
public:
    void AppendListLine(const std::string&) override {}
    void ProcessPendingEvents() override {}
};

std::vector<NamedFile> BenchFiles() {
    std::vector<NamedFile> files;
    files.push_back({"sample_little", veltrane::samples::SampleStereoImage(0, {}, veltrane::samples::ByteOrder::Little)});
    files.push_back({"sample_big", veltrane::samples::SampleStereoImage(1, {}, veltrane::samples::ByteOrder::Big)});
    const std::filesystem::path fixtures = VELTRANE_FIXTURES_DIR;
    std::error_code ec;
    std::vector<std::filesystem::path> mpos;
    for (const auto& entry : std::filesystem::directory_iterator(fixtures, ec))
        if (entry.path().extension() == ".mpo") mpos.push_back(entry.path());
    std::sort(mpos.begin(), mpos.end());
    for (const auto& path : mpos) {
        try {
            veltrane::ImageIndex index;
            index.SourceFileName = path.string();
            Collect listener;
            veltrane::ScanImageOffsets(index, index.SourceFileName, veltrane::ImageSignature, listener);
            for (int n = 1; n <= index.ImageCount; ++n)
                files.push_back({path.stem().string() + "_" + std::to_string(n), veltrane::ReadImageBytes(index, n)});
        } catch (const std::exception&) {
            // an unreadable fixture is left out
        }
    }
    return files;
}

void VeltraneRows(benchmark::State& state, const Bytes* file) {
    for (auto _ : state) {
        veltrane::exif::ExifRows rows = veltrane::exif::ExifWindowRows(std::span<const std::uint8_t>(*file), "Image 001");
        benchmark::DoNotOptimize(rows);
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
        ExifData* data = exif_data_new_from_data(file->data(), static_cast<unsigned int>(file->size()));
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
                medians_[run.run_name.function_name] = run.GetAdjustedRealTime();
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
    const std::vector<NamedFile> files = BenchFiles();

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
    }
    benchmark::RegisterBenchmark("veltrane_size/10MiB", VeltraneRows, &large)->MinTime(0.1)->Repetitions(9);
    benchmark::RegisterBenchmark("veltrane_size/64KiB", VeltraneRows, &head)->MinTime(0.1)->Repetitions(9);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);

    std::vector<double> ratios;
    std::printf("\nper file: libexif median / veltrane median\n");
    for (const NamedFile& f : files) {
        const double ours = reporter.Median("veltrane/" + f.Name);
        const double theirs = reporter.Median("libexif/" + f.Name);
        if (ours <= 0 || theirs <= 0) continue;
        ratios.push_back(theirs / ours);
        std::printf("  %-22s veltrane %9.0f ns  libexif %9.0f ns  ratio %5.2f\n", f.Name.c_str(), ours, theirs,
                    theirs / ours);
    }
    if (!ratios.empty()) {
        std::sort(ratios.begin(), ratios.end());
        const std::size_t n = ratios.size();
        const double median = n % 2 ? ratios[n / 2] : (ratios[n / 2 - 1] + ratios[n / 2]) / 2;
        std::printf("median speed-up over %zu files: %.2fx (goal: at least 2x) %s\n", n, median,
                    median >= 2 ? "MET" : "NOT MET");
    }
    const double big = reporter.Median("veltrane_size/10MiB");
    const double small = reporter.Median("veltrane_size/64KiB");
    if (big > 0 && small > 0)
        std::printf("10 MiB / 64 KiB: %.0f ns / %.0f ns = %.3f (goal: below 1.2) %s\n", big, small, big / small,
                    big / small < 1.2 ? "MET" : "NOT MET");
    benchmark::Shutdown();
    return 0;
}
