// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mpo/byte_source.h"

#include <algorithm>

#include "core/common/file_io.h"

namespace veltrane {

std::span<const std::uint8_t> MemoryByteSource::View(std::int64_t offset, std::size_t n) {
    if (offset < 0 || offset >= Size()) return {};
    const auto from = static_cast<std::size_t>(offset);
    return bytes_.subspan(from, std::min(n, bytes_.size() - from));
}

std::span<const std::uint8_t> MemoryByteSource::Chunk(std::int64_t offset) {
    if (offset < 0 || offset >= Size()) return {};
    return bytes_.subspan(static_cast<std::size_t>(offset));
}

FileByteSource::FileByteSource(InputFile& file) : file_(file), size_(file.Size()) {}

std::span<const std::uint8_t> FileByteSource::View(std::int64_t offset, std::size_t n) {
    if (offset < 0 || offset >= size_) return {};
    n = std::min({n, kMaxView, static_cast<std::size_t>(std::min<std::int64_t>(size_ - offset, kMaxView))});
    int use = -1;
    for (int w = 0; w < 2; ++w)
        if (windows_[w].Holds(offset, n)) use = w;
    if (use < 0) {
        use = 1 - lastUsed_;
        Window& w = windows_[use];
        if (w.bytes.empty()) w.bytes.resize(kMaxView);
        w.start = offset;
        w.length = 0;  // stays empty if the read fails
        const auto length = static_cast<std::size_t>(std::min<std::int64_t>(size_ - offset, kMaxView));
        file_.ReadAt(offset, w.bytes.data(), length);
        w.length = length;
    }
    lastUsed_ = use;
    const Window& w = windows_[use];
    return std::span<const std::uint8_t>(w.bytes).subspan(static_cast<std::size_t>(offset - w.start), n);
}

std::span<const std::uint8_t> FileByteSource::Chunk(std::int64_t offset) {
    if (offset < 0 || offset >= size_) return {};
    for (int w = 0; w < 2; ++w) {
        const Window& window = windows_[w];
        if (window.Holds(offset, 1)) {
            lastUsed_ = w;
            const auto from = static_cast<std::size_t>(offset - window.start);
            return std::span<const std::uint8_t>(window.bytes).subspan(from, window.length - from);
        }
    }
    return View(offset, kMaxView);
}

}  // namespace veltrane
