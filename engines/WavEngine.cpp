// SPDX-License-Identifier: GPL-3.0-or-later
#include "engines/WavEngine.h"

#include <bit>
#include <cerrno>

#include "dsp/FrameRows.h"
#include "dsp/KernelChoice.h"
#include "engines/EngineMessages.h"

namespace tavrisk {

namespace {

// Block rows L, R, C, LFE, LS, RS in the film order L, C, R, LS, RS, LFE ...
constexpr std::array<std::size_t, WavEngine::kChannels> kRowOfFilmChannel = {
    SampleBlock::kRowL,  SampleBlock::kRowC,  SampleBlock::kRowR,
    SampleBlock::kRowLs, SampleBlock::kRowRs, SampleBlock::kRowLfe};
// ... and in the standard order FL FR FC LFE BL BR, which is theirs.
constexpr std::array<std::size_t, WavEngine::kChannels> kRowOfStandardChannel = {
    SampleBlock::kRowL,   SampleBlock::kRowR,  SampleBlock::kRowC,
    SampleBlock::kRowLfe, SampleBlock::kRowLs, SampleBlock::kRowRs};

void RowsToSamples16Plain(const double* const* rows, std::size_t count, int16_t* frames) {
    frame_rows::RowsToSamples16(rows, count, frames);
}

[[gnu::target("avx2")]] void RowsToSamples16Avx2(const double* const* rows, std::size_t count,
                                                 int16_t* frames) {
    frame_rows::RowsToSamples16(rows, count, frames);
}

const auto kRowsToSamples16 = ChooseAvx2Kernel(RowsToSamples16Avx2, RowsToSamples16Plain);

}  // namespace

WavEngine::WavEngine(JobHost& host) : host(host) {}

WavEngine::~WavEngine() = default;

bool WavEngine::Init(const JobSettings& settings) {
    if (!source || !source->Open(settings.inputName)) {
        return false;
    }
    outputName = settings.outputName;
    const bool film = settings.wavOrder == WavChannelOrder::kFilm;
    rowOfFileChannel = film ? kRowOfFilmChannel : kRowOfStandardChannel;
    const uint32_t mask = film ? 0 : speaker::k51;
    if (!writer.Open(outputName, kChannels, settings.outputRate, WavWriter::kBitsPerSample, mask)) {
        ReportCreateError(host, outputName, errno);
        return false;
    }
    writing = std::make_unique<WorkerQueue<Batch>>(
        std::vector<Batch>(kQueuedBatches), [this](const Batch& packed) { return Write(packed); });
    packing = nullptr;
    return true;
}

bool WavEngine::FetchBlock() {
    return !failed && ReadFromSource(block);
}

bool WavEngine::EncodeBlock() {
    if (!packing && writing) {
        packing = writing->Acquire();
        if (packing) packing->blocks = 0;
    }
    if (!packing) {
        ReportWriteFailure();
        return false;
    }
    Pack(packing->values.data() + packing->blocks * kBlockValues);
    ++packing->blocks;
    if (packing->blocks == kBatchBlocks) HandOver();
    return true;
}

void WavEngine::HandOver() {
    if (!packing) return;
    packing = nullptr;
    writing->Commit();
}

bool WavEngine::Write(const Batch& packed) {
    const std::size_t written =
        writer.WriteBlocks(packed.values.data(), kBlockValues * sizeof(int16_t), packed.blocks);
    wroteBlock = wroteBlock || written > 0;
    return written == packed.blocks;
}

void WavEngine::ReportWriteFailure() {
    if (!failed) ReportWriteError(host, outputName);
    failed = true;
}

void WavEngine::Pack(int16_t* frames) const {
    const double* values = block.Row(0);
    // Copied: a store of a sample might otherwise change the rows.
    const std::array<std::size_t, kChannels> rows = rowOfFileChannel;
    if constexpr (std::endian::native == std::endian::little) {
        // As whole 16-bit words: the file's byte order is the host's.
        std::array<const double*, kChannels> fileRows{};
        for (std::size_t c = 0; c < kChannels; ++c) fileRows[c] = block.Row(rows[c]);
        kRowsToSamples16(fileRows.data(), SampleBlock::kFrames, frames);
        return;
    }
    auto* bytes = reinterpret_cast<uint8_t*>(frames);
    for (std::size_t i = 0; i < SampleBlock::kFrames; ++i) {
        for (std::size_t c = 0; c < kChannels; ++c) {
            const double value = values[rows[c] * SampleBlock::kFrames + i];
            WavWriter::PutSample(value, bytes + (i * kChannels + c) * WavWriter::kBytesPerSample);
        }
    }
}

bool WavEngine::Finish() {
    if (source) {
        source->Close();
    }
    // The blocks packed since the last handover go out too.
    if (writing) {
        HandOver();
        if (!writing->Drain()) ReportWriteFailure();
        writing.reset();
    }
    if (!wroteBlock) {
        writer.Discard();
        return true;
    }
    const bool wasOpen = writer.IsOpen();
    const bool closed = writer.Close(Ending());
    if (wasOpen) NoteKept(writer.Kept());
    if (!closed && wasOpen) {
        if (!failed) {
            ReportWriteError(host, outputName);
        }
        failed = true;
        return false;
    }
    return true;
}

}  // namespace tavrisk
