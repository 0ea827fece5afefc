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

QString findHelpFolder(const QString& executableFolder, const QString& sourceHelpFolder) {
    // A build or a portable copy keeps its pages beside the program.
    const QString beside = QDir(executableFolder).filePath(QStringLiteral("help"));
    if (holdsIndex(beside))
        return beside;
    const QString installed =
        QDir::cleanPath(executableFolder + QStringLiteral("/../share/lumivex/help"));
    if (holdsIndex(installed))
        return installed;
    if (holdsIndex(sourceHelpFolder))
        return QDir::cleanPath(sourceHelpFolder);
    return {};
}

QString helpIndexFile() {
    const QString folder = findHelpFolder(QFileInfo(executablePath()).absolutePath(),
                                          QStringLiteral(LUMIVEX_SOURCE_HELP_FOLDER));
    return folder.isEmpty() ? QString() : QDir(folder).filePath(kIndex);
}
