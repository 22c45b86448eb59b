// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/jpeg/block_arrays.h"

#include <new>

#include <jerror.h>

namespace veltrane::libjpeg {
namespace {

BlockArrays& TargetOf(j_common_ptr info) { return *static_cast<BlockArrays*>(info->client_data); }

jvirt_barray_ptr RequestBlockArray(j_common_ptr info, int, boolean, JDIMENSION blocksPerRow, JDIMENSION rows,
                                   JDIMENSION) {
    BlockArrays& target = TargetOf(info);
    if (target.requested >= MAX_COMPONENTS) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    BlockArray& array = target.arrays[static_cast<std::size_t>(target.requested++)];
    array.columns = blocksPerRow;
    array.rows = rows;
    return reinterpret_cast<jvirt_barray_ptr>(&array);  // AccessBlockRows maps it back
}

void RealizeBlockArrays(j_common_ptr info) {
    BlockArrays& target = TargetOf(info);
    bool failed = false;
    try {
        for (int i = 0; i < target.requested; ++i) {
            BlockArray& array = target.arrays[static_cast<std::size_t>(i)];
            // Zeroed: the entropy decoder writes only the coefficients that are coded.
            array.blocks.reset(static_cast<JCOEF*>(
                std::calloc(static_cast<std::size_t>(array.columns) * array.rows * DCTSIZE2, sizeof(JCOEF))));
            if (array.blocks == nullptr) throw std::bad_alloc();
            std::vector<JBLOCKROW>& rows = target.rowPointers[static_cast<std::size_t>(i)];
            rows.resize(array.rows);
            for (JDIMENSION r = 0; r < array.rows; ++r) rows[r] = array.Row(r);
        }
    } catch (const std::bad_alloc&) {
        failed = true;
    }
    // Raised outside the handler: the jump leaves no C++ frame half unwound.
    if (failed) ERREXIT1(info, JERR_OUT_OF_MEMORY, 2);
}

JBLOCKARRAY AccessBlockRows(j_common_ptr info, jvirt_barray_ptr handle, JDIMENSION startRow, JDIMENSION numRows,
                            boolean) {
    BlockArrays& target = TargetOf(info);
    const auto* array = reinterpret_cast<const BlockArray*>(handle);
    const std::ptrdiff_t i = array - target.arrays.data();
    if (i < 0 || i >= target.requested) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    const std::vector<JBLOCKROW>& rows = target.rowPointers[static_cast<std::size_t>(i)];
    if (startRow > rows.size() || numRows > rows.size() - startRow) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    return const_cast<JBLOCKARRAY>(rows.data() + startRow);
}

}  // namespace

void PlaceBlockArrays(jpeg_decompress_struct& info, BlockArrays& arrays) {
    info.client_data = &arrays;
    info.mem->request_virt_barray = RequestBlockArray;
    info.mem->realize_virt_arrays = RealizeBlockArrays;
    info.mem->access_virt_barray = AccessBlockRows;
}

}  // namespace veltrane::libjpeg
