// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>

namespace tavrisk {

// The about box: the program's icon and its credits in a read-only text, with "OK".
class AboutBox : public QDialog {
    Q_OBJECT

  public:
    // The credits' first lines; the libraries and their versions follow (RunTimeCredits).
    static const char* const kText;

    explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace tavrisk
