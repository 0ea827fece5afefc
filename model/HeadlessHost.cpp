#include "model/HeadlessHost.h"

#include "model/Form.h"

#include <cstdio>

void HeadlessHost::messageBox(const QString& text, const QString& title, MessageIcon) {
    const QByteArray line = (title.isEmpty() ? text : title + QStringLiteral(": ") + text).toUtf8();
    std::fprintf(stderr, "%s\n", line.constData());
    std::fflush(stderr);
}

std::optional<QString> HeadlessHost::inputBox(const QString&, const QString&, const QString&) {
    return std::nullopt;
}

bool HeadlessHost::showModal(Form& dialog) {
    dialog.unload();
    return false;
}

QString HeadlessHost::fileDialog(const FileDialogRequest&) {
    return {};
}

bool HeadlessHost::openUrl(const QString&) {
    return false;
}
