// SPDX-License-Identifier: GPL-3.0-or-later
// Lossless and re-encoded crops of JPEG images (see lossless_crop.h).
//
// The lossless crop hands libjpeg's transcoding encoder (jpeg_write_coefficients) the blocks of
// the rectangle through its memory manager's access_virt_barray, one iMCU row at a time, as the
// composition of the side-by-side layouts does. Where those blocks come from:
//   - an image of one scan (baseline and sequential files, nearly every camera's) is decoded by
//     jpeg_read_coefficients on a second thread, whose memory manager is given a ring of
//     kRingRows iMCU rows instead of a whole-image array. The decoder fills each row completely
//     before it asks for the next one, so asking for row r says that the rows before it are
//     done; it waits while the ring is full, and the encoder waits for the row it needs. Rows
//     above and below the rectangle go to a scratch row that nobody reads.
//   - a progressive or multi-scan image visits every row once per scan, so its blocks are read
//     whole first (Decoder::ReadCoefficients).
#include "imaging/stereo/lossless_crop.h"

#include <algorithm>
#include <array>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string_view>
#include <thread>

#include "imaging/stereo/compose_internal.h"

namespace veltrane::stereo {
namespace {

constexpr const char* kCropFailure = "cannot code the cropped picture";
// iMCU rows of the input between the decoding and the coding thread.
constexpr int kRingRows = 3;

int CeilDiv(long long a, long long b) { return static_cast<int>((a + b - 1) / b); }
int RoundUp(int a, int b) { return CeilDiv(a, b) * b; }

// ---- the segments a crop keeps ----

struct KeptSegment {
    int marker = 0;
    std::vector<std::uint8_t> data;  // the payload, after the length field
};

// Whether the segment's payload begins with the identifier (NULs included).
bool PayloadStartsWith(const jpeg_marker_struct& m, std::string_view id) {
    return m.data_length >= id.size() && std::memcmp(m.data, id.data(), id.size()) == 0;
}

// Asks the decoder to keep every APPn and COM segment before the first scan (call before
// ReadHeader, inside Guarded).
void SaveSegments(jpeg_decompress_struct& info) {
    for (int m = 0; m < 16; ++m) jpeg_save_markers(&info, JPEG_APP0 + m, 0xFFFF);
    jpeg_save_markers(&info, JPEG_COM, 0xFFFF);
}

void ReadHeaderWithSegments(Decoder& decoder) {
    Guarded(decoder.errors, decoder.Failure().c_str(), [&] { SaveSegments(decoder.info); });
    decoder.ReadHeader(false);
}

// The saved segments that go into a crop of width x height. An Adobe APP14 segment is left
// out when the encoder writes its own (it does for RGB, CMYK and YCCK data).
std::vector<KeptSegment> KeptSegments(const jpeg_decompress_struct& info, int width, int height, bool encoderWritesAdobe) {
    std::vector<KeptSegment> kept;
    bool exifPatched = false;
    for (jpeg_saved_marker_ptr m = info.marker_list; m != nullptr; m = m->next) {
        if (m->marker == JPEG_APP0 + 2 && PayloadStartsWith(*m, std::string_view("MPF\0", 4))) continue;
        if (m->marker == JPEG_APP0 + 3 && PayloadStartsWith(*m, "_JPSJPS_")) continue;
        if (m->marker == JPEG_APP0 + 14 && encoderWritesAdobe && PayloadStartsWith(*m, "Adobe")) continue;
        KeptSegment segment{m->marker, std::vector<std::uint8_t>(m->data, m->data + m->data_length)};
        if (!exifPatched && m->marker == JPEG_APP0 + 1 && PayloadStartsWith(*m, std::string_view("Exif\0\0", 6))) {
            PatchExifDimensions(segment.data, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
            exifPatched = true;
        }
        kept.push_back(std::move(segment));
    }
    return kept;
}

// Room for a crop's output: the input's share of the area, and a margin for the standard
// Huffman tables (an input with optimized ones codes smaller).
std::size_t ExpectedCropSize(std::size_t inputSize, const jpeg_decompress_struct& info, const PixelArea& area) {
    const double share = static_cast<double>(area.width) * area.height /
                         (static_cast<double>(info.image_width) * static_cast<double>(info.image_height));
    return static_cast<std::size_t>(static_cast<double>(inputSize) * share * 1.15) + 4096;
}

void CheckArea(const jpeg_decompress_struct& info, const PixelArea& area, const std::string& name) {
    const long long right = static_cast<long long>(area.x) + area.width;
    const long long bottom = static_cast<long long>(area.y) + area.height;
    if (area.x < 0 || area.y < 0 || area.width < 1 || area.height < 1 || right > info.image_width ||
        bottom > info.image_height)
        throw StereoError("the area to cut lies outside the " + name);
}

// ---- the lossless crop ----

// One component's blocks on their way from the input to the crop.
struct CropComponent {
    int h = 1, v = 1;        // sampling factors: blocks per MCU across and down
    int inColumns = 0;       // blocks per row of the input's array (padded to the MCU)
    int srcColumn = 0;       // the crop's first block column in the input
    int outColumns = 0;      // blocks per row of the output's array
    int copyColumns = 0;     // how many of those the input supplies
    // Streaming: kRingRows iMCU rows of v block rows each, and a row for blocks not kept.
    std::vector<JCOEF> ring, scratch;
    std::vector<JBLOCKROW> ringRows, scratchRows;
    int lastDecoded = -1;    // the iMCU row the decoder asked for last
    int copied = 0;          // output iMCU rows the encoder has taken
    // Whole: the input's blocks.
    const CoefficientImage::Component* whole = nullptr;
    // The output's current iMCU row.
    std::vector<JCOEF> strip;
    std::vector<JBLOCKROW> stripRows;
};

struct CropPlan {
    std::array<CropComponent, MAX_COMPONENTS> components;
    int componentCount = 0;
    int topRow = 0;          // the input's iMCU row where the crop starts
    int rowCount = 0;        // the crop's iMCU rows
    int inputRows = 0;       // the input's iMCU rows
    bool streaming = false;
    // The addresses of these bytes stand for the per-component arrays of the input (the
    // decoder's) and of the output (the encoder's).
    std::array<char, MAX_COMPONENTS> inputTags{}, outputTags{};
    int requested = 0;       // input arrays the decoder has asked for

    // Between the two threads.
    std::mutex mutex;
    std::condition_variable changed;
    int complete = 0;        // input iMCU rows fully decoded
    int released = 0;        // crop rows that the encoder has taken in every component
    bool decoderEnded = false, decoderFailed = false, encoderGone = false;
    std::string decoderMessage;

    // Decoder: it starts input row row (so the rows before it are complete), which is crop row
    // k or, for k < 0, no crop row. Waits until the ring has room for crop row k. False when
    // the encoder has gone.
    bool RowStarted(int row, int k) {
        try {
            std::unique_lock lock(mutex);
            if (row > complete) {
                complete = row;
                changed.notify_all();
            }
            if (k >= 0) changed.wait(lock, [&] { return k - released < kRingRows || encoderGone; });
            return !encoderGone;
        } catch (const std::system_error&) {
            return false;
        }
    }
    // Encoder: waits until input row row is complete. False when the decoder ended without it.
    bool WaitForRow(int row) {
        try {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return complete > row || decoderEnded; });
            return complete > row;
        } catch (const std::system_error&) {
            return false;
        }
    }
    // Encoder: component c has taken the crop rows before copied.
    void Taken(int c, int copied) {
        const std::lock_guard lock(mutex);
        components[static_cast<std::size_t>(c)].copied = copied;
        int least = copied;
        for (int i = 0; i < componentCount; ++i) least = std::min(least, components[static_cast<std::size_t>(i)].copied);
        released = least;
        changed.notify_all();
    }
    void DecoderEnded(const std::string& failure) {
        const std::lock_guard lock(mutex);
        decoderEnded = true;
        if (failure.empty()) complete = inputRows;
        // Stopped because the encoder failed: the encoder's error is the one to report.
        else if (!encoderGone) decoderFailed = true, decoderMessage = failure;
        changed.notify_all();
    }
    void StopDecoder() {
        const std::lock_guard lock(mutex);
        encoderGone = true;
        changed.notify_all();
    }
};

CropPlan& PlanOf(j_common_ptr info) { return *static_cast<CropPlan*>(info->client_data); }

// The decoder's memory manager, streaming: an array handle per component, no storage of its
// own, and rows from the ring.
jvirt_barray_ptr RequestInputArray(j_common_ptr info, int, boolean, JDIMENSION blocksPerRow, JDIMENSION, JDIMENSION) {
    CropPlan& plan = PlanOf(info);
    if (plan.requested >= plan.componentCount ||
        static_cast<int>(blocksPerRow) != plan.components[static_cast<std::size_t>(plan.requested)].inColumns)
        ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    return reinterpret_cast<jvirt_barray_ptr>(&plan.inputTags[static_cast<std::size_t>(plan.requested++)]);
}

void RealizeNothing(j_common_ptr) {}

JBLOCKARRAY AccessDecodedRows(j_common_ptr info, jvirt_barray_ptr array, JDIMENSION startRow, JDIMENSION numRows,
                              boolean) {
    CropPlan& plan = PlanOf(info);
    const std::ptrdiff_t c = reinterpret_cast<char*>(array) - plan.inputTags.data();
    if (c < 0 || c >= plan.requested) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    CropComponent& component = plan.components[static_cast<std::size_t>(c)];
    const int v = component.v;
    // One scan visits each iMCU row once, in order; anything else is not this plan's image.
    if (static_cast<int>(numRows) != v || startRow % static_cast<JDIMENSION>(v) != 0 ||
        static_cast<int>(startRow) / v != component.lastDecoded + 1)
        ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    const int row = component.lastDecoded = static_cast<int>(startRow) / v;
    const int k = row - plan.topRow;
    const bool kept = k >= 0 && k < plan.rowCount;
    if (!plan.RowStarted(row, kept ? k : -1)) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    if (!kept) return component.scratchRows.data();
    JBLOCKROW* rows = component.ringRows.data() + static_cast<std::size_t>(k % kRingRows) * static_cast<std::size_t>(v);
    // The entropy decoder stores only the coefficients that are coded: the rest must be zero.
    std::memset(rows[0], 0, static_cast<std::size_t>(v) * static_cast<std::size_t>(component.inColumns) * sizeof(JBLOCK));
    return rows;
}

// The encoder's: crop row k of component c, copied into the component's strip.
JBLOCKARRAY AccessCropRows(j_common_ptr info, jvirt_barray_ptr array, JDIMENSION startRow, JDIMENSION numRows, boolean) {
    CropPlan& plan = PlanOf(info);
    const std::ptrdiff_t c = reinterpret_cast<char*>(array) - plan.outputTags.data();
    if (c < 0 || c >= plan.componentCount) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    CropComponent& component = plan.components[static_cast<std::size_t>(c)];
    const int v = component.v;
    if (static_cast<int>(numRows) != v || startRow % static_cast<JDIMENSION>(v) != 0 ||
        static_cast<int>(startRow) / v >= plan.rowCount)
        ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    const int k = static_cast<int>(startRow) / v;
    if (plan.streaming) {
        // Rows are handed over once, in order; a failed decoder's message is the one reported.
        if (k != component.copied || !plan.WaitForRow(plan.topRow + k)) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    }
    const std::size_t copyBytes = static_cast<std::size_t>(component.copyColumns) * sizeof(JBLOCK);
    const std::size_t rowBytes = static_cast<std::size_t>(component.outColumns) * sizeof(JBLOCK);
    for (int r = 0; r < v; ++r) {
        JBLOCKROW out = component.stripRows[static_cast<std::size_t>(r)];
        const JCOEF* from = nullptr;
        if (plan.streaming) {
            from = component.ringRows[static_cast<std::size_t>((k % kRingRows) * v + r)][component.srcColumn];
        } else {
            const int sourceRow = (plan.topRow + k) * v + r;
            if (sourceRow < component.whole->rows) from = component.whole->Block(component.srcColumn, sourceRow);
        }
        // Blocks that the input does not supply (the MCU padding past its edges) are zero.
        std::memset(out, 0, rowBytes);
        if (from != nullptr) std::memcpy(out, from, copyBytes);
    }
    if (plan.streaming) plan.Taken(static_cast<int>(c), k + 1);
    return component.stripRows.data();
}

// Sets up the components of the plan for the area of the image whose header info holds.
void PlanCrop(CropPlan& plan, const jpeg_decompress_struct& info, const PixelArea& area, const std::string& name) {
    CheckArea(info, area, name);
    const int imcuWidth = DCTSIZE * info.max_h_samp_factor, imcuHeight = DCTSIZE * info.max_v_samp_factor;
    if (area.x % imcuWidth != 0 || area.y % imcuHeight != 0)
        throw StereoError("the area to cut from the " + name + " does not start on its " + std::to_string(imcuWidth) +
                          " x " + std::to_string(imcuHeight) + " block grid");
    plan.componentCount = info.num_components;
    plan.topRow = area.y / imcuHeight;
    plan.rowCount = CeilDiv(area.height, imcuHeight);
    plan.inputRows = static_cast<int>(info.total_iMCU_rows);
    // One scan of every component: streamed. (A sequential file codes each component in
    // exactly one scan, so a first scan of all of them is the only one.)
    plan.streaming = !info.progressive_mode && info.comps_in_scan == info.num_components;
    for (int c = 0; c < plan.componentCount; ++c) {
        const jpeg_component_info& from = info.comp_info[c];
        CropComponent& component = plan.components[static_cast<std::size_t>(c)];
        component.h = from.h_samp_factor;
        component.v = from.v_samp_factor;
        component.inColumns = RoundUp(static_cast<int>(from.width_in_blocks), component.h);
        component.srcColumn = area.x / imcuWidth * component.h;
        component.outColumns = RoundUp(CeilDiv(static_cast<long long>(area.width) * component.h, imcuWidth), component.h);
        component.copyColumns = std::clamp(component.inColumns - component.srcColumn, 0, component.outColumns);
        const std::size_t rowLength = static_cast<std::size_t>(component.outColumns) * DCTSIZE2;
        component.strip.assign(rowLength * static_cast<std::size_t>(component.v), 0);
        for (int r = 0; r < component.v; ++r)
            component.stripRows.push_back(reinterpret_cast<JBLOCKROW>(component.strip.data() + static_cast<std::size_t>(r) * rowLength));
        if (!plan.streaming) continue;
        const std::size_t inLength = static_cast<std::size_t>(component.inColumns) * DCTSIZE2;
        component.ring.assign(inLength * static_cast<std::size_t>(kRingRows * component.v), 0);
        component.scratch.assign(inLength * static_cast<std::size_t>(component.v), 0);
        for (int r = 0; r < kRingRows * component.v; ++r)
            component.ringRows.push_back(reinterpret_cast<JBLOCKROW>(component.ring.data() + static_cast<std::size_t>(r) * inLength));
        for (int r = 0; r < component.v; ++r)
            component.scratchRows.push_back(reinterpret_cast<JBLOCKROW>(component.scratch.data() + static_cast<std::size_t>(r) * inLength));
    }
}

// The decoding thread of a streamed crop: started with the plan's decoder, stopped (the
// encoder having failed) and joined when it goes out of scope.
class DecodingThread {
public:
    DecodingThread(CropPlan& plan, Decoder& decoder)
        : plan_(plan), thread_([&plan, &decoder] {
              std::string failure;
              try {
                  Guarded(decoder.errors, decoder.Failure().c_str(), [&] { jpeg_read_coefficients(&decoder.info); });
              } catch (const std::exception& e) {
                  failure = *e.what() ? e.what() : decoder.Failure();
              }
              plan.DecoderEnded(failure);
          }) {}
    ~DecodingThread() { StopAndJoin(); }
    DecodingThread(const DecodingThread&) = delete;
    DecodingThread& operator=(const DecodingThread&) = delete;
    // Once the encoder has taken every row: the decoder reads the rest of the image.
    void Join() { thread_.join(); }
    // The encoder has failed: the decoder stops at its next row.
    void StopAndJoin() {
        if (!thread_.joinable()) return;
        plan_.StopDecoder();
        thread_.join();
    }

private:
    CropPlan& plan_;
    std::thread thread_;
};

}  // namespace

