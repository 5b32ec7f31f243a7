#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sources/SampleSource.h"

namespace tavrisk {

// The source of a graph job: the pipeline decodes the input and its sink element pushes the
// PCM in, buffer by buffer, on the streaming thread; this source turns that push stream into
// the engine's blocks. Values arrive as interleaved 16-bit samples, six per frame, in the
// order L, C, R, LS, RS, LFE. With normalisation the stream is pushed twice: first into the
// analysis (PushAnalysisSamples), then, after EndAnalysis, into the output.
class GraphPipeSource : public SampleSource {
  public:
    static constexpr const char* kFormatTitle = "Tavrisk Graph Error";

    explicit GraphPipeSource(JobHost& host);
    ~GraphPipeSource() override;

    // The format the stream was negotiated in. The first decides: false (after a message
    // naming the input and what is wrong) unless it is six-channel 16-bit PCM at the job's
    // input frequency. A later one (a mid-stream change) is taken when its channels are
    // `placed` into the six by the sink and its rate is the first's.
    bool AcceptFormat(int rate, int channels, bool s16, const std::string& layoutName, bool placed);

    // What progress is measured against, set from the pipeline's queries: the stream's
    // length in seconds (0 when unknown) and the share of the file read (negative when
    // unknown). Either may be updated from another thread than the streaming one.
    void SetProgressBasis(double durationSeconds, double byteFraction);

    // Analysis pass. A remainder of less than a frame waits for the next buffer.
    void PushAnalysisSamples(const int16_t* values, std::size_t count);
    // Between the passes: normalisation gains, the output pass from the start of the stream.
    bool EndAnalysis();
    // Output pass; false once the source has failed.
    bool PushSamples(const int16_t* values, std::size_t count);
    using SampleSource::BlockReady;
    using SampleSource::CurrentPercent;
    using SampleSource::EndOfInput;

    // Seconds of input consumed in the current pass.
    double Elapsed() const;

  protected:
    bool OpenInput() override;
    InputStatus ReadInput(InputRun& run) override;
    bool RewindInput() override;
    double InputPosition() const override;
    double InputSize() const override;

  private:
    // Converts whole frames to floats and hands them on in runs; keeps a partial frame.
    template <typename Consumer>
    void Convert(const int16_t* values, std::size_t count, Consumer consume);
    void StartPass();

    int inputRate = 0;
    int acceptedRate = 0;  // of the first format, once accepted
    std::atomic<double> duration{0.0};
    std::atomic<double> byteFraction{-1.0};
    std::atomic<uint64_t> framesThisPass{0};
    std::array<int16_t, kChannels> partial{};
    int partialCount = 0;
    std::vector<float> frames;
    bool failed = false;
};

}  // namespace tavrisk
