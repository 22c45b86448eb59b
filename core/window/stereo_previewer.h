// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The stereo pictures of the Stereo window, behind a small interface with no image library in
// it: the window model decides what to show and to save, an implementation beside the core
// decodes, renders and writes (both windows use imaging/services/library_stereo_previewer.h,
// over the stereo library), and the tests bring a recording fake.
//
// A pair is held twice: the two JPEG files as they are, for saving at full size, and the two
// pictures decoded at a reduced size (libjpeg's DCT scaling), from which every change of a
// setting re-renders the preview fast enough for a slider.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace veltrane::window {

// How the Stereo window shows the pair.
enum class StereoView { Anaglyph, Parallel, Cross, Wiggle };

// The anaglyph's glasses and method, as the stereo library's kinds: Dubois' projections for
// red-cyan, amber-blue and green-magenta glasses, and the classic red-cyan channel mixes.
enum class AnaglyphKind { Dubois, AmberBlue, GreenMagenta, Gray, Color, HalfColor, Optimized };

// What Save writes: every layout of the stereo library, the wiggle in both animation formats,
// and MPO (the two images with an MPF index).
enum class StereoFileType {
    CrossJps,
    Parallel,
    Anaglyph,
    OverUnder,
    HalfSideBySide,
    HalfOverUnder,
    InterlacedPng,
    WiggleGif,
    WiggleWebp,
    Mpo,
};

// Where the right eye's picture shows what the left's shows at (x, y): at (x + across, y + down),
// in full-size pixels.
struct StereoShift {
    int across = 0;
    int down = 0;
    bool operator==(const StereoShift&) const = default;
};

// An 8-bit RGB picture: R, G, B, row-major, no padding.
struct RgbPicture {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> pixels;
    bool operator==(const RgbPicture&) const = default;
};

// The full size of a pair's first image, in pixels.
struct StereoPairSize {
    int width = 0;
    int height = 0;
    bool operator==(const StereoPairSize&) const = default;
};

// What a preview is rendered with.
struct StereoRenderSettings {
    StereoView view = StereoView::Anaglyph;
    AnaglyphKind anaglyph = AnaglyphKind::Dubois;
    // The shift the eyes are cropped by (full-size pixels, of the eyes as shown, that is after a
    // swap): a measured alignment or none.
    StereoShift shift;
    // Full-size pixels by which the stereo window moves from there; positive puts the scene
    // further behind the screen.
    int parallax = 0;
    bool swap = false;  // the first image is the right eye's
    bool operator==(const StereoRenderSettings&) const = default;
};

// What a saved picture is made with, from the full-size images.
struct StereoSaveSettings {
    StereoFileType type = StereoFileType::Anaglyph;
    AnaglyphKind anaglyph = AnaglyphKind::Dubois;
    bool align = false;  // measure the alignment again on the full images and crop by it
    int parallax = 0;
    bool swap = false;
    int frameDelayMs = 150;  // each wiggle frame's time
    bool operator==(const StereoSaveSettings&) const = default;
};

class StereoPreviewer {
public:
    virtual ~StereoPreviewer() = default;
    // Reads images first and second (1-based, as numbered in the image list) of the MPO file
    // source and decodes them at a reduced size whose longer side is at least previewSide pixels
    // (the full size when that is smaller). Replaces the pair open before; when it fails none is
    // open. Returns the full size of the first image. Every method that fails raises an
    // exception whose text users see.
    virtual StereoPairSize OpenPair(const std::string& source, int first, int second, int previewSide) = 0;
    // The same for the two eyes of a spatial photo (a HEIF file with a stereo pair), which
    // holds one pair: the previewer decodes each eye at full size and scales it down. A
    // previewer without a HEIF decoder says so.
    virtual StereoPairSize OpenSpatialPhoto(const std::string& path, int previewSide);
    // Lets the pair go (its memory with it).
    virtual void ClosePair() = 0;
    // The alignment of the open pair in file order, measured on the reduced pictures.
    virtual StereoShift MeasureAlignment() = 0;
    // The preview at the reduced size: one picture, or for StereoView::Wiggle the two frames
    // (left eye's first).
    virtual std::vector<RgbPicture> Render(const StereoRenderSettings& settings) = 0;
    // Whether Save can write files of type (MPO output needs a writer that may be missing).
    virtual bool CanSave(StereoFileType type) = 0;
    // The name offered for a file of type: beside the source, named after it.
    virtual std::string SuggestedPath(StereoFileType type) = 0;
    // Writes the picture of the full-size images to path, completely or not at all.
    virtual void Save(const StereoSaveSettings& settings, const std::string& path) = 0;
};

// What a previewer without spatial photos says when asked to open one.
inline constexpr const char* kNoSpatialPhotos = "spatial photos are not available in this build";

inline StereoPairSize StereoPreviewer::OpenSpatialPhoto(const std::string&, int) {
    throw std::runtime_error(kNoSpatialPhotos);
}

}  // namespace veltrane::window
