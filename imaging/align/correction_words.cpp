// SPDX-License-Identifier: GPL-3.0-or-later
// The words of a correction, the same in every build.
#include <cmath>
#include <cstdio>

#include "imaging/align/pair_alignment.h"

namespace veltrane::align {
namespace {

std::string Fixed(double value, int decimals) {
    const double step = std::pow(10.0, decimals);
    if (std::round(value * step) == 0) value = 0;  // no "-0.0"
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

}  // namespace

std::string CorrectionWords(const PairCorrection& correction) {
    std::string words = "rotation " + Fixed(correction.rotationDegrees, 2) + "°, scale " + Fixed(correction.scale, 3) +
                        ", vertical " + Fixed(correction.verticalPixels, 1) + " px";
    if (correction.keystone) words += ", keystone " + Fixed(correction.keystonePixels, 1) + " px";
    return words;
}

}  // namespace veltrane::align
