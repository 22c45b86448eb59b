#pragma once
// The EXIF reader as a whole: sections (TimgData), directories (TImageInfo), dictionaries and
// value rendering.
#include "core/exif/byte_order.h"
#include "core/exif/exif_error.h"
#include "core/exif/jpeg_sections.h"
#include "core/exif/tag_dictionaries.h"
#include "core/exif/tag_entry.h"
#include "core/exif/tag_rendering.h"
#include "core/exif/tiff_directory.h"
