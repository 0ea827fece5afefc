#include "app/HeadlessStatusEcho.h"

#include "app/frmMain.h"

#include <cstdio>

HeadlessStatusEcho::HeadlessStatusEcho(frmMain& main)
    : QObject(&main) {
    connect(&main, &frmMain::documentAdded, this, &HeadlessStatusEcho::follow);
    for (frmDocument* document : main.documents())
        follow(document);
}

void HeadlessStatusEcho::follow(frmDocument* document) {
    connect(document, &frmDocument::statusChanged, this, [document](int, const QString& caption) {
        const QByteArray line = (document->caption() + QStringLiteral(": ") + caption).toUtf8();
        std::fprintf(stderr, "%s\n", line.constData());
        std::fflush(stderr);
    });
}
