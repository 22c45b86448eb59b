// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Repairs a damaged MPO file: the same images with a fresh, correct MPF index.
//
// The images are found by walking the JPEG structure from the first FF D8 FF on; after an
// image's EOI the next image starts at the next FF D8 FF. Whatever lies between images, and
// stray bytes between an image's header segments, is dropped; an image that does not end with
// EOI is left out. The MP types come from the old index where it can still be read (also when
// its segment's declared length is too short and the rest of it follows as stray bytes), else
// every image is a disparity image; each image keeps the tags of its old MP attribute IFD.
//
// A quantization table whose DQT segment was overwritten (an imaging library writes its index
// over the start of the next segment when the index grows: the stray bytes right behind the MPF
// segment, into which its MP entry list runs) is restored from another image of the file whose
// DQT segment is as long and agrees with every byte that survives: images of one file mostly
// come from one encoder. When none does (the first image was written at another quality), a
// single table is rebuilt from its surviving values when they are the standard's example table
// scaled as encoders scale it, with one outcome for the lost values. An image that is still
// left out counts in imagesLeftOut.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "core/mpo/mpo_writer.h"

namespace veltrane {

class ByteSource;

struct RepairReport {
    std::size_t images = 0;
    std::int64_t strayBytes = 0;       // between images and between header segments
    std::int64_t incompleteBytes = 0;  // of images that were left out
    std::size_t imagesLeftOut = 0;     // complete or not, that the repaired file lacks
    bool typesFromOldIndex = false;
    // One line per event, e.g. "image 1: quantization table 0 restored from image 2" or
    // "the image at offset 5000 is left out: the data ends before EOI".
    std::vector<std::string> notes;
    std::int64_t fileSize = 0;         // of the repaired file

    std::int64_t DroppedBytes() const { return strayBytes + incompleteBytes; }
};

// The images found in source, ready for the writer: each a range of base (the file or bytes
// that source reads; its offset and length are replaced), with its type, attributes and any
// restored table. report gets everything but fileSize. Raises MpoError (subject base's name)
// when no complete image is found.
std::vector<MpoImage> PlanRepair(ByteSource& source, const MpoImageSource& base, RepairReport& report);

// Repairs the file at path into outputPath (through a temporary file). Raises MpoError or
// InOutError; nothing is written then.
RepairReport RepairMpoFile(const std::string& path, const std::string& outputPath);

// Repairs bytes in memory.
std::vector<std::uint8_t> RepairMpoBytes(std::span<const std::uint8_t> bytes, RepairReport& report);

// "<FILE without its extension>_repaired.mpo", beside FILE.
std::string DefaultRepairName(const std::string& path);

}  // namespace veltrane
