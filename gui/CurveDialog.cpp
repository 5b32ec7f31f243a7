// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/CurveDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/ControlName.h"
#include "gui/CurveView.h"

namespace tavrisk {

namespace {

constexpr int kCurveId = 1054;
constexpr int kReadoutId = 1058;
constexpr int kReleaseId = 1012;
constexpr int kFlatId = 1004;
constexpr int kPresetListId = 1057;
constexpr int kAddPresetId = 1002;
constexpr int kDelId = 1003;
constexpr const char* kNewPresetTitle = "New Preset";
constexpr const char* kDialogTitle = "Dynamic Range Processing";
constexpr int kReleaseFieldWidth = 60;

}  // namespace

const char* const CurveDialog::kChannelNames[6] = {"Front Left Channel", "Front Right Channel",
                                                   "Center Channel",     "LFE Channel",
                                                   "Rear Left Channel",  "Rear Right Channel"};

CurveDialog::CurveDialog(const DrpCurve& channelCurve, int column, UserInterface& ui,
                         std::string presetsPath, QWidget* parent)
    : QDialog(parent), ui(ui), presets(presetsPath), curve(kPlot.width, kPlot.height) {
    const int count = channelCurve.GetPointCount();
    std::vector<float> in(count), out(count);
    channelCurve.GetPointsDb(in.data(), out.data());
    curve.SetPointsDb(in.data(), out.data(), count);
    curve.SetReleaseMs(channelCurve.GetReleaseMs());
    const bool known = column >= 0 && column < 6;
    setWindowTitle(QString::fromUtf8(kDialogTitle) + QStringLiteral(" on ") +
                   QString::fromUtf8(known ? kChannelNames[column] : ""));

    view = new CurveView(curve, kCurveWidth, kCurveHeight);
    view->setObjectName(ControlName(kCurveId));
    auto* readout = new QLabel;
    readout->setObjectName(ControlName(kReadoutId));
    readout->setAlignment(Qt::AlignCenter);
    readout->setFrameShape(QFrame::Panel);
    readout->setFrameShadow(QFrame::Sunken);
    view->SetReadout(readout);

    auto* detector = new QGroupBox("Level Detector");
    auto* detectorLayout = new QHBoxLayout(detector);
    detectorLayout->addWidget(new QLabel("Release Time:"));
    release = new QLineEdit;
    release->setObjectName(ControlName(kReleaseId));
    release->setMaximumWidth(kReleaseFieldWidth);
    ShowReleaseTime();
    connect(release, &QLineEdit::textEdited, this, [this] { TakeReleaseTime(false); });
    detectorLayout->addWidget(release);
    detectorLayout->addWidget(new QLabel("ms"));

    auto* flat = new QPushButton("Flat");
    flat->setObjectName(ControlName(kFlatId));
    connect(flat, &QPushButton::clicked, this, [this] {
        curve.ClearPoints();
        view->update();
    });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* side = new QVBoxLayout;
    if (!presetsPath.empty()) side->addWidget(BuildPresets());
    side->addWidget(detector);
    side->addWidget(flat);
    side->addStretch();
    side->addWidget(buttons);
    auto* left = new QVBoxLayout;
    left->addWidget(view);
    left->addWidget(readout);
    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left);
    layout->addLayout(side);
}

QWidget* CurveDialog::BuildPresets() {
    auto* box = new QWidget;
    auto* layout = new QGridLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel("Presets"), 0, 0, 1, 2);
    presetList = new QListWidget;
    presetList->setObjectName(ControlName(kPresetListId));
    presetList->setSortingEnabled(true);
    connect(presetList, &QListWidget::itemDoubleClicked, this, &CurveDialog::LoadPreset);
    layout->addWidget(presetList, 1, 0, 1, 2);
    auto* add = new QPushButton("Add");
    add->setObjectName(ControlName(kAddPresetId));
    connect(add, &QPushButton::clicked, this, &CurveDialog::SavePreset);
    layout->addWidget(add, 2, 0);
    auto* del = new QPushButton("Del");
    del->setObjectName(ControlName(kDelId));
    connect(del, &QPushButton::clicked, this, &CurveDialog::DeletePreset);
    layout->addWidget(del, 2, 1);
    ListPresets();
    return box;
}

void CurveDialog::ShowReleaseTime() {
    release->setText(QString::number(curve.GetReleaseMs()));
}

bool CurveDialog::TakeReleaseTime(bool finished) {
    const std::string text = release->text().toStdString();
    if (const std::optional<int> ms = kReleaseField.Read(text)) {
        curve.SetReleaseMs(*ms);
        return true;
    }
    if (!finished && release->text().trimmed().isEmpty()) return false;
    ui.MessageBox(kReleaseField.Refusal(), kDialogTitle, MessageButtons::Ok,
                  MessageIcon::Exclamation);
    release->setFocus(Qt::OtherFocusReason);
    release->selectAll();
    return false;
}

void CurveDialog::accept() {
    if (TakeReleaseTime(true)) QDialog::accept();
}

void CurveDialog::ListPresets() {
    presetList->clear();
    for (const std::string& name : presets.List())
        presetList->addItem(QString::fromStdString(name));
}

void CurveDialog::SavePreset() {
    if (!presetList) return;
    QInputDialog prompt(this);
    prompt.setWindowTitle(kNameTitle);
    prompt.setLabelText(kNameLabel);
    if (prompt.exec() != QDialog::Accepted || prompt.textValue().isEmpty()) return;
    const std::string name = prompt.textValue().toStdString();
    if (const std::string problem = PresetStore::NameProblem(name); !problem.empty()) {
        ui.MessageBox(problem, kNewPresetTitle, MessageButtons::Ok, MessageIcon::Exclamation);
        return;
    }
    // The same name but for case is the same preset.
    if (presets.Find(name) &&
        ui.MessageBox("Replace Preset ?", kNewPresetTitle, MessageButtons::OkCancel,
                      MessageIcon::Exclamation) != MessageAnswer::Ok)
        return;
    const int count = curve.GetPointCount();
    std::vector<float> in(count), out(count);
    curve.GetPointsDb(in.data(), out.data());
    if (!presets.Save(name, curve.GetReleaseMs(), in, out))
        ui.MessageBox("Unable to write the presets file", kNewPresetTitle, MessageButtons::Ok,
                      MessageIcon::Stop);
    ListPresets();
}

void CurveDialog::LoadPreset() {
    QListWidgetItem* item = presetList ? presetList->currentItem() : nullptr;
    if (!item) return;
    const PresetStore::Preset preset = presets.Load(item->text().toStdString());
    // Without readable points the curve is emptied, and shows its default identity.
    curve.SetPointsDb(preset.inputDb.data(), preset.outputDb.data(),
                      static_cast<int>(preset.inputDb.size()));
    // A stored release time outside the field's range is damage: the curve keeps its own.
    if (preset.releaseMs && kReleaseField.Read(std::to_string(*preset.releaseMs)))
        curve.SetReleaseMs(*preset.releaseMs);
    ShowReleaseTime();
    view->update();
}

void CurveDialog::DeletePreset() {
    QListWidgetItem* item = presetList ? presetList->currentItem() : nullptr;
    if (!item) return;
    presets.Delete(item->text().toStdString());
    ListPresets();
}

}  // namespace tavrisk
