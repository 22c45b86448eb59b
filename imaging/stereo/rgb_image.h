// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An 8-bit RGB picture in memory: the shared stereo vocabulary's, which the window model shows.
#include "core/common/stereo_vocabulary.h"

namespace veltrane::stereo {

using RgbImage = RgbPicture;

}  // namespace veltrane::stereo
