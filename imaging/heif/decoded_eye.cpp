// SPDX-License-Identifier: GPL-3.0-or-later
// Decoding one eye, and turning the decoder's planes into RGB rows.
//
// An eye is decoded to the sampling it was coded in (from its 'hvcC'): planar YCbCr, mostly
// 4:2:0, in the matrix and range that the 'nclx' colour information (or the stream) names. The
// eye is kept that way (1.5 bytes per pixel for 4:2:0) and converted a band of rows at a time:
//
//   full range:     Y' = Y,                 C' = C - 128
//   limited range:  Y' = (Y - 16) * 255/219, C' = (C - 128) * 255/224
//   R = Y' + 2(1 - Kr) Cr'
//   G = Y' - 2 Kb (1 - Kb)/Kg Cb' - 2 Kr (1 - Kr)/Kg Cr'      Kg = 1 - Kr - Kb
//   B = Y' + 2(1 - Kb) Cb'
//
// Each chroma sample covers the 2 x 2 (4:2:0) or 2 x 1 (4:2:2) pixels it was taken from, as in
// libheif's own conversion. Anything else (more than 8 bits, an alpha plane in an interleaved
// picture, an unknown matrix) is decoded again by libheif straight to 8-bit RGB.
#include <algorithm>
#include <cmath>

#include "imaging/heif/libheif_support.h"
#include "imaging/heif/spatial_photo.h"

