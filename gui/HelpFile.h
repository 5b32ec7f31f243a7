// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QUrl>
#include <functional>
#include <string>

namespace tavrisk {

// The manual, help/index.html: installed beside the program's data, or in the checkout of a
// build that is not installed. Empty when neither exists.
QString FindHelpIndex();
// Shows a URL (the desktop's browser: QDesktopServices::openUrl); false when nothing could.
using UrlOpener = std::function<bool(const QUrl&)>;

// Opens the manual with `open`. "" when it is shown, else what the user is told: where the
// manual is when no browser could show it, or that it is not installed.
std::string OpenHelp(const UrlOpener& open);

}  // namespace tavrisk
