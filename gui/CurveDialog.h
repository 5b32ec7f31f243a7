#pragma once

#include <QDialog>

#include "dsp/DrpCurve.h"

class QSpinBox;

namespace tavrisk {

class CurveView;

// "Dynamic Range Processing": edits a copy of one channel's transfer curve and release time.
// The caller takes the edited curve when the dialog closes with OK.
class CurveDialog : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kCurveWidth = 330;
    static constexpr int kCurveHeight = 263;
    static constexpr int kMaxReleaseMs = 5000;
    static const char* const kChannelNames[6];

    CurveDialog(DrpCurve& channelCurve, int column, QWidget* parent = nullptr);

    DrpCurve& EditedCurve() { return curve; }
    CurveView* View() { return view; }

  private:
    DrpCurve curve;
    CurveView* view;
    QSpinBox* release;
};

}  // namespace tavrisk
