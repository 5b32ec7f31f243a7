// SPDX-License-Identifier: GPL-3.0-or-later
#include "engines/WavEngine.h"

#include <bit>
#include <cerrno>

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
    writing =
        std::make_unique<BlockPipeline>([this](const SampleBlock& next) { return Write(next); });
    return true;
}

bool WavEngine::FetchBlock() {
    return !failed && ReadFromSource(block);
}

bool WavEngine::EncodeBlock() {
    if (writing && writing->Push(block)) return true;
    ReportWriteFailure();
    return false;
}

bool WavEngine::Write(const SampleBlock& next) {
    Pack(next, batch.data() + batched * kBlockValues);
    ++batched;
    return batched < kBatchBlocks || WriteBatch();
}

bool WavEngine::WriteBatch() {
    const std::size_t blocks = batched;
    batched = 0;
    const std::size_t written =
        writer.WriteBlocks(batch.data(), kBlockValues * sizeof(batch[0]), blocks);
    wroteBlock = wroteBlock || written > 0;
    return written == blocks;
}

void WavEngine::ReportWriteFailure() {
    if (!failed) ReportWriteError(host, outputName);
    failed = true;
}

void WavEngine::Pack(const SampleBlock& from, int16_t* frames) const {
    const double* values = from.Row(0);
    // Copied: a store of a sample might otherwise change the rows.
    const std::array<std::size_t, kChannels> rows = rowOfFileChannel;
    if constexpr (std::endian::native == std::endian::little) {
        // Frame by frame, as whole 16-bit words: the file's byte order is the host's.
        for (std::size_t i = 0; i < SampleBlock::kFrames; ++i) {
#pragma GCC unroll 6
            for (std::size_t c = 0; c < kChannels; ++c) {
                const double value = values[rows[c] * SampleBlock::kFrames + i];
                frames[i * kChannels + c] = static_cast<int16_t>(static_cast<int32_t>(value));
            }
        }
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
    // The blocks handed over go out first, then those packed since the last write.
    if (writing) {
        if (!writing->Drain()) ReportWriteFailure();
        writing.reset();
    }
    if (batched > 0 && !failed && !WriteBatch()) ReportWriteFailure();
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
