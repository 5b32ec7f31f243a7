#include "gui/CurveDialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "gui/ControlName.h"
#include "gui/CurveView.h"

namespace tavrisk {

namespace {

constexpr int kCurveId = 1054;
constexpr int kReadoutId = 1058;
constexpr int kReleaseId = 1012;
constexpr int kFlatId = 1004;

}  // namespace

const char* const CurveDialog::kChannelNames[6] = {"Front Left Channel", "Front Right Channel",
                                                   "Center Channel",     "LFE Channel",
                                                   "Rear Left Channel",  "Rear Right Channel"};

CurveDialog::CurveDialog(DrpCurve& channelCurve, int column, QWidget* parent)
    : QDialog(parent), curve(kCurveWidth, kCurveHeight) {
    const int count = channelCurve.GetPointCount();
    std::vector<float> in(count), out(count);
    channelCurve.GetPointsDb(in.data(), out.data());
    curve.SetPointsDb(in.data(), out.data(), count);
    curve.SetReleaseMs(channelCurve.GetReleaseMs());
    const bool known = column >= 0 && column < 6;
    setWindowTitle(QStringLiteral("Dynamic Range Processing on ") +
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
    release = new QSpinBox;
    release->setObjectName(ControlName(kReleaseId));
    release->setRange(0, kMaxReleaseMs);
    release->setValue(curve.GetReleaseMs());
    connect(release, &QSpinBox::valueChanged, this, [this](int ms) { curve.SetReleaseMs(ms); });
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

}  // namespace tavrisk
