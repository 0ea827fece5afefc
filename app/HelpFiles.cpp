#include "app/HelpFiles.h"

#include "platform/Folders.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString kIndex = QStringLiteral("index.html");

bool holdsIndex(const QString& folder) {
    return !folder.isEmpty() && QFileInfo(QDir(folder).filePath(kIndex)).isFile();
}

} // namespace

QString findHelpFolder(const QString& executableFolder) {
    const QString beside = QDir(executableFolder).filePath(QStringLiteral("help"));
    if (holdsIndex(beside))
        return beside;
    const QString installed =
        QDir::cleanPath(executableFolder + QStringLiteral("/../share/doc/lumivex/html"));
    if (holdsIndex(installed))
        return installed;
    return {};
}

QString helpIndexFile() {
    const QString folder = findHelpFolder(QFileInfo(executablePath()).absolutePath());
    return folder.isEmpty() ? QString() : QDir(folder).filePath(kIndex);
}
