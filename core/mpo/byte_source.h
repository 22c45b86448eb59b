// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where the bytes of JPEG images come from: a byte span in memory, or a file read through one
// bounded buffer. The structure walk asks for short views at increasing offsets and skips
// segments it does not need, so a file of any size is walked in a few hundred KiB of memory.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

namespace veltrane {

class FileMapping;
class InputFile;

class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::int64_t Size() const = 0;
    // Up to n bytes from offset on: fewer only where the source ends (none at or past it). n is
    // at most kMaxView. The view stays valid until the next call.
    virtual std::span<const std::uint8_t> View(std::int64_t offset, std::size_t n) = 0;
    // The bytes from offset on that are at hand: at least one unless the source ends there, as
    // many as a buffer holds. For scans that go through the bytes in order.
    virtual std::span<const std::uint8_t> Chunk(std::int64_t offset) = 0;
    // Raises InOutError when a file shrank while it was read (bytes past its new end read as
    // zeros): for callers that write out what they read.
    virtual void CheckIntact() const {}

    static constexpr std::size_t kMaxView = std::size_t{256} << 10;
};

// A span of bytes that the caller keeps alive.
class MemoryByteSource final : public ByteSource {
public:
    explicit MemoryByteSource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::int64_t Size() const override { return static_cast<std::int64_t>(bytes_.size()); }
    std::span<const std::uint8_t> View(std::int64_t offset, std::size_t n) override;
    std::span<const std::uint8_t> Chunk(std::int64_t offset) override;

private:
    std::span<const std::uint8_t> bytes_;
};

// An open file, seen through two windows: a view inside either window is served from it, any
// other loads the window used less recently anew at the view's offset. Two windows let a scan go
// on in one while a few bytes further on are looked at in the other. A view's window is read
// (kReadBlock bytes unless the view needs more); a chunk's window, for scans that go through
// every byte, is mapped where the platform allows (kMapBlock bytes), so that a scan that writes
// the bytes out again copies them once, as a plain copy does.
// Raises InOutError when the file cannot be read.
class FileByteSource final : public ByteSource {
public:
    explicit FileByteSource(InputFile& file);
    ~FileByteSource() override;
    std::int64_t Size() const override { return size_; }
    std::span<const std::uint8_t> View(std::int64_t offset, std::size_t n) override;
    std::span<const std::uint8_t> Chunk(std::int64_t offset) override;
    void CheckIntact() const override;

private:
    static constexpr std::size_t kReadBlock = std::size_t{128} << 10;
    static constexpr std::size_t kMapBlock = std::size_t{1} << 20;
    struct Window {
        std::unique_ptr<FileMapping> mapping;
        std::unique_ptr<std::uint8_t[]> bytes;
        const std::uint8_t* data = nullptr;
        std::int64_t start = 0;
        std::size_t length = 0;
        bool Holds(std::int64_t offset, std::size_t n) const {
            return offset >= start && offset - start <= static_cast<std::int64_t>(length) &&
                   n <= length - static_cast<std::size_t>(offset - start);
        }
    };
    // Loads window w with the bytes from offset on: at least n, mapped or read.
    void Load(int w, std::int64_t offset, std::size_t n, bool map);

    InputFile& file_;
    std::int64_t size_;
    Window windows_[2];
    int lastUsed_ = 0;
    bool shrank_ = false;  // a mapping let go of had met the file's new end
};

}  // namespace veltrane
