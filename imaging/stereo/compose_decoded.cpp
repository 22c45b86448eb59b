// SPDX-License-Identifier: GPL-3.0-or-later
// The re-encoded layouts. The two images are decoded (or, corrected by full alignment, warped)
// row by row, each on a helper thread one band of rows ahead of the encoder, and each output
// row is written as soon as it is made, so memory stays at a few rows besides the codecs' own:
//   - in step (side by side, half side by side, anaglyph, interlaced): output row y is made of
//     row y of both areas;
//   - stacked (over/under, half over/under): the first area's rows, then the second's, each
//     resampled down the columns for the half layout through a window of as many rows as the
//     filter is tall.
#include <algorithm>
#include <array>
#include <cstring>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "imaging/stereo/compose_internal.h"

namespace veltrane::stereo {
namespace {

// Rows that a helper thread reads ahead at a time (a band).
constexpr int kBand = 32;

int Half(int length) { return std::max(1, (length + 1) / 2); }

bool IsStacked(Layout layout) { return layout == Layout::OverUnder || layout == Layout::HalfOverUnder; }

// The rows of an eye read ahead on a helper thread of its own, up to kBandsAhead bands of rows
// before the encoder, so that its decoder (or warp) runs beside the encoder and a busy machine's
// pauses in one thread do not stall the other. Next's row stays valid until the next call.
class ReadAhead {
public:
    ReadAhead(EyeReader& eye, int rows) : eye_(eye), rows_(rows), rowBytes_(static_cast<std::size_t>(eye.Width()) * 3) {
        for (auto& band : bands_) band.resize(rowBytes_ * kBand);
        reader_ = std::thread([this] { Run(); });
    }
    ~ReadAhead() {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        reader_.join();
    }
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    const std::uint8_t* Next() {
        const int band = y_ / kBand;
        if (y_ % kBand == 0) {
            std::unique_lock<std::mutex> lock(mutex_);
            if (band > 0) ++taken_;  // the band before is done with
            changed_.notify_all();
            changed_.wait(lock, [&] { return ready_ > band || failure_; });
            if (ready_ <= band) std::rethrow_exception(failure_);
        }
        const std::uint8_t* row = bands_[static_cast<std::size_t>(band % kBandsAhead)].data() +
                                  static_cast<std::size_t>(y_ % kBand) * rowBytes_;
        ++y_;
        return row;
    }

private:
    static constexpr int kBandsAhead = 4;

    void Run() {
        const int bands = (rows_ + kBand - 1) / kBand;
        try {
            for (int band = 0; band < bands; ++band) {
                {
                    std::unique_lock<std::mutex> lock(mutex_);
                    changed_.wait(lock, [&] { return stop_ || band - taken_ < kBandsAhead; });
                    if (stop_) return;
                }
                const int rows = std::min(kBand, rows_ - band * kBand);
                std::uint8_t* base = bands_[static_cast<std::size_t>(band % kBandsAhead)].data();
                for (int r = 0; r < rows; ++r) eye_.Read(base + static_cast<std::size_t>(r) * rowBytes_);
                {
                    const std::lock_guard<std::mutex> lock(mutex_);
                    ready_ = band + 1;
                }
                changed_.notify_all();
            }
        } catch (...) {
            {
                const std::lock_guard<std::mutex> lock(mutex_);
                failure_ = std::current_exception();
            }
            changed_.notify_all();
        }
    }

