#include "app/frmAbout.h"

#include "model/Designed.h"
#include "model/Host.h"
#include "text/LoadResource.h"
#include "text/StringTable.h"

#include <QProcess>
#include <QStandardPaths>

namespace {
constexpr int kTextVersion = 5059;
// Desktop tools that show the machine's hardware and system, in order of preference.
const char* const kSystemInfoTools[] = {"hardinfo2", "hardinfo", "kinfocenter"};
} // namespace

frmAbout::frmAbout(Host& host, QObject* parent)
    : Form(QStringLiteral("frmAbout"), parent)
    , host_(host) {
    setCaption(QStringLiteral("About Lumivex"));
    setTag(QStringLiteral("5057"));
    lblTitle = designed(add<Label>(QStringLiteral("lblTitle")), QStringLiteral("Lumivex"), 1102);
    lblDescription = designed(add<Label>(QStringLiteral("lblDescription")),
                              QStringLiteral("RS232 to TCP/IP Converter"), 5058);
    lblVersion = add<Label>(QStringLiteral("lblVersion"));
    lblDisclaimer = designed(add<Label>(QStringLiteral("lblDisclaimer")), QString(), 5060);
    lblLink = designed(add<Label>(QStringLiteral("lblLink")), webPage());
    cmdOK = designed(add<Button>(QStringLiteral("cmdOK")), QStringLiteral("OK"), 1207);
    cmdSysInfo =
        designed(add<Button>(QStringLiteral("cmdSysInfo")), QStringLiteral("&System Info..."));
    connect(lblLink, &Label::clicked, this, &frmAbout::lblLink_Click);
    connect(cmdOK, &Button::clicked, this, &frmAbout::cmdOK_Click);
    connect(cmdSysInfo, &Button::clicked, this, &frmAbout::cmdSysInfo_Click);
    Form_Load();
}

void frmAbout::Form_Load() {
    LoadResource(*this);
    lblVersion->setCaption(LoadResString(kTextVersion) + QLatin1Char(' ') +
                           QStringLiteral(LUMIVEX_VERSION));
    cmdSysInfo->setEnabled(!systemInfoTool().isEmpty());
}

QString frmAbout::webPage() {
    return QStringLiteral(LUMIVEX_WEB_PAGE);
}

QString frmAbout::systemInfoTool() {
    for (const char* name : kSystemInfoTools) {
        const QString path = QStandardPaths::findExecutable(QString::fromLatin1(name));
        if (!path.isEmpty())
            return path;
    }
    return {};
}

void frmAbout::lblLink_Click() {
    host_.openUrl(webPage());
}

void frmAbout::cmdOK_Click() {
    unload();
}

void frmAbout::cmdSysInfo_Click() {
    const QString tool = systemInfoTool();
    // The tool runs on its own; the about box stays.
    if (tool.isEmpty() || !QProcess::startDetached(tool, {}))
        host_.beep();
}
