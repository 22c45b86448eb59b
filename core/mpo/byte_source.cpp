// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/mpo/byte_source.h"

#include <algorithm>

#include "core/common/file_io.h"
#include "core/common/io_error.h"

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

FileByteSource::~FileByteSource() = default;

void FileByteSource::Load(int index, std::int64_t offset, std::size_t n, bool map) {
    Window& w = windows_[index];
    if (w.mapping && !w.mapping->Intact()) shrank_ = true;
    w.mapping.reset();
    w.start = offset;
    w.length = 0;  // stays empty if the read fails
    const std::int64_t left = size_ - offset;
    if (map) {
        const auto length = static_cast<std::size_t>(std::min<std::int64_t>(left, std::max(n, kMapBlock)));
        w.mapping = FileMapping::Map(file_, offset, length);
        if (w.mapping) {
            w.data = w.mapping->Data();
            w.length = length;
            return;
        }
    }
    if (!w.bytes) w.bytes = std::make_unique_for_overwrite<std::uint8_t[]>(kMaxView);
    const auto length = static_cast<std::size_t>(std::min<std::int64_t>(left, std::max(n, kReadBlock)));
    file_.ReadAt(offset, w.bytes.get(), length);
    w.data = w.bytes.get();
    w.length = length;
}

std::span<const std::uint8_t> FileByteSource::View(std::int64_t offset, std::size_t n) {
    if (offset < 0 || offset >= size_) return {};
    n = std::min({n, kMaxView, static_cast<std::size_t>(std::min<std::int64_t>(size_ - offset, kMaxView))});
    int use = -1;
    for (int w = 0; w < 2; ++w)
        if (windows_[w].Holds(offset, n)) use = w;
    if (use < 0) {
        use = 1 - lastUsed_;
        Load(use, offset, n, false);
    }
    lastUsed_ = use;
    const Window& w = windows_[use];
    return {w.data + (offset - w.start), n};
}

std::span<const std::uint8_t> FileByteSource::Chunk(std::int64_t offset) {
    if (offset < 0 || offset >= size_) return {};
    int use = -1;
    for (int w = 0; w < 2 && use < 0; ++w)
        if (windows_[w].Holds(offset, 1)) use = w;
    if (use < 0) {
        use = 1 - lastUsed_;
        Load(use, offset, 1, true);
    }
    lastUsed_ = use;
    const Window& w = windows_[use];
    const auto from = static_cast<std::size_t>(offset - w.start);
    return {w.data + from, w.length - from};
}

void FileByteSource::CheckIntact() const {
    bool intact = !shrank_;
    for (const Window& w : windows_)
        if (w.mapping && !w.mapping->Intact()) intact = false;
    if (!intact) throw InOutError(ioerr::ReadBeyondEnd, file_.Path());
}

}  // namespace veltrane
