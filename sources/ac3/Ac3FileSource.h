#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "sources/SampleSource.h"
#include "sources/ac3/AviAudioTrack.h"

namespace tavrisk {

// The native source for AC-3: a raw stream or the AC-3 track of an AVI file, decoded frame
// by frame through the ac3_* library. Refuses anything but 3/2 + LFE at 48 or 44.1 kHz,
// runs the normalisation analysis pass, inserts silence or skips input at the start,
// resamples 48000 to 44100 Hz when asked, and delivers blocks of 1152 processed frames,
// the last one padded with silence. One AC-3 source exists at a time: the library's
// callbacks reach it as the current source.
class Ac3FileSource : public SampleSource {
  public:
    // Silence that can be inserted at the start, in output frames.
    static constexpr int32_t kMaxInsertFrames = 2646000;

    explicit Ac3FileSource(TranscoderDialog& window);
    ~Ac3FileSource() override;

    bool Open(const std::string& name) override;
    bool ReadBlock(SampleBlock& block) override;
    void Close() override;

    // The status text of a stream description (the 8-byte record of the library).
    static std::string DescribeStream(const uint8_t* record);

  private:
    enum class FrameRead { kOk, kEnd, kFailed };
    using Frame = std::array<int32_t, kChannels>;

    bool OpenInput(const std::string& name);
    bool RewindInput();
    void CloseInput();
    int64_t Position() const;
    float OutputPercent() const;

    // Read callback of the library: exactly `length` raw bytes of the input.
    const char* ReadRaw(uint8_t* buffer, int length);
    // Stream-info callback: shows the description, accepts only 3/2 + LFE at 48 or 44.1 kHz.
    const char* CheckFormat(const uint8_t* record);

    // Reads a frame into the frame buffer (the one the format probe left, first), with the
    // messages of a read error. kEnd and a refused stream are silent.
    FrameRead ReadFrame();
    bool FindFirstFrame();
    bool AnalysisPass();
    bool SkipWholeFrames();
    // Output pass: one frame read, decoded and processed into the sample buffer.
    bool DecodeFrame();
    void Resample();
    bool ApplyResync();
    void Trace() const;
    void Report(const std::string& text, const std::string& title);

    static const char* ReadCallback(uint8_t* buffer, int length);
    static const char* StreamInfoCallback(const uint8_t* record);
    static const char* OutputCallback(const void* data, int length);
    static void WarningCallback(int code, int value, const float* extra);

    struct FileClose {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };

    bool aviInput = false;
    AviAudioTrack avi;
    std::unique_ptr<std::FILE, FileClose> stream;
    bool libraryStarted = false;

    int64_t inputSize = 0;
    bool resyncPending = false;
    bool ended = false;
    bool pendingFrame = false;  // the format probe's frame, not yet consumed
    int32_t framesAvail = 0;
    std::size_t readCursor = 0;
    int64_t silenceLeft = 0;
    bool midStep = false;  // the resampler ran out of decoded frames inside a step

    std::vector<uint8_t> frameBuffer;
    std::vector<float> decodeBuffer;
    std::vector<Frame> sampleBuffer;
};

}  // namespace tavrisk
