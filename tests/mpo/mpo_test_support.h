// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Helpers of the MPO tests: a reading of JPEG headers of the tests' own (so that the writer is
// not checked by its own walk), the images of a written MPO file, and outside programs.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/images/mpf_index.h"
#include "tests/support/temp_dir.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace veltrane::testing {

// A marker segment of an image's header (up to SOS): offset of its FF, size with FF and marker.
struct HeaderSegment {
    std::uint8_t marker = 0;
    std::size_t offset = 0, size = 0;
    bool mpf = false, exif = false;
};

inline std::vector<HeaderSegment> HeaderSegments(const Bytes& jpeg) {
    std::vector<HeaderSegment> segments;
    for (std::size_t p = 2; p + 4 <= jpeg.size() && jpeg[p] == 0xFF && jpeg[p + 1] != 0xDA;) {
        HeaderSegment s{jpeg[p + 1], p, 2 + std::size_t(jpeg[p + 2] << 8 | jpeg[p + 3])};
        auto holds = [&](std::string_view id) {
            return p + 4 + id.size() <= jpeg.size() && std::equal(id.begin(), id.end(), jpeg.begin() + long(p) + 4);
        };
        s.mpf = s.marker == 0xE2 && holds(std::string_view("MPF\0", 4));
        s.exif = s.marker == 0xE1 && holds(std::string_view("Exif\0", 5));
        segments.push_back(s);
        p += s.size;
    }
    return segments;
}

// The image without its APP2 "MPF" segments and without the bytes after its last FF D9.
inline Bytes WithoutMpf(const Bytes& jpeg) {
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    std::size_t p = 2;
    for (const HeaderSegment& s : HeaderSegments(jpeg)) {
        if (!s.mpf) out.insert(out.end(), jpeg.begin() + long(s.offset), jpeg.begin() + long(s.offset + s.size));
        p = s.offset + s.size;
    }
    std::size_t end = jpeg.size();
    while (end >= 2 && !(jpeg[end - 2] == 0xFF && jpeg[end - 1] == 0xD9)) --end;
    out.insert(out.end(), jpeg.begin() + long(p), jpeg.begin() + long(std::max(end, p)));
    return out;
}

// Where the MPF segment belongs: after the APP0 and APP1 segments right after SOI.
inline std::size_t MpfSegmentPlace(const Bytes& jpeg) {
    std::size_t place = 2;
    for (const HeaderSegment& s : HeaderSegments(jpeg)) {
        if (s.marker != 0xE0 && s.marker != 0xE1) break;
        place = s.offset + s.size;
    }
    return place;
}

// The images of an MPO file by its index, which must be usable.
inline std::vector<Bytes> IndexedImages(const Bytes& file, MpfIndex* indexOut = nullptr) {
    MpfIndex index = ReadMpfIndex(file, static_cast<std::int64_t>(file.size()));
    CheckMpfImageStarts(index, [&](std::int64_t start) { return BeginsJpegAt(file, start); });
    if (indexOut != nullptr) *indexOut = index;
    std::vector<Bytes> images;
    if (!index.Usable()) return images;
    for (std::size_t i = 0; i < index.entries.size(); ++i) {
        const auto end = i + 1 < index.entries.size() ? index.entries[i + 1].start : std::int64_t(file.size());
        images.emplace_back(file.begin() + index.entries[i].start, file.begin() + end);
    }
    return images;
}

// The payload (after the length) of an image's first MPF segment.
inline Bytes MpfPayload(const Bytes& jpeg) {
    for (const HeaderSegment& s : HeaderSegments(jpeg))
        if (s.mpf) return Bytes(jpeg.begin() + long(s.offset) + 4, jpeg.begin() + long(s.offset + s.size));
    return {};
}

struct ProgramRun {
    int status = -1;
    std::string output;  // stdout and stderr
};

// Runs a shell command line; status -1 when it could not be run.
inline ProgramRun RunProgram(const std::string& commandLine) {
    ProgramRun run;
#ifndef _WIN32
    FILE* pipe = ::popen((commandLine + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#else
    (void)commandLine;
#endif
    return run;
}

inline bool HaveCommand(const std::string& command) {
    return RunProgram("command -v " + command + " >/dev/null").status == 0;
}

// A Python interpreter that has Pillow, or an empty string.
inline std::string PythonWithPillow() {
    for (const char* python : {"/usr/bin/python3", "python3"})
        if (RunProgram(std::string(python) + " -c 'import PIL' >/dev/null").status == 0) return python;
    return "";
}

inline std::string Quoted(const std::string& path) { return "'" + path + "'"; }

}  // namespace veltrane::testing