namespace veltrane::heif {

using namespace detail;

void DecodedEye::ImageRelease::operator()(heif_image* image) const { heif_image_release(image); }

DecodedEye::DecodedEye(DecodedEye&&) noexcept = default;
DecodedEye& DecodedEye::operator=(DecodedEye&&) noexcept = default;
DecodedEye::~DecodedEye() = default;

namespace {

constexpr int kShift = 16;

std::uint8_t Clamp(int v) { return static_cast<std::uint8_t>(std::clamp(v, 0, 255)); }

// Kr and Kb of the matrices this converter knows (ISO/IEC 23091-2 MatrixCoefficients).
bool MatrixWeights(int matrix, double& kr, double& kb) {
    switch (matrix) {
    case 1: kr = 0.2126, kb = 0.0722; return true;                 // BT.709
    case 2: case 5: case 6: kr = 0.299, kb = 0.114; return true;   // unspecified: BT.601, as JPEG
    case 9: case 10: kr = 0.2627, kb = 0.0593; return true;        // BT.2020
    default: return false;
    }
}

struct Nclx {
    int matrix = 2;
    bool fullRange = true;
};

// The colour information of the decoded picture, else of the item, else JPEG's convention.
Nclx ColourOf(const heif_image* image, const heif_image_handle* handle) {
    heif_color_profile_nclx* raw = nullptr;
    if (heif_image_get_nclx_color_profile(image, &raw).code != heif_error_Ok || raw == nullptr) {
        raw = nullptr;
        if (heif_image_handle_get_nclx_color_profile(handle, &raw).code != heif_error_Ok) raw = nullptr;
    }
    NclxPtr nclx(raw);
    if (!nclx) return {};
    return {static_cast<int>(nclx->matrix_coefficients), nclx->full_range_flag != 0};
}

// The sampling of the coded picture: from the item's 'hvcC', or for a grid from its first tile's.
// Undefined when unknown or deeper than 8 bits.
heif_chroma CodedChroma(const heif_boxes::HeifStructure& s, std::uint32_t id) {
    const heif_boxes::HeifItem* item = s.FindItem(id);
    if (item != nullptr && item->chromaFormat < 0 && item->type == heif_boxes::MakeFourCc("grid"))
        for (const auto& ref : s.references)
            if (ref.type == heif_boxes::MakeFourCc("dimg") && ref.from == id && !ref.to.empty()) {
                item = s.FindItem(ref.to.front());
                break;
            }
    if (item == nullptr || item->bitDepth != 8) return heif_chroma_undefined;
    switch (item->chromaFormat) {
    case 0: return heif_chroma_monochrome;
    case 1: return heif_chroma_420;
    case 2: return heif_chroma_422;
    case 3: return heif_chroma_444;
    default: return heif_chroma_undefined;
    }
}

int BitsOf(const heif_image* image, heif_channel channel) {
    return heif_image_has_channel(image, channel) ? heif_image_get_bits_per_pixel_range(image, channel) : 0;
}

}  // namespace

DecodedEye SpatialPhoto::Decode(Eye eye) const {
    const heif_image_handle* handle = context_->eyes[static_cast<std::size_t>(eye)].get();
    const std::string name = eye == Eye::Left ? "the left eye" : "the right eye";
    DecodingOptionsPtr options(heif_decoding_options_alloc());
    if (!options) throw std::bad_alloc();
    options->convert_hdr_to_8bit = 1;
    DecodedEye out;
    // libheif 1.15 hands pictures out as planar RGB unless asked for YCbCr: ask for the coded
    // sampling itself (from 'hvcC'), which costs no conversion and half the memory of RGB.
    const auto chroma = CodedChroma(Structure(), ItemId(eye));
    heif_image* raw = nullptr;
    Check(heif_decode_image(handle, &raw, chroma == heif_chroma_undefined ? heif_colorspace_undefined
                                          : chroma == heif_chroma_monochrome ? heif_colorspace_monochrome
                                                                             : heif_colorspace_YCbCr,
                            chroma, options.get()),
          name + " does not decode");
    out.image_.reset(raw);
    const auto colourspace = heif_image_get_colorspace(raw);
    const auto sampling = heif_image_get_chroma_format(raw);
    const Nclx nclx = ColourOf(raw, handle);
    double kr = 0, kb = 0;
    bool native = false;
    if (colourspace == heif_colorspace_YCbCr && BitsOf(raw, heif_channel_Y) == 8 && BitsOf(raw, heif_channel_Cb) == 8 &&
        BitsOf(raw, heif_channel_Cr) == 8 && MatrixWeights(nclx.matrix, kr, kb) &&
        (sampling == heif_chroma_420 || sampling == heif_chroma_422 || sampling == heif_chroma_444)) {
        native = true;
        out.layout_ = DecodedEye::Layout::Ycbcr;
        out.chromaShiftX_ = sampling == heif_chroma_444 ? 0 : 1;
        out.chromaShiftY_ = sampling == heif_chroma_420 ? 1 : 0;
        out.limitedRange_ = !nclx.fullRange;
        const double kg = 1 - kr - kb;
        const double chromaScale = out.limitedRange_ ? 255.0 / 224.0 : 1.0;
        const auto fixed = [&](double v) { return static_cast<int>(std::lround(v * chromaScale * (1 << kShift))); };
        out.crToR_ = fixed(2 * (1 - kr));
        out.cbToB_ = fixed(2 * (1 - kb));
        out.cbToG_ = fixed(2 * kb * (1 - kb) / kg);
        out.crToG_ = fixed(2 * kr * (1 - kr) / kg);
        out.bt601FullRange_ = sampling == heif_chroma_420 && nclx.fullRange && (nclx.matrix == 2 || nclx.matrix == 5 || nclx.matrix == 6);
    } else if (colourspace == heif_colorspace_monochrome && BitsOf(raw, heif_channel_Y) == 8) {
        native = true;
        out.layout_ = DecodedEye::Layout::Monochrome;
        out.limitedRange_ = false;  // grey pictures are taken as they are
    } else if (colourspace == heif_colorspace_RGB && sampling == heif_chroma_444 && BitsOf(raw, heif_channel_R) == 8 &&
               BitsOf(raw, heif_channel_G) == 8 && BitsOf(raw, heif_channel_B) == 8) {
        native = true;
        out.layout_ = DecodedEye::Layout::RgbPlanar;
    }
    if (!native) {
        out.image_.reset();
        raw = nullptr;
        Check(heif_decode_image(handle, &raw, heif_colorspace_RGB, heif_chroma_interleaved_RGB, options.get()),
              name + " does not decode");
        out.image_.reset(raw);
        out.layout_ = DecodedEye::Layout::RgbInterleaved;
    }
    const heif_channel first = out.layout_ == DecodedEye::Layout::RgbInterleaved ? heif_channel_interleaved
                               : out.layout_ == DecodedEye::Layout::RgbPlanar    ? heif_channel_R
                                                                                 : heif_channel_Y;
    out.width_ = heif_image_get_width(raw, first);
    out.height_ = heif_image_get_height(raw, first);
    if (out.width_ <= 0 || out.height_ <= 0) throw HeifError(name + " decodes to no pixels");
    if (out.layout_ == DecodedEye::Layout::Ycbcr) {
        // The chroma planes must cover the picture at the sampling found.
        const int cw = (out.width_ + (1 << out.chromaShiftX_) - 1) >> out.chromaShiftX_;
        const int ch = (out.height_ + (1 << out.chromaShiftY_) - 1) >> out.chromaShiftY_;
        for (const auto c : {heif_channel_Cb, heif_channel_Cr})
            if (heif_image_get_width(raw, c) < cw || heif_image_get_height(raw, c) < ch)
                throw HeifError(name + " has chroma planes smaller than its picture");
    }
    return out;
}

void DecodedEye::RgbRows(int firstRow, int rowCount, std::uint8_t* out, std::size_t outStride) const {
    if (firstRow < 0 || rowCount < 0 || firstRow > height_ || rowCount > height_ - firstRow)
        throw HeifError("rows outside the picture");
    const heif_image* image = image_.get();
    int stride = 0;
    switch (layout_) {
    case Layout::RgbInterleaved: {
        const std::uint8_t* p = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < rowCount; ++y)
            std::copy_n(p + static_cast<std::size_t>(firstRow + y) * stride, static_cast<std::size_t>(width_) * 3,
                        out + y * outStride);
        return;
    }
    case Layout::RgbPlanar: {
        int gs = 0, bs = 0;
        const std::uint8_t* r = heif_image_get_plane_readonly(image, heif_channel_R, &stride);
        const std::uint8_t* g = heif_image_get_plane_readonly(image, heif_channel_G, &gs);
        const std::uint8_t* b = heif_image_get_plane_readonly(image, heif_channel_B, &bs);
        for (int y = 0; y < rowCount; ++y) {
            const int row = firstRow + y;
            std::uint8_t* o = out + y * outStride;
            for (int x = 0; x < width_; ++x, o += 3) {
                o[0] = r[static_cast<std::size_t>(row) * stride + x];
                o[1] = g[static_cast<std::size_t>(row) * gs + x];
                o[2] = b[static_cast<std::size_t>(row) * bs + x];
            }
        }
        return;
    }
    case Layout::Monochrome: {
        const std::uint8_t* lum = heif_image_get_plane_readonly(image, heif_channel_Y, &stride);
        for (int y = 0; y < rowCount; ++y) {
            const std::uint8_t* in = lum + static_cast<std::size_t>(firstRow + y) * stride;
            std::uint8_t* o = out + y * outStride;
            for (int x = 0; x < width_; ++x, o += 3) o[0] = o[1] = o[2] = in[x];
        }
        return;
    }
    case Layout::Ycbcr: break;
    }
    int cbStride = 0, crStride = 0;
    const std::uint8_t* lum = heif_image_get_plane_readonly(image, heif_channel_Y, &stride);
    const std::uint8_t* cbPlane = heif_image_get_plane_readonly(image, heif_channel_Cb, &cbStride);
    const std::uint8_t* crPlane = heif_image_get_plane_readonly(image, heif_channel_Cr, &crStride);
    // Limited-range luma: (Y - 16) * 255/219 in the same fixed point.
    const int lumaScale = limitedRange_ ? static_cast<int>(std::lround(255.0 / 219.0 * (1 << kShift))) : 1 << kShift;
    const int lumaOffset = limitedRange_ ? 16 : 0;
    constexpr int kHalf = 1 << (kShift - 1);
    for (int y = 0; y < rowCount; ++y) {
        const int row = firstRow + y;
        const std::uint8_t* yRow = lum + static_cast<std::size_t>(row) * stride;
        const std::uint8_t* cbRow = cbPlane + static_cast<std::size_t>(row >> chromaShiftY_) * cbStride;
        const std::uint8_t* crRow = crPlane + static_cast<std::size_t>(row >> chromaShiftY_) * crStride;
        std::uint8_t* o = out + y * outStride;
        for (int x = 0; x < width_; ++x, o += 3) {
            const int l = (yRow[x] - lumaOffset) * lumaScale + kHalf;
            const int cb = cbRow[x >> chromaShiftX_] - 128;
            const int cr = crRow[x >> chromaShiftX_] - 128;
            o[0] = Clamp((l + crToR_ * cr) >> kShift);
            o[1] = Clamp((l - cbToG_ * cb - crToG_ * cr) >> kShift);
            o[2] = Clamp((l + cbToB_ * cb) >> kShift);
        }
    }
}

