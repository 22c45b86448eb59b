// SPDX-License-Identifier: GPL-3.0-or-later
// The block-plan engine (see block_plan.h).
//
// The output's coefficients are never stored whole. libjpeg's transcoding encoder
// (jpeg_write_coefficients) fetches the rows of each component through its memory manager's
// access_virt_barray, one iMCU row at a time (once per scan and pass); the encoder's manager
// gets AccessPlannedRows in its place, which fills a band of a few rows from the pieces'
// source blocks. So the memory held is the sources' coefficients, the coded data and a band.
// Where the pieces exchange the axes, an output row is a column of the source: the band then
// holds several iMCU rows, filled in one pass down the source, so that each source row is read
// as one run of adjacent blocks rather than a block at a time.
//
// Where the sources' blocks come from:
//   - read already by the caller, or read whole here: jpeg_read_coefficients with the
//     decoder's arrays placed in memory of ours (PlaceBlockArrays);
//   - streamed (one-piece plans without a turn, from an image of one scan): the decoder runs on
//     a second thread, its memory manager given a ring of kRingRows iMCU rows instead of a
//     whole-image array. The decoder fills each row completely before it asks for the next one,
//     so asking for row r says that the rows before it are done; it waits while the ring is
//     full, and the encoder waits for the row it needs. Rows above and below the piece go to a
//     scratch row that nobody reads.
#include "imaging/jpeg/block_plan.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <exception>
#include <mutex>
#include <string_view>
#include <system_error>
#include <thread>

#include <jerror.h>

#include "imaging/jpeg/block_grid.h"

