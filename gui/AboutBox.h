#pragma once

#include <QDialog>

namespace tavrisk {

// The about box: the program's icon and its credits in a read-only text, with "OK".
class AboutBox : public QDialog {
    Q_OBJECT

  public:
    static const char* const kText;

    explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace tavrisk
