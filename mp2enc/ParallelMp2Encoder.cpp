// SPDX-License-Identifier: GPL-3.0-or-later
#include "mp2enc/ParallelMp2Encoder.h"

#include <algorithm>
#include <system_error>

namespace tavrisk::mp2 {
namespace {

// Rooms for the segments' input per thread: one being encoded, three waiting; and one more,
// being filled. With one waiting, the calling thread often ran out of rooms, encoded a segment
// itself and left the stream's decoding to stall behind it; the workers then ran dry while the
// decoding caught up: in a film job on two cores, 7 % of the cores' time stood idle, 4 % now.
constexpr int kRoomsPerThread = 4;
// Segments in flight per room: those encoded wait, small, for the older ones to be written.
constexpr int kSegmentsPerRoom = 4;

}  // namespace

ParallelMp2Encoder::Segment::Segment(int frames)
    : blocks(static_cast<std::size_t>(frames)), lfe(static_cast<std::size_t>(frames)) {}

ParallelMp2Encoder::ParallelMp2Encoder(int threads, int segmentFrames)
    : wantedThreads(std::max(threads, 1)), segmentFrames(std::max(segmentFrames, 1)) {}

ParallelMp2Encoder::~ParallelMp2Encoder() {
    StopWorkers();
}

bool ParallelMp2Encoder::Configure(const EncoderSettings& wanted, FrameSink& frameSink) {
    StopWorkers();
    settings = wanted;
    sink = &frameSink;
    gatherer.Reset();
    // The ancillary text runs on from frame to frame, and the traces of the higher
    // verbosities sum the whole run: both need the frames in one encoder.
    serial = wantedThreads == 1 || settings.ancillaryText || settings.verbosity > 1;
    plain.AllowHelperThread(serial);
    const bool configured = plain.Configure(settings, frameSink);
    if (serial) return configured;
    // The settings' messages are the plain encoder's; the frames' are the workers'.
    log.Take();
    Append(plain.Log().Take());
    if (!configured) return false;
    schedule.Start(settings, plain.Length());
    lfeFilter.Reset();
    framesTaken = 0;
    filling = false;
    failed = false;
    current = next = nullptr;
    written = opened = 0;
    StartWorkers(wantedThreads);
    if (workers.empty()) {
        serial = true;  // no thread to be had: the calling thread encodes
        plain.AllowHelperThread(true);
        return plain.Configure(settings, frameSink);
    }
    return true;
}

void ParallelMp2Encoder::Append(std::vector<EncoderMessage> messages) {
    for (EncoderMessage& message : messages) {
        if (message.kind == EncoderMessage::kError) {
            log.Error(std::move(message.text));
        } else {
            log.Report(std::move(message.text));
        }
    }
}

void ParallelMp2Encoder::StartWorkers(int threads) {
    {
        const std::lock_guard guard(lock);
        dispatched = taken = 0;
        stopping = false;
    }
    rooms.clear();
    freeRooms.clear();
    for (int r = 0; r < kRoomsPerThread * threads + 1; ++r) {
        rooms.push_back(std::make_unique<Segment>(segmentFrames));
        freeRooms.push_back(rooms.back().get());
    }
    results.clear();
    for (std::size_t r = 0; r < kSegmentsPerRoom * rooms.size(); ++r)
        results.push_back(std::make_unique<Encoded>());
    try {
        for (int t = 0; t < threads; ++t) {
            auto encoder = std::make_unique<Mp2Encoder>();
            encoder->AllowHelperThread(false);
            workers.emplace_back(
                [this, e = std::move(encoder)]() mutable { WorkerLoop(std::move(e)); });
        }
    } catch (const std::system_error&) {
        StopWorkers();
    }
}

void ParallelMp2Encoder::StopWorkers() {
    {
        const std::lock_guard guard(lock);
        stopping = true;
    }
    workAvailable.notify_all();
    workers.clear();  // joins
}

void ParallelMp2Encoder::WorkerLoop(std::unique_ptr<Mp2Encoder> encoder) {
    std::unique_lock guard(lock);
    for (;;) {
        workAvailable.wait(guard, [this] { return stopping || taken < dispatched; });
        if (stopping) return;
        Encoded& result = ResultOf(taken++);
        guard.unlock();
        EncodeSegment(*encoder, settings, *result.input, result);
        guard.lock();
        result.done = true;
        freeRooms.push_back(result.input);
        segmentEncoded.notify_all();
    }
}

void ParallelMp2Encoder::EncodeSegment(Mp2Encoder& encoder, const EncoderSettings& settings,
                                       const Segment& segment, Encoded& result) {
    result.output.Clear();
    bool ok = encoder.Configure(settings, result.output);
    encoder.StartSegment(segment.place, segment.hasPrevious ? &segment.previous : nullptr);
    for (int f = 0; ok && f < segment.count; ++f) {
        ok = encoder.EncodeSegmentFrame(segment.blocks[f], segment.lfe[f]);
    }
    ok = ok && encoder.FinishSegment();
    result.messages = encoder.Log().Take();
    result.count = segment.count;
    result.ok = ok;
}

bool ParallelMp2Encoder::EncodeUntakenHere(std::unique_lock<std::mutex>& guard) {
    if (taken == dispatched) return false;
    Encoded& result = ResultOf(taken++);
    guard.unlock();
    EncodeSegment(plain, settings, *result.input, result);
    guard.lock();
    result.done = true;
    freeRooms.push_back(result.input);
    return true;
}

ParallelMp2Encoder::Segment& ParallelMp2Encoder::TakeRoom() {
    std::unique_lock guard(lock);
    while (freeRooms.empty()) {
        // A busy machine never makes the stream wait for a worker to be scheduled.
        if (!EncodeUntakenHere(guard)) segmentEncoded.wait(guard);
    }
    Segment* room = freeRooms.back();
    freeRooms.pop_back();
    return *room;
}

bool ParallelMp2Encoder::EncodeFrame(const SampleBlock& block) {
    if (serial) return plain.EncodeFrame(block);
    SampleBlock& room = NextBlock();
    if (&room != &block) room = block;
    return CommitBlock();
}

SampleBlock& ParallelMp2Encoder::NextBlock() {
    if (serial) return *serialBlock;
    if (!SegmentFull()) return current->blocks[current->count];
    if (!next) next = &TakeRoom();
    return next->blocks[0];
}

bool ParallelMp2Encoder::CommitBlock() {
    if (serial) return plain.EncodeFrame(*serialBlock);
    if (failed) return false;
    const bool startsSegment = SegmentFull();
    const SampleBlock& block = NextBlock();  // the room given before
    // The LFE of a frame is whole once the next block went through the low-pass.
    lfeFilter.FilterBlock(block.Row(SampleBlock::kRowLfe));
    if (framesTaken > 0) {
        Segment& before = *current;
        lfeFilter.TakeFrame(before.lfe[before.count - 1]);
        if (startsSegment) {
            Dispatch();
            OpenSegment();
            // Only this thread writes a room, and it did not take `before`'s again yet: a
            // worker may be reading it, no more.
            current->previous = before.blocks[segmentFrames - 1];
        }
    } else {
        OpenSegment();
    }
    if (current->count == 0) {
        current->place = schedule.Next();
        current->hasPrevious = framesTaken > 0;
    }
    ++current->count;
    schedule.Advance();
    ++framesTaken;
    return !failed;
}

void ParallelMp2Encoder::OpenSegment() {
    WriteEncoded();
    if (opened - written == static_cast<long>(results.size())) WriteOldest();
    current = next;
    next = nullptr;
    current->count = 0;
    Encoded& result = ResultOf(opened++);
    result.input = current;
    result.done = false;
    filling = true;
}

// The segment opened last: its frames and their LFE are all taken.
void ParallelMp2Encoder::Dispatch() {
    filling = false;
    {
        const std::lock_guard guard(lock);
        ++dispatched;
    }
    workAvailable.notify_one();
}

void ParallelMp2Encoder::WriteEncoded() {
    while (written < opened) {
        {
            const std::lock_guard guard(lock);
            if (!ResultOf(written).done) return;
        }
        WriteOldest();
    }
}

void ParallelMp2Encoder::WriteOldest() {
    const long sequence = written++;
    Encoded& segment = ResultOf(sequence);
    {
        std::unique_lock guard(lock);
        // A segment no worker has taken up yet is encoded on this thread.
        while (!segment.done) {
            if (taken != sequence || !EncodeUntakenHere(guard)) segmentEncoded.wait(guard);
        }
    }
    Append(std::move(segment.messages));
    if (failed) return;
    const HeldFrames& frames = segment.output;
    for (std::size_t f = 0; f < frames.Count(); ++f) {
        if (!sink->Write(frames.Frame(f))) {
            failed = true;
            return;
        }
    }
    // A segment whose encoder failed wrote fewer frames than it took.
    if (!segment.ok || static_cast<int>(frames.Count()) != segment.count) failed = true;
}

bool ParallelMp2Encoder::Push(std::span<const double* const> planes, std::size_t count) {
    return gatherer.Push(planes, count, [this](const SampleBlock& b) { return EncodeFrame(b); });
}

bool ParallelMp2Encoder::Finish() {
    if (const SampleBlock* rest = gatherer.PaddedRest()) EncodeFrame(*rest);
    if (serial) return plain.Finish();
    if (filling) {
        // The last frame's LFE reads past the input's end, into silence.
        lfeFilter.FilterSilence();
        lfeFilter.TakeFrame(current->lfe[current->count - 1]);
        Dispatch();
    }
    while (written < opened) WriteOldest();
    return !failed;
}

}  // namespace tavrisk::mp2
