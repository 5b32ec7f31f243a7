// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <string>

#include "app/model/IntegerField.h"
#include "app/model/PresetStore.h"
#include "app/model/UserInterface.h"
#include "dsp/DrpCurve.h"
#include "gui/CurvePlot.h"

class QLineEdit;
class QListWidget;

namespace tavrisk {

class CurveView;

// "Dynamic Range Processing": edits a copy of one channel's transfer curve and release time,
// and stores and loads presets of them. The caller takes the edited curve when the dialog
// closes with OK.
class CurveDialog : public QDialog {
    Q_OBJECT

  public:
    static constexpr int kCurveWidth = 330;
    static constexpr int kCurveHeight = 263;
    static constexpr CurvePlot kPlot = CurvePlot::OfView(kCurveWidth, kCurveHeight);
    static constexpr IntegerField kReleaseField{"Release Time", 0, 5000};
    static const char* const kChannelNames[6];

    static constexpr const char* kNameTitle = "Preset Name";
    static constexpr const char* kNameLabel = "Enter a preset name";

    // Presets live in the ini file `presetsPath`; an empty path shows none.
    CurveDialog(const DrpCurve& channelCurve, int column, UserInterface& ui,
                std::string presetsPath, QWidget* parent = nullptr);

    // "Add": asks a name, then stores the curve and release time under it.
    void SavePreset();
    // A double click on a name: its curve and release time replace the edited ones.
    void LoadPreset();
    // "Del": removes the selected preset.
    void DeletePreset();

    DrpCurve& EditedCurve() { return curve; }
    CurveView* View() { return view; }

    // OK: closes only with a valid release time.
    void accept() override;

  private:
    QWidget* BuildPresets();
    void ListPresets();
    // The release time typed, taken by the curve when valid; otherwise a message (none for a
    // field left empty while typing, unless `finished`) and the focus on the field.
    bool TakeReleaseTime(bool finished);
    void ShowReleaseTime();

    UserInterface& ui;
    PresetStore presets;
    DrpCurve curve;
    QListWidget* presetList = nullptr;
    CurveView* view;
    QLineEdit* release;
};

}  // namespace tavrisk
