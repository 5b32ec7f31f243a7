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

void OpenHelp() {
    const QString index = FindHelpIndex();
    if (!index.isEmpty()) QDesktopServices::openUrl(QUrl::fromLocalFile(index));
}

}  // namespace tavrisk
