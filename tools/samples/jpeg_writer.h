// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writes tiny but real baseline JPEG images and MPO files made of them.
//
// The encoder paints every 8x8 block in one flat colour, so each block is coded by its DC
// coefficient alone followed by an end-of-block code. Any ordinary decoder reads the result.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/samples/tiff_builder.h"

namespace veltrane::samples {

struct Rgb {
    std::uint8_t r, g, b;
};

// Colour of the block in block column bx, block row by.
using BlockPainter = std::function<Rgb(int bx, int by)>;

// A baseline JPEG of width x height pixels (both multiples of 8): FF D8, then the given
// segments (for instance an APP1 EXIF segment, which makes the file begin FF D8 FF E1), then
// DQT, SOF0, DHT, SOS, the coded blocks and FF D9.
Bytes BaselineJpeg(int width, int height, const BlockPainter& paint, const Bytes& segmentsAfterSoi);

// The EXIF data of the sample camera: Make, Model, Orientation, X/YResolution, ResolutionUnit,
// DateTime and, in the EXIF directory, ExposureTime, FNumber, ExposureProgram,
// ISOSpeedRatings, ExifVersion, DateTimeOriginal, MeteringMode, Flash, FocalLength,
// ExifImageWidth/Length and ExposureMode.
struct SampleExif {
    std::string make = "Veltrane";
    std::string model = "Sample Stereo Camera";
    std::string dateTime = "2026:12:07 10:00:00";
    std::uint16_t orientation = 1;
    std::pair<std::uint32_t, std::uint32_t> exposureTime{1, 60};
    std::pair<std::uint32_t, std::uint32_t> fNumber{28, 10};
    std::uint16_t iso = 100;
    std::uint16_t flash = 24;  // off, auto mode
    std::pair<std::uint32_t, std::uint32_t> focalLength{63, 10};
    std::uint32_t width = 64;
    std::uint32_t height = 48;
};
Bytes SampleExifTiff(const SampleExif& exif, ByteOrder order);

// The scene of the sample stereo pair for an image of exif.width x exif.height pixels.
BlockPainter StereoPainter(int eye, const SampleExif& exif);

// One image of the sample stereo pair: the image of the left (eye 0) or right (eye 1) eye,
// a scene whose red square sits a little further right for the left eye.
Bytes SampleStereoImage(int eye, const SampleExif& exif = {}, ByteOrder order = ByteOrder::Little);

// An MPO file: the images one after another.
Bytes JoinImages(const std::vector<Bytes>& images);

// The bundled sample: a stereo pair of 320 x 240 pixels, the right image's EXIF written
// big-endian.
Bytes SampleMpo();

// path is UTF-8.
bool WriteFile(const std::string& path, const Bytes& bytes);

}  // namespace veltrane::samples
