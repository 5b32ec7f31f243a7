// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2dec/StreamDecoder.h"

#include "mp2dec/ChannelConfigurations.h"
#include "mp2dec/FrameScanner.h"

namespace tavrisk::mp2dec {

StreamDecoder::StreamDecoder(bool compatiblePairOnly, Programme programme, int threads)
    : pairOnly(compatiblePairOnly), programme(programme), threads(threads) {}

OutputLayout StreamDecoder::LayoutOfFrame(const FrameHeader& header,
                                          const ExtensionInfo& extension) const {
    if (programme == Programme::kSecond && CarriesSecondProgramme(extension))
        return SecondProgrammeLayout();
    return LayoutOfStream(header, extension, pairOnly);
}

void StreamDecoder::NoteSecondProgramme(const ExtensionInfo& extension, long number,
                                        ProblemLog& log) {
    if (secondProgrammeNoted || programme == Programme::kSecond ||
        !CarriesSecondProgramme(extension))
        return;
    log.Warning(number, "the stream carries a second stereo programme that is not in the output");
    secondProgrammeNoted = true;
}

std::span<const int16_t> StreamDecoder::Output(const OutputLayout& layout, int decoded,
                                               const int16_t* samples) {
    // The pair alone is decoded as it is written.
    if (layout.count == decoded || decoded == kCompatibleChannels)
        return {samples, static_cast<std::size_t>(kFrameSamples * decoded)};
    const auto count = static_cast<std::size_t>(layout.count);
    picked.resize(static_cast<std::size_t>(kFrameSamples) * count);
    for (std::size_t s = 0; s < static_cast<std::size_t>(kFrameSamples); ++s) {
        const int16_t* in = samples + s * static_cast<std::size_t>(decoded);
        for (std::size_t c = 0; c < count; ++c) picked[s * count + c] = in[layout.decoded[c]];
    }
    return picked;
}

void StreamDecoder::NoteLayoutChange(const OutputLayout& output, const OutputLayout& frame,
                                     long number, ProblemLog& log) {
    if (frame == previous) return;
    previous = frame;
    if (frame == output) return;
    const int missing = output.Missing(frame);
    const std::string what =
        "the channel configuration changes; the output keeps the first "
        "frame's " +
        std::to_string(output.count) + " channel(s)";
    if (missing == 0)
        log.Warning(number, what);
    else
        log.Error(number, what + " and leaves out " + std::to_string(missing) + " of this frame's");
}

bool StreamDecoder::WriteFrame(PendingFrame& frame, int decoded, SampleSink& sink, ProblemLog& log,
                               Summary& summary, const Progress& progress) {
    log.MoveFrom(frame.problems);
    if (frame.result == FrameDecoder::kMuted) ++summary.muted;
    if (frame.result == FrameDecoder::kStereoFallback) ++summary.stereoFallbacks;
    sawExtension = sawExtension || frame.extension.present;
    if (frame.result == FrameDecoder::kDecoded) {
        NoteLayoutChange(summary.layout, frame.layout, frame.number, log);
        NoteSecondProgramme(frame.extension, frame.number, log);
    }
    ++summary.frames;
    if (!sink.Write(Output(summary.layout, decoded, frame.pcm.data()))) {
        log.Error(frame.number, "cannot write " + sink.Name());
        summary.writeFailed = true;
        return false;
    }
    if (progress) progress(frame.bytesDone);
    return true;
}

bool StreamDecoder::Decode(std::istream& in, SampleSink& sink, ProblemLog& log, Summary& summary,
                           const Progress& progress) {
    summary = Summary{};
    sawExtension = secondProgrammeNoted = false;
    FrameScanner scanner(in);
    FrameDecoder decoder(pairOnly);
    SynthesisQueue queue(decoder, threads > 1);
    const int decoded = decoder.OutputChannels();
    // What is found in reading a frame is told when the frame is written, so the log is the
    // same whether or not the frames before it are still being synthesised.
    auto writeOldest = [&] {
        const bool written = WriteFrame(queue.Oldest(), decoded, sink, log, summary, progress);
        queue.Release();
        return written;
    };
    bool started = false;
    for (;;) {
        if (queue.Full() && !writeOldest()) break;
        PendingFrame& frame = queue.Filling();
        if (!scanner.Next(frame.problems)) break;
        const FrameHeader& header = scanner.Header();
        const long number = scanner.FrameNumber();
        if (started && header.SampleRate() != summary.sampleRate) {
            frame.problems.Error(number, "sampling rate changes; frame skipped");
            continue;
        }
        frame.result = decoder.Analyse(scanner.Data(), header, number, frame.problems,
                                       frame.subbands, scanner.ExtensionData());
        frame.number = number;
        frame.extension = decoder.LastExtension();
        frame.layout = LayoutOfFrame(header, frame.extension);
        frame.bytesDone = scanner.BytesDone();
        if (!started) {
            // The first frame decides: a stream without the extension is its stereo pair.
            started = true;
            log.MoveFrom(frame.problems);
            summary.sampleRate = header.SampleRate();
            if (programme == Programme::kSecond && !CarriesSecondProgramme(frame.extension)) {
                log.Error(number, "the stream carries no second stereo programme");
                return false;
            }
            summary.layout = frame.layout;
            summary.channels = summary.layout.count;
            previous = summary.layout;
            if (!sink.Start(summary.layout, summary.sampleRate)) {
                log.Error(0, "cannot create " + sink.Name());
                summary.writeFailed = true;
                return false;
            }
        }
        queue.Submit();
    }
    while (!summary.writeFailed && queue.Pending() > 0) writeOldest();
    if (!summary.writeFailed) log.MoveFrom(queue.Filling().problems);  // after the last frame
    // Only a stream without any extension is told that it has none.
    summary.stereoOnly = !pairOnly && programme == Programme::kMain &&
                         summary.channels == kCompatibleChannels && !sawExtension;
    if (summary.frames == 0 && !summary.writeFailed) log.Error(0, "no frames found");
    return !summary.writeFailed && summary.frames > 0;
}

}  // namespace tavrisk::mp2dec