    EyeReader& eye_;
    int rows_;
    std::size_t rowBytes_;
    int y_ = 0;  // the consumer's next row
    std::array<std::vector<std::uint8_t>, kBandsAhead> bands_;
    std::mutex mutex_;
    std::condition_variable changed_;
    int ready_ = 0;  // bands [0, ready_) are read
    int taken_ = 0;  // bands [0, taken_) are done with: their buffers may be filled again
    bool stop_ = false;
    std::exception_ptr failure_;
    std::thread reader_;  // last: started once everything it uses is in place
};

// Writes the rows of both areas in step: combine(y, rowOfFirst, rowOfSecond, outputRow).
template <typename Combine>
void WriteInStep(EyeReader& a, EyeReader& b, int height, int outWidth, RowWriter& out, Combine&& combine) {
    std::vector<std::uint8_t> row(static_cast<std::size_t>(outWidth) * 3);
    ReadAhead first(a, height), second(b, height);
    for (int y = 0; y < height; ++y) {
        const std::uint8_t* pa = first.Next();
        const std::uint8_t* pb = second.Next();
        combine(y, pa, pb, row.data());
        out.WriteRow(row.data());
    }
}

// Writes the rows of one area, resampled down to outHeight rows when that differs.
void WriteStacked(EyeReader& eye, int height, int outHeight, RowWriter& out) {
    ReadAhead rows(eye, height);
    if (outHeight == height) {
        for (int y = 0; y < height; ++y) out.WriteRow(rows.Next());
        return;
    }
    VerticalResampler down(LanczosTaps(0, height, height, outHeight), static_cast<std::size_t>(eye.Width()) * 3);
    for (int y = 0; y < height && !down.Done(); ++y)
        down.Add(rows.Next(), [&](int, const std::uint8_t* resampled) { out.WriteRow(resampled); });
}

}  // namespace

EyeReader::EyeReader(const EyeArea& area, const CodecLimits& limits, int outWidth)
    : area_(area), outWidth_(outWidth) {
    if (area.corrected == nullptr) decoder_.emplace(area.bytes, limits, area.name);
}

void EyeReader::ReadHeader() {
    if (decoder_) decoder_->ReadHeader(false);
}

void EyeReader::Start() {
    int width = 0;
    if (decoder_) {
        jpeg_decompress_struct& info = decoder_->info;
        Guarded(decoder_->errors, decoder_->Failure().c_str(), [&] {
            info.out_color_space = JCS_RGB;
            jpeg_start_decompress(&info);
        });
        width = static_cast<int>(info.output_width);
    } else {
        const CorrectedEye& eye = *area_.corrected;
        try {
            warp_.emplace(eye.View(), eye.map, eye.width, eye.height);
        } catch (const align::AlignError& e) {
            throw StereoError(std::string("cannot align: ") + e.what());
        }
        width = warp_->Width();
    }
    row_.resize(static_cast<std::size_t>(width) * 3);
    if (outWidth_ != area_.width) across_ = LanczosTaps(area_.x, area_.width, width, outWidth_);
    // Rows above the area are decoded and dropped: skipping them would change the fancy
    // upsampling's context of the first row kept.
    for (int y = 0; y < area_.y; ++y) ReadWhole();
}

void EyeReader::ReadWhole() {
    if (decoder_) {
        JSAMPROW row = row_.data();
        Guarded(decoder_->errors, decoder_->Failure().c_str(), [&] { jpeg_read_scanlines(&decoder_->info, &row, 1); });
        return;
    }
    try {
        warp_->NextRow(row_.data());
    } catch (const align::AlignError& e) {
        throw StereoError(std::string("cannot align: ") + e.what());
    }
}

void EyeReader::Read(std::uint8_t* out) {
    ReadWhole();
    if (across_)
        ResampleRow(row_.data(), out, *across_);
    else
        std::memcpy(out, row_.data() + static_cast<std::size_t>(area_.x) * 3, static_cast<std::size_t>(area_.width) * 3);
}

std::pair<int, int> DecodedOutputSize(Layout layout, const EyeArea& first, const EyeArea& second) {
    switch (layout) {
        case Layout::Cross:
        case Layout::Parallel: return {first.width + second.width, first.height};
        case Layout::HalfSideBySide: return {Half(first.width) + Half(second.width), first.height};
        case Layout::OverUnder: return {first.width, first.height + second.height};
        case Layout::HalfOverUnder: return {first.width, Half(first.height) + Half(second.height)};
        default: return {first.width, first.height};
    }
}

void ComposeDecoded(const EyeArea& first, const EyeArea& second, const StereoOptions& options,
                    const JpegSettings& jpeg, StereoPicture& picture) {
    const Layout layout = options.layout;
    const bool halfWidth = layout == Layout::HalfSideBySide;
    EyeReader a(first, options.limits, halfWidth ? Half(first.width) : first.width);
    EyeReader b(second, options.limits, halfWidth ? Half(second.width) : second.width);
    a.ReadHeader();
    b.ReadHeader();
    const auto size = DecodedOutputSize(layout, first, second);
    const int width = size.first, height = size.second;
    if (IsStacked(layout)) {
        const bool half = layout == Layout::HalfOverUnder;
        const std::unique_ptr<RowWriter> out = NewJpegWriter(width, height, jpeg);
        a.Start();
        WriteStacked(a, first.height, half ? Half(first.height) : first.height, *out);
        b.Start();
        WriteStacked(b, second.height, half ? Half(second.height) : second.height, *out);
        picture.bytes = out->Finish();
    } else {
        a.Start();
        b.Start();
        const std::unique_ptr<RowWriter> out =
            layout == Layout::Interlaced ? NewPngWriter(width, height) : NewJpegWriter(width, height, jpeg);
        const std::size_t firstBytes = static_cast<std::size_t>(a.Width()) * 3;
        const std::size_t secondBytes = static_cast<std::size_t>(b.Width()) * 3;
        const AnaglyphKind kind = options.anaglyph;
        WriteInStep(a, b, height, width, *out, [&](int y, const std::uint8_t* pa, const std::uint8_t* pb, std::uint8_t* po) {
            switch (layout) {
                case Layout::Anaglyph: AnaglyphRow(pa, pb, po, width, kind); break;
                // Even rows (from 0) from the left eye, odd ones from the right.
                case Layout::Interlaced: std::memcpy(po, y % 2 == 0 ? pa : pb, static_cast<std::size_t>(width) * 3); break;
                default:
                    std::memcpy(po, pa, firstBytes);
                    std::memcpy(po + firstBytes, pb, secondBytes);
                    break;
            }
        });
        picture.bytes = out->Finish();
    }
    picture.width = width;
    picture.height = height;
}

}  // namespace veltrane::stereo
