#include <gtest/gtest.h>

#include <cmath>

#include "app/TranscoderDialog.h"
#include "sources/SampleSource.h"
#include "tests/support/RecordingInterface.h"

namespace tavrisk {
namespace {

// Delivers input frame n with value (n + 1) * step (in 16-bit units) on every channel, or
// distinct per-channel values when `distinct` is set; counts the frames it handed out.
class CountingSource : public SampleSource {
  public:
    using SampleSource::SampleSource;

    bool Open(const std::string& name) override {
        SampleSource::Open(name);
        return true;
    }
    bool ReadBlock(SampleBlock& block) override {
        for (std::size_t i = 0; i < SampleBlock::kFrames; ++i) {
            if (!resamplingNeeded) {
                float frame[kChannels];
                Next(frame);
                std::array<int32_t, kChannels> rows{};
                ProcessToRows(frame, rows);
                StoreColumn(block, i, rows);
                continue;
            }
            if (!StepResampler([this](float* frame) { return Next(frame); })) return false;
            InterpolateColumn(block, i);
        }
        return true;
    }
    float Phase() const { return phase; }

    long framesRead = 0;
    bool distinct = false;

  private:
    bool Next(float* frame) {
        for (int c = 0; c < kChannels; ++c) {
            const float value16 = distinct ? 1000.0f * (c + 1) : 10.0f * (framesRead + 1);
            frame[c] = value16 / 32767.0f;
        }
        ++framesRead;
        return true;
    }
};

class SampleSourceTest : public ::testing::Test {
  protected:
    test::RecordingInterface ui;
    TranscoderDialog window{ui};
    SampleBlock block;
};

TEST_F(SampleSourceTest, InputOrderBecomesBlockRowOrder) {
    CountingSource source(window);
    source.distinct = true;  // L=1000, C=2000, R=3000, LS=4000, RS=5000, LFE=6000
    ASSERT_TRUE(source.Open("x"));
    ASSERT_TRUE(source.ReadBlock(block));
    const double expected[] = {1000, 3000, 2000, 6000, 4000, 5000};  // L, R, C, LFE, LS, RS
    for (std::size_t row = 0; row < 6; ++row)
        EXPECT_NEAR(block.Row(row)[SampleBlock::kFrames - 1], expected[row], 1.0) << row;
}

TEST_F(SampleSourceTest, ResamplerAdvancesByTheRatioAndCarriesPhase) {
    window.SelectOutputFrequency(TranscoderDialog::kFreq44100);
    CountingSource source(window);
    ASSERT_TRUE(source.Open("x"));
    ASSERT_TRUE(source.ResamplingNeeded());
    ASSERT_TRUE(source.ReadBlock(block));
    // 1152 x 1.0884354 = 1253.88 input frames per block.
    EXPECT_TRUE(source.framesRead == 1253 || source.framesRead == 1254) << source.framesRead;
    const float phaseAfterFirst = source.Phase();
    EXPECT_GT(phaseAfterFirst, 0.0f);
    EXPECT_LT(phaseAfterFirst, 1.0f);
    ASSERT_TRUE(source.ReadBlock(block));
    EXPECT_TRUE(source.framesRead == 2507 || source.framesRead == 2508) << source.framesRead;

    // The first output frame mixes input frames 0 and 1 (values 10 and 20, in 16-bit units).
    CountingSource fresh(window);
    ASSERT_TRUE(fresh.Open("x"));
    ASSERT_TRUE(fresh.ReadBlock(block));
    const double frame0 = std::trunc(10.0f / 32767.0f * 32767.0L);
    const double frame1 = std::trunc(20.0f / 32767.0f * 32767.0L);
    EXPECT_EQ(block.Row(0)[0], std::trunc(0.9115646 * frame0 + 0.0884354 * frame1));
    // Output frame j lies at input position (j + 1) x 1.0884354 - 1 of the ramp 10 (n + 1).
    EXPECT_NEAR(block.Row(0)[100], 10.0 * 101 * 1.0884354, 2.0);  // two truncations
}

}  // namespace
}  // namespace tavrisk