JpegGeometry ReadJpegGeometry(std::span<const std::uint8_t> jpeg, const CodecLimits& limits, const std::string& name) {
    Decoder decoder(jpeg, limits, name);
    decoder.ReadHeader(false);
    return {static_cast<int>(decoder.info.image_width), static_cast<int>(decoder.info.image_height),
            DCTSIZE * decoder.info.max_h_samp_factor, DCTSIZE * decoder.info.max_v_samp_factor};
}

std::vector<std::uint8_t> CropLossless(std::span<const std::uint8_t> jpeg, const PixelArea& area,
                                       const CodecLimits& limits, const std::string& name) {
    Decoder decoder(jpeg, limits, name);
    ReadHeaderWithSegments(decoder);
    CropPlan plan;
    PlanCrop(plan, decoder.info, area, name);
    CoefficientImage whole;
    if (plan.streaming) {
        decoder.info.client_data = &plan;
        decoder.info.mem->request_virt_barray = RequestInputArray;
        decoder.info.mem->realize_virt_arrays = RealizeNothing;
        decoder.info.mem->access_virt_barray = AccessDecodedRows;
    } else {
        decoder.ReadCoefficients(whole);
        for (int c = 0; c < plan.componentCount; ++c) {
            CropComponent& component = plan.components[static_cast<std::size_t>(c)];
            component.whole = &whole.components[static_cast<std::size_t>(c)];
            if (component.whole->columns != component.inColumns) throw StereoError(decoder.Failure() + ": its blocks are not where its header puts them");
        }
    }

    Encoder out(ExpectedCropSize(jpeg.size(), decoder.info, area));
    Guarded(out.errors, kCropFailure, [&] { jpeg_copy_critical_parameters(&decoder.info, &out.info); });
    const std::vector<KeptSegment> kept = KeptSegments(decoder.info, area.width, area.height, out.info.write_Adobe_marker != FALSE);
    std::array<jvirt_barray_ptr, MAX_COMPONENTS> arrays{};
    for (std::size_t c = 0; c < arrays.size(); ++c) arrays[c] = reinterpret_cast<jvirt_barray_ptr>(&plan.outputTags[c]);
    Guarded(out.errors, kCropFailure, [&] {
        out.info.image_width = static_cast<JDIMENSION>(area.width);
        out.info.image_height = static_cast<JDIMENSION>(area.height);
        // The image's own JFIF segment, if any, is among the kept ones.
        out.info.write_JFIF_header = FALSE;
        // One pass over the rows: each is handed over once.
        out.info.optimize_coding = FALSE;
        out.info.client_data = &plan;
        out.info.mem->access_virt_barray = AccessCropRows;
        jpeg_write_coefficients(&out.info, arrays.data());
        for (const KeptSegment& segment : kept)
            jpeg_write_marker(&out.info, segment.marker, segment.data.data(), static_cast<unsigned>(segment.data.size()));
    });
    if (!plan.streaming) {
        Guarded(out.errors, kCropFailure, [&] { jpeg_finish_compress(&out.info); });
        return out.Take();
    }
    DecodingThread decoding(plan, decoder);
    try {
        Guarded(out.errors, kCropFailure, [&] { jpeg_finish_compress(&out.info); });
    } catch (const StereoError&) {
        decoding.StopAndJoin();
        // The encoder stops when the decoder does: then the decoder's error is the cause.
        if (plan.decoderFailed) throw StereoError(plan.decoderMessage);
        throw;
    }
    decoding.Join();
    if (plan.decoderFailed) throw StereoError(plan.decoderMessage);
    return out.Take();
}

