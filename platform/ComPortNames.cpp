#include "platform/ComPortNames.h"

#include "platform/Folders.h"

#include <QFile>
#include <QRegularExpression>

#include <sys/stat.h>

namespace {

int numberIn(const QString& text, const QRegularExpression& pattern) {
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch())
        return 0;
    bool ok = false;
    const int n = match.captured(1).toInt(&ok);
    return ok && n >= 1 && n <= maxComPortNumber ? n : 0;
}

bool somethingAt(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0;
}

} // namespace

int comPortNumber(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^COM([0-9]{1,5})$"),
                                            QRegularExpression::CaseInsensitiveOption);
    return numberIn(name, pattern);
}

QString comPortName(int n) {
    return QStringLiteral("COM%1").arg(n);
}

QString comLinkPath(int n) {
    return portsFolder() + QLatin1Char('/') + comPortName(n);
}

QString comMarkerPath(int n) {
    return portsFolder() + QStringLiteral("/.COM%1.lumivex").arg(n);
}

int comNumberOfMarker(const QString& fileName) {
    static const QRegularExpression pattern(QStringLiteral("^\\.COM([0-9]{1,5})\\.lumivex$"));
    return numberIn(fileName, pattern);
}

QString comDevicePath(int n) {
    const QString link = comLinkPath(n);
    if (somethingAt(link))
        return link;
    return QStringLiteral("/dev/ttyS%1").arg(n - 1);
}
