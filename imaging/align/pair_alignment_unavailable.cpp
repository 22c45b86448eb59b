// SPDX-License-Identifier: GPL-3.0-or-later
// Full alignment in a build without OpenCV: the same interface, which refuses.
#include "imaging/align/pair_alignment.h"

namespace veltrane::align {

bool FullAlignmentAvailable() { return false; }

PairCorrection MeasureCorrection(const RgbView&, const RgbView&, const AlignSettings&) {
    throw AlignError(kFullAlignmentUnavailable);
}

}  // namespace veltrane::align