namespace veltrane::libjpeg {
namespace {

// Output rows a band holds where the axes are exchanged: about 16 block rows.
constexpr JDIMENSION kBandBlockRows = 16;
// iMCU rows of a streamed source between the decoding and the coding thread.
constexpr JDIMENSION kRingRows = 3;

JDIMENSION CeilBlocks(std::uint64_t a, std::uint64_t b) { return CeilDiv<JDIMENSION>(a, b); }
JDIMENSION RoundBlocks(std::uint64_t a, std::uint64_t b) { return RoundUp<JDIMENSION>(a, b); }

[[noreturn]] void Refuse(const std::string& message) { throw BlockPlanError(BlockPlanError::Kind::Placement, message); }

// The components as the grid sees them (grid) and as the header declares them (declared): they
// differ only for a one-component image with sampling factors other than 1.
struct Sampling {
    int components = 0;
    std::array<int, MAX_COMPONENTS> h{}, v{};
    int maxH = 1, maxV = 1;
    bool operator==(const Sampling&) const = default;
    Sampling Swapped() const {
        Sampling s = *this;
        std::swap(s.h, s.v);
        std::swap(s.maxH, s.maxV);
        return s;
    }
};

Sampling DeclaredSampling(const jpeg_decompress_struct& header) {
    Sampling s;
    s.components = header.num_components;
    for (int c = 0; c < s.components && c < MAX_COMPONENTS; ++c) {
        s.h[static_cast<std::size_t>(c)] = header.comp_info[c].h_samp_factor;
        s.v[static_cast<std::size_t>(c)] = header.comp_info[c].v_samp_factor;
    }
    s.maxH = header.max_h_samp_factor;
    s.maxV = header.max_v_samp_factor;
    return s;
}

Sampling GridSampling(const jpeg_decompress_struct& header) {
    Sampling s = DeclaredSampling(header);
    if (s.components == 1) s.h[0] = s.v[0] = s.maxH = s.maxV = 1;
    return s;
}

// ---- the pieces, per component ----

struct TurnedBlocks {
    BlockTurn turn;
    // Output coefficient (u, v) of a block is sign[u * 8 + v] times source coefficient (u, v),
    // or (v, u) where the axes are exchanged: a mirrored axis negates the odd frequencies along it.
    std::array<JCOEF, DCTSIZE2> sign{};
};

TurnedBlocks TurnOf(const BlockTurn& turn) {
    TurnedBlocks t;
    t.turn = turn;
    for (int u = 0; u < DCTSIZE; ++u)
        for (int v = 0; v < DCTSIZE; ++v)
            t.sign[static_cast<std::size_t>(u * DCTSIZE + v)] =
                static_cast<JCOEF>(((turn.mirrorX && (v & 1)) != (turn.mirrorY && (u & 1))) ? -1 : 1);
    return t;
}

void MirrorBlock(const JCOEF* in, const JCOEF* sign, JCOEF* out) {
    for (int k = 0; k < DCTSIZE2; ++k) out[k] = static_cast<JCOEF>(in[k] * sign[k]);
}

void TransposeBlock(const JCOEF* in, const JCOEF* sign, JCOEF* out) {
    for (int u = 0; u < DCTSIZE; ++u)
        for (int v = 0; v < DCTSIZE; ++v)
            out[u * DCTSIZE + v] = static_cast<JCOEF>(in[v * DCTSIZE + u] * sign[u * DCTSIZE + v]);
}

struct Stream;

// Where one component of a source keeps its rows of blocks.
struct SourceRows {
    JDIMENSION columns = 0, rows = 0;
    const BlockArray* whole = nullptr;
    Stream* stream = nullptr;
    int component = 0;
    JBLOCKROW Row(JDIMENSION row) const;
};

// A piece in one component's blocks.
struct PieceBlocks {
    const SourceRows* source = nullptr;
    const TurnedBlocks* turn = nullptr;
    JDIMENSION srcColumn = 0, srcRow = 0;    // the area's first source block
    JDIMENSION srcColumns = 0, srcRows = 0;  // and its extent in source blocks
    JDIMENSION dstColumn = 0, dstRow = 0;    // the first output block
    JDIMENSION columns = 0, rows = 0;        // the output blocks the piece covers
};

struct OutputComponent {
    JDIMENSION widthInBlocks = 0, heightInBlocks = 0;  // blocks holding pixels
    JDIMENSION columns = 0, rows = 0;                  // padded to the MCU
    std::vector<PieceBlocks> pieces;
    std::vector<JCOEF> band;
    std::vector<JBLOCKROW> bandRows;
    JDIMENSION bandStart = 0;  // the output row in bandRows[0]
    bool bandFilled = false;
};

// Fills the band from output row start on.
void FillBand(OutputComponent& c, JDIMENSION start) {
    std::memset(c.band.data(), 0, c.band.size() * sizeof(JCOEF));
    c.bandStart = start;
    c.bandFilled = true;
    const JDIMENSION end = start + static_cast<JDIMENSION>(c.bandRows.size());
    for (const PieceBlocks& p : c.pieces) {
        const JDIMENSION first = std::max(start, p.dstRow), last = std::min(end, p.dstRow + p.rows);
        if (first >= last) continue;
        const SourceRows& source = *p.source;
        const BlockTurn& turn = p.turn->turn;
        const JCOEF* sign = p.turn->sign.data();
        if (!turn.swap) {
            for (JDIMENSION row = first; row < last; ++row) {
                const JDIMENSION y = row - p.dstRow;
                if (turn.mirrorY && y >= p.srcRows) continue;
                const JDIMENSION sourceRow = p.srcRow + (turn.mirrorY ? p.srcRows - 1 - y : y);
                if (sourceRow >= source.rows) continue;
                const JBLOCKROW in = source.Row(sourceRow);
                const JBLOCKROW out = c.bandRows[row - start] + p.dstColumn;
                if (!turn.mirrorX && !turn.mirrorY) {
                    if (p.srcColumn >= source.columns) continue;
                    const JDIMENSION count = std::min(p.columns, source.columns - p.srcColumn);
                    std::memcpy(out, in + p.srcColumn, static_cast<std::size_t>(count) * sizeof(JBLOCK));
                    continue;
                }
                for (JDIMENSION x = 0; x < p.columns; ++x) {
                    if (turn.mirrorX && x >= p.srcColumns) continue;
                    const JDIMENSION column = p.srcColumn + (turn.mirrorX ? p.srcColumns - 1 - x : x);
                    if (column < source.columns) MirrorBlock(in[column], sign, out[x]);
                }
            }
            continue;
        }
        // Output row r is source column r (counted from the right with mirrorY); output column x
        // is source row x (from the bottom with mirrorX). Down the source, row by row.
        for (JDIMENSION x = 0; x < p.columns; ++x) {
            if (turn.mirrorX && x >= p.srcRows) continue;
            const JDIMENSION sourceRow = p.srcRow + (turn.mirrorX ? p.srcRows - 1 - x : x);
            if (sourceRow >= source.rows) continue;
            const JBLOCKROW in = source.Row(sourceRow);
            for (JDIMENSION row = first; row < last; ++row) {
                const JDIMENSION y = row - p.dstRow;
                if (turn.mirrorY && y >= p.srcColumns) continue;
                const JDIMENSION column = p.srcColumn + (turn.mirrorY ? p.srcColumns - 1 - y : y);
                if (column < source.columns) TransposeBlock(in[column], sign, c.bandRows[row - start][p.dstColumn + x]);
            }
        }
    }
}

// ---- a streamed source ----

struct StreamComponent {
    int v = 1;
    JDIMENSION inColumns = 0;
    std::vector<JCOEF> ring, scratch;
    std::vector<JBLOCKROW> ringRows, scratchRows;
    int lastDecoded = -1;  // the iMCU row the decoder asked for last
    int copied = 0;        // output iMCU rows the encoder has taken
};

struct Stream {
    std::array<StreamComponent, MAX_COMPONENTS> components;
    int componentCount = 0;
    int topRow = 0;     // the source's iMCU row where the piece starts
    int rowCount = 0;   // the output's iMCU rows
    int inputRows = 0;  // the source's iMCU rows
    // The addresses of these bytes stand for the decoder's per-component arrays.
    std::array<char, MAX_COMPONENTS> tags{};
    int requested = 0;