RgbImage DecodedEye::ToRgb() const {
    RgbImage rgb;
    rgb.width = width_;
    rgb.height = height_;
    rgb.pixels.resize(static_cast<std::size_t>(width_) * height_ * 3);
    RgbRows(0, height_, rgb.pixels.data(), static_cast<std::size_t>(width_) * 3);
    return rgb;
}

std::optional<Ycbcr420View> DecodedEye::JpegYcbcr420() const {
    if (layout_ != Layout::Ycbcr || !bt601FullRange_) return std::nullopt;
    Ycbcr420View v;
    int yStride = 0, cbStride = 0, crStride = 0;
    v.width = width_;
    v.height = height_;
    v.y = heif_image_get_plane_readonly(image_.get(), heif_channel_Y, &yStride);
    v.cb = heif_image_get_plane_readonly(image_.get(), heif_channel_Cb, &cbStride);
    v.cr = heif_image_get_plane_readonly(image_.get(), heif_channel_Cr, &crStride);
    if (cbStride != crStride) return std::nullopt;
    v.yStride = static_cast<std::size_t>(yStride);
    v.chromaStride = static_cast<std::size_t>(cbStride);
    return v;
}

std::size_t DecodedEye::ByteSize() const {
    std::size_t total = 0;
    for (const auto c : {heif_channel_Y, heif_channel_Cb, heif_channel_Cr, heif_channel_R, heif_channel_G,
                         heif_channel_B, heif_channel_Alpha, heif_channel_interleaved}) {
        if (!heif_image_has_channel(image_.get(), c)) continue;
        int stride = 0;
        heif_image_get_plane_readonly(image_.get(), c, &stride);
        total += static_cast<std::size_t>(stride) * static_cast<std::size_t>(heif_image_get_height(image_.get(), c));
    }
    return total;
}

}  // namespace veltrane::heif
