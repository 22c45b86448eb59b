// SPDX-License-Identifier: GPL-3.0-or-later
// Running out of memory while a file is read is no fault of the file: the reader lets
// std::bad_alloc through instead of reporting the file as malformed. The test replaces the global
// operator new of this test program with one that fails the n-th allocation, for every n until
// a read needs fewer. The sanitizers bring their own allocator, so their builds skip the test.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

#include "core/exif/exif_reader.h"
#include "core/metadata/metadata_reader.h"
#include "tests/support/temp_dir.h"
#include "tools/samples/jpeg_writer.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define VELTRANE_OWN_OPERATOR_NEW 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define VELTRANE_OWN_OPERATOR_NEW 0
#endif
#endif
#ifndef VELTRANE_OWN_OPERATOR_NEW
#define VELTRANE_OWN_OPERATOR_NEW 1
#endif

namespace {
std::atomic<long> gAllocationsBeforeFailure{-1};  // -1: no allocation fails
std::atomic<bool> gAllocationFailed{false};
}  // namespace

#if VELTRANE_OWN_OPERATOR_NEW
void* operator new(std::size_t size) {
    if (gAllocationsBeforeFailure.load() >= 0 && gAllocationsBeforeFailure.fetch_sub(1) == 0) {
        gAllocationFailed = true;
        throw std::bad_alloc();
    }
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
// Out of line, so that the compiler does not take free() after the inlined operator new for a
// mismatched pair.
[[gnu::noinline]] void ReleaseBlock(void* p) noexcept { std::free(p); }
void operator delete(void* p) noexcept { ReleaseBlock(p); }
void operator delete(void* p, std::size_t) noexcept { ReleaseBlock(p); }
#endif

namespace veltrane::exif {
namespace {

TEST(ExifReader, LetsAnAllocationFailureThroughAsStdBadAlloc) {
    if (!VELTRANE_OWN_OPERATOR_NEW) GTEST_SKIP() << "the sanitizers replace operator new";
    const samples::Bytes jpeg = samples::SampleStereoImage(0);
    testing::TempDir dir;
    const std::string path = dir.Write("image.jpg", jpeg);
    for (const char* read : {"OpenBuffer", "OpenFile", "OpenFileRange"}) {
        bool threw = true;
        for (long n = 0; threw; ++n) {
            SCOPED_TRACE(std::string(read) + ", allocation " + std::to_string(n));
            ExifReader reader(FullReaderParts);
            gAllocationFailed = false;
            gAllocationsBeforeFailure = n;
            try {
                const std::string_view which = read;
                if (which == "OpenBuffer") reader.OpenBuffer(jpeg, exif::SourceFormat::Jpeg);
                if (which == "OpenFile") reader.OpenFile(path);
                if (which == "OpenFileRange")
                    reader.OpenFileRange(path, 0, static_cast<std::int64_t>(jpeg.size()), veltrane::exif::SourceFormat::Jpeg);
                threw = false;
            } catch (const std::bad_alloc&) {
            }
            gAllocationsBeforeFailure = -1;
            ASSERT_EQ(threw, gAllocationFailed.load()) << "Status: " << reader.StatusText();
        }
    }
}

}  // namespace
}  // namespace veltrane::exif