    // Between the two threads.
    std::mutex mutex;
    std::condition_variable changed;
    int complete = 0;  // source iMCU rows fully decoded
    int released = 0;  // output rows that the encoder has taken in every component
    bool decoderEnded = false, encoderGone = false;
    std::exception_ptr decoderFailure;

    // Decoder: it starts source row row (so the rows before it are complete), which is output
    // row k or, for k < 0, no output row. Waits until the ring has room for row k. False when
    // the encoder has gone.
    bool RowStarted(int row, int k) {
        try {
            std::unique_lock lock(mutex);
            if (row > complete) {
                complete = row;
                changed.notify_all();
            }
            if (k >= 0) changed.wait(lock, [&] { return k - released < static_cast<int>(kRingRows) || encoderGone; });
            return !encoderGone;
        } catch (const std::system_error&) {
            return false;
        }
    }
    // Encoder: waits until source row row is complete. False when the decoder ended without it.
    bool WaitForRow(int row) {
        try {
            std::unique_lock lock(mutex);
            changed.wait(lock, [&] { return complete > row || decoderEnded; });
            return complete > row;
        } catch (const std::system_error&) {
            return false;
        }
    }
    // Encoder: component c has taken the output rows before copied.
    void Taken(int c, int copied) {
        const std::lock_guard lock(mutex);
        components[static_cast<std::size_t>(c)].copied = copied;
        int least = copied;
        for (int i = 0; i < componentCount; ++i) least = std::min(least, components[static_cast<std::size_t>(i)].copied);
        released = least;
        changed.notify_all();
    }
    void DecoderEnded(std::exception_ptr failure) {
        const std::lock_guard lock(mutex);
        decoderEnded = true;
        if (!failure) complete = inputRows;
        // Stopped because the encoder failed: the encoder's error is the one to report.
        else if (!encoderGone) decoderFailure = failure;
        changed.notify_all();
    }
    void StopDecoder() {
        const std::lock_guard lock(mutex);
        encoderGone = true;
        changed.notify_all();
    }
};

JBLOCKROW SourceRows::Row(JDIMENSION row) const {
    if (whole != nullptr) return whole->Row(row);
    const StreamComponent& s = stream->components[static_cast<std::size_t>(component)];
    const auto v = static_cast<JDIMENSION>(s.v);
    const JDIMENSION k = row / v - static_cast<JDIMENSION>(stream->topRow);
    return s.ringRows[static_cast<std::size_t>((k % kRingRows) * v + row % v)];
}

Stream& StreamOf(j_common_ptr info) { return *static_cast<Stream*>(info->client_data); }

// The streamed decoder's memory manager: an array handle per component, no storage of its
// own, and rows from the ring.
jvirt_barray_ptr RequestStreamedArray(j_common_ptr info, int, boolean, JDIMENSION blocksPerRow, JDIMENSION, JDIMENSION) {
    Stream& stream = StreamOf(info);
    if (stream.requested >= stream.componentCount ||
        blocksPerRow != stream.components[static_cast<std::size_t>(stream.requested)].inColumns)
        ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    return reinterpret_cast<jvirt_barray_ptr>(&stream.tags[static_cast<std::size_t>(stream.requested++)]);
}

void RealizeNothing(j_common_ptr) {}

JBLOCKARRAY AccessDecodedRows(j_common_ptr info, jvirt_barray_ptr array, JDIMENSION startRow, JDIMENSION numRows,
                              boolean) {
    Stream& stream = StreamOf(info);
    const std::ptrdiff_t c = reinterpret_cast<char*>(array) - stream.tags.data();
    if (c < 0 || c >= stream.requested) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    StreamComponent& component = stream.components[static_cast<std::size_t>(c)];
    const int v = component.v;
    // One scan visits each iMCU row once, in order; anything else is not this plan's image.
    if (static_cast<int>(numRows) != v || startRow % static_cast<JDIMENSION>(v) != 0 ||
        static_cast<int>(startRow) / v != component.lastDecoded + 1)
        ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    const int row = component.lastDecoded = static_cast<int>(startRow) / v;
    const int k = row - stream.topRow;
    const bool kept = k >= 0 && k < stream.rowCount;
    if (!stream.RowStarted(row, kept ? k : -1)) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    if (!kept) return component.scratchRows.data();
    JBLOCKROW* rows = component.ringRows.data() + static_cast<std::size_t>(k % static_cast<int>(kRingRows)) * static_cast<std::size_t>(v);
    // The entropy decoder stores only the coefficients that are coded: the rest must be zero.
    std::memset(rows[0], 0, static_cast<std::size_t>(v) * component.inColumns * sizeof(JBLOCK));
    return rows;
}

// The decoding thread of a streamed source, stopped (the encoder having failed) and joined when
// it goes out of scope.
class DecodingThread {
public:
    DecodingThread(Stream& stream, const std::function<void()>& decode)
        : stream_(stream), thread_([&stream, &decode] {
              std::exception_ptr failure;
              try {
                  decode();
              } catch (...) {
                  failure = std::current_exception();
              }
              stream.DecoderEnded(failure);
          }) {}
    ~DecodingThread() { StopAndJoin(); }
    DecodingThread(const DecodingThread&) = delete;
    DecodingThread& operator=(const DecodingThread&) = delete;
    // Once the encoder has taken every row: the decoder reads the rest of the image.
    void Join() { thread_.join(); }
    // The encoder has failed: the decoder stops at its next row.
    void StopAndJoin() {
        if (!thread_.joinable()) return;
        stream_.StopDecoder();
        thread_.join();
    }

private:
    Stream& stream_;
    std::thread thread_;
};

// ---- the engine ----

struct Engine {
    std::array<OutputComponent, MAX_COMPONENTS> components;
    int componentCount = 0;
    std::vector<TurnedBlocks> turns;                   // one per piece
    std::vector<std::array<SourceRows, MAX_COMPONENTS>> sources;
    std::vector<BlockArrays> read;                     // the sources read here
    Stream* stream = nullptr;
    // The addresses of these bytes stand for the output's per-component arrays.
    std::array<char, MAX_COMPONENTS> tags{};
};

JBLOCKARRAY AccessPlannedRows(j_common_ptr info, jvirt_barray_ptr array, JDIMENSION startRow, JDIMENSION numRows,
                              boolean) {
    Engine& engine = *static_cast<Engine*>(info->client_data);
    const std::ptrdiff_t c = reinterpret_cast<char*>(array) - engine.tags.data();
    if (c < 0 || c >= engine.componentCount) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    OutputComponent& component = engine.components[static_cast<std::size_t>(c)];
    const auto bandRows = static_cast<JDIMENSION>(component.bandRows.size());
    if (numRows > bandRows || startRow >= component.rows) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
    if (Stream* stream = engine.stream) {
        // Rows are handed over once, in order; a failed decoder's error is the one reported.
        const int k = static_cast<int>(startRow / bandRows);
        if (numRows != bandRows || startRow % bandRows != 0 || k >= stream->rowCount ||
            k != stream->components[static_cast<std::size_t>(c)].copied || !stream->WaitForRow(stream->topRow + k))
            ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
        FillBand(component, startRow);
        stream->Taken(static_cast<int>(c), k + 1);
        return component.bandRows.data();
    }
    if (!component.bandFilled || startRow < component.bandStart || startRow + numRows > component.bandStart + bandRows)
        FillBand(component, startRow);
    return component.bandRows.data() + (startRow - component.bandStart);
}

std::string PieceName(std::size_t i) { return "piece " + std::to_string(i + 1); }

// Invariants 1 to 3 of the header.
void CheckPlan(const BlockPlan& plan, const Sampling& grid, bool swap) {
    if (plan.sources.empty() || plan.pieces.empty()) Refuse("the plan has no pieces");
    if (plan.width == 0 || plan.height == 0) Refuse("the output is empty");
    const jpeg_decompress_struct& model = *plan.sources[0].decoder;
    for (std::size_t i = 0; i < plan.sources.size(); ++i) {
        const jpeg_decompress_struct* header = plan.sources[i].decoder;
        if (header == nullptr || header->num_components < 1 || header->num_components > MAX_COMPONENTS)
            Refuse("source " + std::to_string(i + 1) + " has no header");
        if (DeclaredSampling(*header) != DeclaredSampling(model) || header->jpeg_color_space != model.jpeg_color_space)
            Refuse("source " + std::to_string(i + 1) + " differs from the first in components or sampling");
    }
    const Sampling out = swap ? grid.Swapped() : grid;
    const std::uint32_t gridWidth = DCTSIZE * static_cast<std::uint32_t>(grid.maxH);
    const std::uint32_t gridHeight = DCTSIZE * static_cast<std::uint32_t>(grid.maxV);
    const std::uint32_t outWidth = DCTSIZE * static_cast<std::uint32_t>(out.maxH);
    const std::uint32_t outHeight = DCTSIZE * static_cast<std::uint32_t>(out.maxV);
    for (std::size_t i = 0; i < plan.pieces.size(); ++i) {
        const BlockPiece& piece = plan.pieces[i];
        if (piece.source >= plan.sources.size()) Refuse(PieceName(i) + " names no source");
        const jpeg_decompress_struct& header = *plan.sources[piece.source].decoder;
        const PixelRect& a = piece.area;
        if (piece.turn.swap != swap) Refuse(PieceName(i) + " turns otherwise than the first");
        if (a.width == 0 || a.height == 0 || a.x >= header.image_width || a.width > header.image_width - a.x ||
            a.y >= header.image_height || a.height > header.image_height - a.y)
            Refuse(PieceName(i) + " lies outside its source");
        const bool reversesColumns = swap ? piece.turn.mirrorY : piece.turn.mirrorX;
        const bool reversesRows = swap ? piece.turn.mirrorX : piece.turn.mirrorY;
        if (a.x % gridWidth != 0 || a.y % gridHeight != 0 || (reversesColumns && a.width % gridWidth != 0) ||
            (reversesRows && a.height % gridHeight != 0))
            Refuse(PieceName(i) + " does not lie on its source's block grid");
        const std::uint32_t turnedWidth = swap ? a.height : a.width, turnedHeight = swap ? a.width : a.height;
        if (piece.x % outWidth != 0 || piece.y % outHeight != 0 || piece.x > plan.width ||
            turnedWidth > plan.width - piece.x || piece.y > plan.height || turnedHeight > plan.height - piece.y)
            Refuse(PieceName(i) + " does not lie on the output's block grid inside it");
    }
}

bool Streams(const BlockPlan& plan, const Sampling& grid) {
    if (!plan.mayStream || plan.sources.size() != 1 || plan.pieces.size() != 1) return false;
    const BlockPiece& piece = plan.pieces[0];
    const BlockSource& source = plan.sources[0];
    const jpeg_decompress_struct& header = *source.decoder;
    // One scan of every component: a sequential file codes each component in exactly one scan,
    // so a first scan of all of them is the only one.
    const bool plain = !piece.turn.swap && !piece.turn.mirrorX && !piece.turn.mirrorY;
    const bool fillsOutput = piece.x == 0 && piece.y == 0 && piece.area.width == plan.width && piece.area.height == plan.height;
    return plain && fillsOutput && source.read[0] == nullptr && !header.progressive_mode &&
           header.comps_in_scan == header.num_components && DeclaredSampling(header) == grid;
}

void PlanStream(Stream& stream, const BlockPlan& plan, const Sampling& grid) {
    const jpeg_decompress_struct& header = *plan.sources[0].decoder;
    const BlockPiece& piece = plan.pieces[0];
    const auto imcuHeight = static_cast<std::uint32_t>(DCTSIZE * grid.maxV);
    stream.componentCount = grid.components;
    stream.topRow = static_cast<int>(piece.area.y / imcuHeight);
    stream.rowCount = static_cast<int>(CeilBlocks(plan.height, imcuHeight));
    stream.inputRows = static_cast<int>(header.total_iMCU_rows);
    for (int c = 0; c < grid.components; ++c) {
        StreamComponent& s = stream.components[static_cast<std::size_t>(c)];
        const int h = grid.h[static_cast<std::size_t>(c)];
        s.v = grid.v[static_cast<std::size_t>(c)];
        s.inColumns = RoundBlocks(header.comp_info[c].width_in_blocks, static_cast<std::uint64_t>(h));
        const std::size_t inLength = static_cast<std::size_t>(s.inColumns) * DCTSIZE2;
        s.ring.assign(inLength * kRingRows * static_cast<std::size_t>(s.v), 0);
        s.scratch.assign(inLength * static_cast<std::size_t>(s.v), 0);
        for (std::size_t r = 0; r < kRingRows * static_cast<std::size_t>(s.v); ++r)
            s.ringRows.push_back(reinterpret_cast<JBLOCKROW>(s.ring.data() + r * inLength));
        for (std::size_t r = 0; r < static_cast<std::size_t>(s.v); ++r)
            s.scratchRows.push_back(reinterpret_cast<JBLOCKROW>(s.scratch.data() + r * inLength));
    }
}

// Reads the sources that are neither read already nor streamed.
void ReadSources(Engine& engine, const BlockPlan& plan, const Sampling& grid) {
    engine.read.resize(plan.sources.size());
    engine.sources.resize(plan.sources.size());
    for (std::size_t i = 0; i < plan.sources.size(); ++i) {
        const BlockSource& source = plan.sources[i];
        for (int c = 0; c < grid.components; ++c) {
            SourceRows& rows = engine.sources[i][static_cast<std::size_t>(c)];
            rows.component = c;
            if (engine.stream != nullptr) {
                rows.stream = engine.stream;
                rows.columns = engine.stream->components[static_cast<std::size_t>(c)].inColumns;
                rows.rows = static_cast<JDIMENSION>(engine.stream->inputRows * engine.stream->components[static_cast<std::size_t>(c)].v);
                continue;
            }
            if (source.read[static_cast<std::size_t>(c)] == nullptr) {
                BlockArrays& arrays = engine.read[i];
                if (arrays.requested == 0) {
                    PlaceBlockArrays(*source.decoder, arrays);
                    source.decode();
                    if (arrays.requested != grid.components)
                        throw BlockPlanError(BlockPlanError::Kind::Unread, "no coefficients were read");
                }
                rows.whole = &arrays.arrays[static_cast<std::size_t>(c)];
            } else {
                rows.whole = source.read[static_cast<std::size_t>(c)];
            }
            rows.columns = rows.whole->columns;
            rows.rows = rows.whole->rows;
        }
    }
}

// The output's components and each piece's blocks in them.
void PlanComponents(Engine& engine, const BlockPlan& plan, const Sampling& grid, const Sampling& declared, bool swap) {
    const Sampling out = swap ? grid.Swapped() : grid;
    const Sampling outDeclared = swap ? declared.Swapped() : declared;
    const std::uint64_t gridWidth = DCTSIZE * static_cast<std::uint64_t>(grid.maxH);
    const std::uint64_t gridHeight = DCTSIZE * static_cast<std::uint64_t>(grid.maxV);
    const std::uint64_t outWidth = DCTSIZE * static_cast<std::uint64_t>(out.maxH);
    const std::uint64_t outHeight = DCTSIZE * static_cast<std::uint64_t>(out.maxV);
    engine.componentCount = grid.components;
    for (const BlockPiece& piece : plan.pieces) engine.turns.push_back(TurnOf(piece.turn));
    for (int c = 0; c < grid.components; ++c) {
        const auto i = static_cast<std::size_t>(c);
        OutputComponent& component = engine.components[i];
        const std::uint64_t h = static_cast<unsigned>(grid.h[i]), v = static_cast<unsigned>(grid.v[i]);
        const std::uint64_t outH = static_cast<unsigned>(out.h[i]), outV = static_cast<unsigned>(out.v[i]);
        const std::uint64_t padH = static_cast<unsigned>(outDeclared.h[i]), padV = static_cast<unsigned>(outDeclared.v[i]);
        // As libjpeg lays out the output: blocks covering the pixels, rows padded to the MCU.
        component.widthInBlocks = CeilBlocks(std::uint64_t{plan.width} * outH, outWidth);
        component.heightInBlocks = CeilBlocks(std::uint64_t{plan.height} * outV, outHeight);
        component.columns = RoundBlocks(component.widthInBlocks, padH);
        component.rows = RoundBlocks(component.heightInBlocks, padV);
        for (std::size_t p = 0; p < plan.pieces.size(); ++p) {
            const BlockPiece& piece = plan.pieces[p];
            PieceBlocks blocks;
            blocks.source = &engine.sources[piece.source][i];
            blocks.turn = &engine.turns[p];
            blocks.srcColumn = static_cast<JDIMENSION>(piece.area.x / gridWidth * h);
            blocks.srcRow = static_cast<JDIMENSION>(piece.area.y / gridHeight * v);
            blocks.srcColumns = CeilBlocks(std::uint64_t{piece.area.width} * h, gridWidth);
            blocks.srcRows = CeilBlocks(std::uint64_t{piece.area.height} * v, gridHeight);
            blocks.dstColumn = static_cast<JDIMENSION>(piece.x / outWidth * outH);
            blocks.dstRow = static_cast<JDIMENSION>(piece.y / outHeight * outV);
            blocks.columns = swap ? blocks.srcRows : blocks.srcColumns;
            blocks.rows = swap ? blocks.srcColumns : blocks.srcRows;
            if (plan.edges == EdgeBlocks::FromSource) {
                blocks.columns = RoundBlocks(blocks.columns, padH);
                blocks.rows = RoundBlocks(blocks.rows, padV);
            }
            blocks.columns = std::min(blocks.columns, component.columns - blocks.dstColumn);
            blocks.rows = std::min(blocks.rows, component.rows - blocks.dstRow);
            component.pieces.push_back(blocks);
        }
        // Whole MCU rows: the encoder asks for padV rows from a multiple of padV on.
        const std::size_t bandRows = static_cast<std::size_t>(padV) *
                                     (swap ? std::max<std::size_t>(1, kBandBlockRows / padV) : 1);
        const std::size_t rowLength = static_cast<std::size_t>(component.columns) * DCTSIZE2;
        component.band.assign(rowLength * bandRows, 0);
        component.bandRows.resize(bandRows);
        for (std::size_t r = 0; r < bandRows; ++r)
            component.bandRows[r] = reinterpret_cast<JBLOCKROW>(component.band.data() + r * rowLength);
    }
}

bool IsAdobeSegment(const MarkerSegment& segment) {
    constexpr std::string_view kAdobe = "Adobe";
    return segment.marker == JPEG_APP0 + 14 && segment.payload.size() >= kAdobe.size() &&
           std::memcmp(segment.payload.data(), kAdobe.data(), kAdobe.size()) == 0;
}

}  // namespace

BlockGrid GridOf(int components, int maxH, int maxV) {
    if (components == 1) return {};
    return {static_cast<std::uint32_t>(DCTSIZE * maxH), static_cast<std::uint32_t>(DCTSIZE * maxV)};
}

BlockGrid GridOf(const jpeg_decompress_struct& header) {
    return GridOf(header.num_components, header.max_h_samp_factor, header.max_v_samp_factor);
}

std::vector<std::uint8_t> CodeBlockPlan(const BlockPlan& plan) {
    if (plan.sources.empty() || plan.sources[0].decoder == nullptr) Refuse("the plan has no source");
    jpeg_decompress_struct& model = *plan.sources[0].decoder;
    const Sampling grid = GridSampling(model), declared = DeclaredSampling(model);
    const bool swap = !plan.pieces.empty() && plan.pieces[0].turn.swap;
    CheckPlan(plan, grid, swap);
    for (const MarkerSegment& segment : plan.segments)
        if (segment.marker < JPEG_APP0 || segment.marker > JPEG_COM || segment.payload.size() > 0xFFFF - 2)
            Refuse("a marker segment to write is malformed");

    Engine engine;
    Stream stream;
    if (Streams(plan, grid)) {
        PlanStream(stream, plan, grid);
        engine.stream = &stream;
        jpeg_decompress_struct& decoder = *plan.sources[0].decoder;
        decoder.client_data = &stream;
        decoder.mem->request_virt_barray = RequestStreamedArray;
        decoder.mem->realize_virt_arrays = RealizeNothing;
        decoder.mem->access_virt_barray = AccessDecodedRows;
    }
    ReadSources(engine, plan, grid);
    PlanComponents(engine, plan, grid, declared, swap);
    std::array<jvirt_barray_ptr, MAX_COMPONENTS> arrays{};
    for (std::size_t c = 0; c < arrays.size(); ++c) arrays[c] = reinterpret_cast<jvirt_barray_ptr>(&engine.tags[c]);

    Encoder out(plan.expectedSize);
    const auto raise = [](const char* message) { throw BlockPlanError(BlockPlanError::Kind::Coding, message); };
    bool layoutMatches = true;
    Guarded(out.errors, raise, [&] {
        jpeg_compress_struct& info = out.info;
        jpeg_copy_critical_parameters(&model, &info);
        info.image_width = plan.width;
        info.image_height = plan.height;
        if (swap) {
            for (int c = 0; c < info.num_components; ++c) std::swap(info.comp_info[c].h_samp_factor, info.comp_info[c].v_samp_factor);
            // Coefficient (u, v) of a turned block was (v, u): so is its quantizer.
            for (JQUANT_TBL* table : info.quant_tbl_ptrs) {
                if (table == nullptr) continue;
                for (int u = 0; u < DCTSIZE; ++u)
                    for (int v = u + 1; v < DCTSIZE; ++v) std::swap(table->quantval[u * DCTSIZE + v], table->quantval[v * DCTSIZE + u]);
            }
        }
        info.write_JFIF_header = plan.writeJfif ? TRUE : FALSE;
        if (plan.adobeInSegments) info.write_Adobe_marker = FALSE;
        if (plan.sameCoding) {
            info.arith_code = model.arith_code;
            info.restart_interval = model.restart_interval;
            if (model.progressive_mode) jpeg_simple_progression(&info);
        }
        // Streamed, one pass over the rows: each is handed over once.
        if (engine.stream != nullptr) info.optimize_coding = FALSE;
        info.client_data = &engine;
        info.mem->access_virt_barray = AccessPlannedRows;
        jpeg_write_coefficients(&info, arrays.data());
        for (int c = 0; c < engine.componentCount; ++c) {
            const OutputComponent& component = engine.components[static_cast<std::size_t>(c)];
            layoutMatches = layoutMatches && info.comp_info[c].width_in_blocks == component.widthInBlocks &&
                            info.comp_info[c].height_in_blocks == component.heightInBlocks;
        }
        if (!layoutMatches) return;
        for (const MarkerSegment& segment : plan.segments) {
            if (!plan.adobeInSegments && info.write_Adobe_marker && IsAdobeSegment(segment)) continue;
            jpeg_write_marker(&info, segment.marker, segment.payload.data(), static_cast<unsigned>(segment.payload.size()));
        }
    });
    if (!layoutMatches)
        throw BlockPlanError(BlockPlanError::Kind::Layout, "libjpeg lays out the output's components otherwise");
    if (engine.stream == nullptr) {
        Guarded(out.errors, raise, [&] { jpeg_finish_compress(&out.info); });
        return out.Take();
    }
    DecodingThread decoding(stream, plan.sources[0].decode);
    try {
        Guarded(out.errors, raise, [&] { jpeg_finish_compress(&out.info); });
    } catch (const BlockPlanError&) {
        decoding.StopAndJoin();
        // The encoder stops when the decoder does: then the decoder's error is the cause.
        if (stream.decoderFailure) std::rethrow_exception(stream.decoderFailure);
        throw;
    }
    decoding.Join();
    if (stream.decoderFailure) std::rethrow_exception(stream.decoderFailure);
    return out.Take();
}

}  // namespace veltrane::libjpeg