std::vector<std::uint8_t> CropReencoded(std::span<const std::uint8_t> jpeg, const PixelArea& area, int quality,
                                        const CodecLimits& limits, const std::string& name) {
    Decoder header(jpeg, limits, name);
    ReadHeaderWithSegments(header);
    CheckArea(header.info, area, name);
    // Written as YCbCr: any Adobe segment of the image would describe another colour transform.
    const std::vector<KeptSegment> kept = KeptSegments(header.info, area.width, area.height, true);
    int hSampling = 1, vSampling = 1;
    if (header.info.num_components == 3) {
        hSampling = header.info.comp_info[0].h_samp_factor;
        vSampling = header.info.comp_info[0].v_samp_factor;
    }
    EyeReader reader(EyeArea{jpeg, name.c_str(), area.x, area.y, area.width, area.height}, limits, area.width);
    reader.ReadHeader();
    reader.Start();
    Encoder out(ExpectedCropSize(jpeg.size(), header.info, area));
    Guarded(out.errors, kCropFailure, [&] {
        out.SetRgbInput(area.width, area.height, quality, hSampling, vSampling);
        out.info.write_JFIF_header = FALSE;
        jpeg_start_compress(&out.info, TRUE);
        for (const KeptSegment& segment : kept)
            jpeg_write_marker(&out.info, segment.marker, segment.data.data(), static_cast<unsigned>(segment.data.size()));
    });
    std::vector<std::uint8_t> row(static_cast<std::size_t>(area.width) * 3);
    for (int y = 0; y < area.height; ++y) {
        reader.Read(row.data());
        JSAMPROW pointer = row.data();
        Guarded(out.errors, kCropFailure, [&] { jpeg_write_scanlines(&out.info, &pointer, 1); });
    }
    Guarded(out.errors, kCropFailure, [&] { jpeg_finish_compress(&out.info); });
    return out.Take();
}

}  // namespace veltrane::stereo
