// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mpo/mpo_join.h"

#include <sys/stat.h>
#include <sys/types.h>

#include "core/common/file_io.h"
#include "core/common/io_error.h"
#include "core/common/native_path.h"
#include "core/images/mpf_index.h"
#include "core/images/scanner.h"
#include "core/mpo/byte_source.h"

#ifdef _WIN32
#include <windows.h>

#include "core/common/unicode_text.h"
#endif

namespace veltrane {
namespace {

// Whether signature occurs in the source from offset from on.
bool SignatureFollows(ByteSource& source, std::int64_t from, std::span<const std::uint8_t> signature) {
    SignatureSearch search(signature);
    bool found = false;
    for (std::int64_t p = from; p < source.Size() && !found;) {
        const auto chunk = source.Chunk(p);
        if (chunk.empty()) break;
        search.Feed(chunk, p, [&](std::int64_t) { return !(found = true); });
        p += static_cast<std::int64_t>(chunk.size());
    }
    return found;
}

// Whether the file has a usable MPF index of several images (under scan's image rule): then it
// is an MPO file, whatever its first image's walk says.
bool HasIndexOfSeveral(const std::string& path, const ScanOptions& scan) {
    if (scan.rule != ImageRule::MpfIndexFirst) return false;
    InputFile file(path);
    const MpfIndex index = MpfIndexOfFile(file);
    return index.Usable() && index.entries.size() > 1;
}

// The walk of a JPEG file: its first image is complete, no image signature follows it and it
// has no usable MPF index of several images. Empty for any other file.
std::shared_ptr<const JpegImageWalk> WalkOfJpegFile(const std::string& path, const ScanOptions& scan) {
    if (HasIndexOfSeveral(path, scan)) return nullptr;
    InputFile file(path);
    FileByteSource source(file);
    auto walk = std::make_shared<JpegImageWalk>(WalkJpegImage(source, 0, source.Size()));
    if (!walk->complete) return nullptr;
    // The signature scan would find an image in the bytes after the first one's end.
    return SignatureFollows(source, walk->end, scan.signature) ? nullptr : std::move(walk);
}

}  // namespace

JoinSources CollectJoinSources(const std::vector<std::string>& files, const ScanOptions& scan,
                               const std::function<void(const std::string&, const std::string&)>& indexIgnored,
                               JoinWalk when) {
    JoinSources sources;
    for (const std::string& file : files) {
        if (!IsExistingFile(file)) throw InOutError(ioerr::FileNotFound, file);
        auto add = [&](MpoImageSource source, std::shared_ptr<const JpegImageWalk> walk) {
            MpoImage image;
            image.source = std::move(source);
            image.walk = std::move(walk);
            sources.images.push_back(std::move(image));
        };
        if (when == JoinWalk::WhileWriting && !HasIndexOfSeveral(file, scan)) {
            // Taken for a JPEG file; the writer's walk tells whether it is one.
            add(MpoImageSource::File(file, 0, -1, file), nullptr);
            sources.images.back().acceptWalk =
                [signature = std::vector<std::uint8_t>(scan.signature.begin(), scan.signature.end())](
                    ByteSource& source, const JpegImageWalk& walk) {
                    return walk.complete && !SignatureFollows(source, walk.end, signature);
                };
            continue;
        }
        if (auto walk = WalkOfJpegFile(file, scan)) {
            add(MpoImageSource::File(file, 0, -1, file), std::move(walk));
            continue;
        }
        ImageIndex index;
        ScanNotices listener;
        ScanImageOffsets(index, file, scan, listener);
        sources.overLimit = sources.overLimit || listener.limitReached;
        if (index.ImageCount < 2) {
            // An image that is not complete, or one whose index is that of the file it was split
            // from: the writer says what is wrong with it.
            add(MpoImageSource::File(file, 0, -1, file), nullptr);
            continue;
        }
        if (!listener.mpfIgnored.empty() && indexIgnored) indexIgnored(file, listener.mpfIgnored);
        const std::int64_t size = FileSizeByName(file);
        for (int n = 1; n <= index.ImageCount; ++n) {
            const std::int64_t start = index.ImageStart(n);
            add(MpoImageSource::File(file, start, index.ImageEnd(n, size) - start, file + ": image " + std::to_string(n)),
                nullptr);
        }
    }
    return sources;
}

}  // namespace veltrane
