#pragma once

#include <array>

namespace tavrisk {

class DrpCurve;

// The settings the channel-processing chain reads from the main window, at the moment it
// needs them. Columns are in the window's order L, R, C, LFE, LS, RS.
class ChannelSettings {
  public:
    static constexpr int kColumns = 6;
    static constexpr int kNoSelection = -1;

    virtual ~ChannelSettings() = default;

    // For each output column, the input column (0..5) that feeds it.
    virtual const std::array<int, kColumns>& Routing() const = 0;
    virtual bool IsNormalizeOn() const = 0;
    virtual bool IsDrpOn() const = 0;
    // Selected items of the link combos, or kNoSelection.
    virtual int NormalizeLinkMode() const = 0;
    virtual int DrpLinkMode() const = 0;
    // Gain slider position of a column (0..100).
    virtual int SliderPosition(int column) const = 0;
    // 44100, 48000, or 0 when the output-rate combo has no selection.
    virtual int GetOutputRate() const = 0;
    virtual DrpCurve& Curve(int column) = 0;
    // Peak display: six levels in dB in column order.
    virtual void ShowPeakLevels(const std::array<float, kColumns>& levelsDb) = 0;
};

}  // namespace tavrisk
