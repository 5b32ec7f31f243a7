// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/LoadingDialog.h"

#include <QLabel>
#include <QMetaObject>
#include <QProgressBar>
#include <QVBoxLayout>

#include "gui/ControlName.h"

namespace tavrisk {

namespace {

constexpr int kLoadingMinimumWidth = 280;

}  // namespace

LoadingDialog::LoadingDialog(const char* caption, Worker work, QWidget* parent)
    : QDialog(parent), progress(new QProgressBar), worker(std::move(work)) {
    setWindowTitle(caption ? QString::fromUtf8(caption) : QString(kTitle));
    setMinimumWidth(kLoadingMinimumWidth);
    progress->setObjectName(ControlName(kProgressId));
    progress->setRange(0, 100);
    progress->setValue(0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(progress);
    layout->addWidget(new QLabel(kPleaseWait), 0, Qt::AlignHCenter);
}

LoadingDialog::~LoadingDialog() {
    // Reports still queued when the dialog goes are dropped with it.
    if (thread.joinable()) thread.join();
}

void LoadingDialog::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (thread.joinable() || !worker) return;
    thread = std::thread([this] {
        worker([this](int percent) {
            QMetaObject::invokeMethod(
                this, [this, percent] { OnProgress(percent); }, Qt::QueuedConnection);
        });
    });
}

void LoadingDialog::OnProgress(int percent) {
    progress->setValue(percent);
    if (percent == 100) accept();
}

}  // namespace tavrisk
