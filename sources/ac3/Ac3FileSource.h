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
// by frame through the ac3_* library. Refuses anything but 3/2 + LFE at 48 or 44.1 kHz and
// applies the resync offset (a raw stream seeks over whole frames first); the last block
// is padded with silence. One AC-3 source exists at a time: the library's callbacks reach
// it as the current source.
class Ac3FileSource : public SampleSource {
  public:
    explicit Ac3FileSource(JobHost& host);
    ~Ac3FileSource() override;

    void Close() override;

    // The status text of a stream description (the 8-byte record of the library).
    static std::string DescribeStream(const uint8_t* record);

  protected:
    bool OpenInput() override;
    InputStatus ReadInput(InputRun& run) override;
    bool RewindInput() override;
    double InputPosition() const override { return static_cast<double>(Position()); }
    double InputSize() const override { return static_cast<double>(inputSize); }
    // A raw stream skips whole frames by seeking.
    bool SkipAhead(int32_t& resyncMs) override;

  private:
    enum class FrameRead { kOk, kEnd, kFailed };

    bool OpenFile();
    void CloseInput();
    int64_t Position() const;

    // Read callback of the library: exactly `length` raw bytes of the input.
    const char* ReadRaw(uint8_t* buffer, int length);
    // Stream-info callback: shows the description, accepts only 3/2 + LFE at 48 or 44.1 kHz.
    const char* CheckFormat(const uint8_t* record);

    // Reads a frame into the frame buffer (the one the format probe left, first), with the
    // messages of a read error. kEnd and a refused stream are silent.
    FrameRead ReadFrame();
    bool FindFirstFrame();

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
    bool pendingFrame = false;  // the format probe's frame, not yet consumed

    std::vector<uint8_t> frameBuffer;
    std::vector<float> decodeBuffer;
};

}  // namespace tavrisk
