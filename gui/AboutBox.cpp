// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/AboutBox.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "ProjectVersion.h"
#include "gui/AppIcon.h"
#include "gui/ControlName.h"
#include "gui/Credits.h"

namespace tavrisk {

namespace {

constexpr int kIconSize = 32;
constexpr int kTextId = 1012;
constexpr int kTextWidth = 300;
constexpr int kTextHeight = 220;
constexpr const char* kLicenceLine = "\r\n" TAVRISK_LICENSE_TEXT " (" TAVRISK_LICENSE_SPDX ")\r\n";

}  // namespace

const char* const AboutBox::kText =
    "Tavrisk Transcoder\r\n"
    "v" TAVRISK_VERSION
    "\r\n"
    "2003\r\n"
    "\r\n"
    "Based on\r\n"
    "\r\n";

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString());
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    auto* icon = new QLabel;
    icon->setPixmap(AppIcon().pixmap(kIconSize, kIconSize));
    row->addWidget(icon, 0, Qt::AlignTop);
    auto* text = new QPlainTextEdit;
    text->setObjectName(ControlName(kTextId));
    text->setReadOnly(true);
    text->setPlainText(
        QString::fromStdString(kText + RunTimeCredits() + kLicenceLine).remove(QLatin1Char('\r')));
    text->setFixedSize(kTextWidth, kTextHeight);
    row->addWidget(text);
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

}  // namespace tavrisk
