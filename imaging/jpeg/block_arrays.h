// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The quantized DCT coefficients of a JPEG image in memory of the program's own.
// jpeg_read_coefficients asks its memory manager for one virtual block array per component,
// then to realize them, then for rows of them while it decodes; PlaceBlockArrays gives the
// decoder's manager three methods that put those arrays in the caller's BlockArrays instead of
// libjpeg's pools. So the blocks stay readable after the decoder is gone, and reading them never
// calls into libjpeg.
//
//   array c: rows x columns blocks (padded to whole MCUs, as libjpeg keeps them), row-major;
//   a block is 64 coefficients in natural order (row u of vertical frequency, column v).
#include <array>
#include <cstddef>
#include <cstdlib>
#include <memory>
#include <vector>

#include <jpeglib.h>

namespace veltrane::libjpeg {

struct BlockArray {
    struct Free {
        void operator()(JCOEF* p) const { std::free(p); }
    };
    JDIMENSION columns = 0, rows = 0;
    // From calloc: zero pages that are touched only as the decoder writes into them, so a header
    // that claims a huge picture over a few bytes of data costs no memory.
    std::unique_ptr<JCOEF[], Free> blocks;
    JBLOCKROW Row(JDIMENSION row) const {
        return reinterpret_cast<JBLOCKROW>(blocks.get() + static_cast<std::size_t>(row) * columns * DCTSIZE2);
    }
    const JCOEF* Block(JDIMENSION column, JDIMENSION row) const {
        return blocks.get() + (static_cast<std::size_t>(row) * columns + column) * DCTSIZE2;
    }
};

struct BlockArrays {
    std::array<BlockArray, MAX_COMPONENTS> arrays;
    int requested = 0;  // arrays the decoder has asked for, one per component in order
    // Row pointers handed to libjpeg while it decodes; of no use afterwards.
    std::array<std::vector<JBLOCKROW>, MAX_COMPONENTS> rowPointers;
};

// Before jpeg_read_coefficients: its arrays go to arrays (info.client_data points there).
void PlaceBlockArrays(jpeg_decompress_struct& info, BlockArrays& arrays);

}  // namespace veltrane::libjpeg
