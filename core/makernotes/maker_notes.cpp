#include "core/makernotes/maker_notes.h"

namespace veltrane::exif {

bool TmsInfo::DecodeMakerNote() { return false; }

}  // namespace veltrane::exif
