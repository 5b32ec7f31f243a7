// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/HelpFile.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace tavrisk {

namespace {

constexpr const char* kInstalledHelp = "/../share/tavrisk/help/index.html";

}  // namespace

QString FindHelpIndex() {
    const QString candidates[] = {
        QCoreApplication::applicationDirPath() + QLatin1String(kInstalledHelp),
        QStringLiteral(TAVRISK_BUILD_HELP_DIR "/index.html")};
    for (const QString& path : candidates)
        if (QFileInfo::exists(path)) return QFileInfo(path).canonicalFilePath();
    return {};
}

std::string OpenHelp(const UrlOpener& open) {
    const QString index = FindHelpIndex();
    if (index.isEmpty()) return "The manual is not installed: help/index.html was not found.";
    if (open(QUrl::fromLocalFile(index))) return "";
    return "No web browser could be started to show the manual. It is at:\n" + index.toStdString();
}

}  // namespace tavrisk
