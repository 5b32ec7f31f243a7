#pragma once

#include <QString>

namespace tavrisk {

// The manual, help/index.html: installed beside the program's data, or in the checkout of a
// build that is not installed. Empty when neither exists.
QString FindHelpIndex();
// Opens the manual in the desktop's browser; nothing happens without a manual or a browser.
void OpenHelp();

}  // namespace tavrisk
