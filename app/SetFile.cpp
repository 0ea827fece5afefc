// Reading and writing session set files: the [Lumivex] section with the main window and the
// global settings, and one [Session<n>] section per session window.

#include "app/AutoStart.h"
#include "app/IniFile.h"
#include "app/frmMain.h"
#include "model/GlobalSettings.h"
#include "model/Host.h"
#include "model/Val.h"
#include "platform/Folders.h"
#include "session/ErrorLog.h"
#include "text/StringTable.h"

#include <QDir>
#include <cstdio>

namespace {

const QString kGlobal = QStringLiteral("Lumivex");
// More sessions than this are not read: a corrupt count must not exhaust the machine.
constexpr int kMaxSessions = 1024;

QString sessionSection(int n) {
    return QStringLiteral("Session%1").arg(n);
}

int sessionCount(const IniFile& ini) {
    const int count = ini.readInt(kGlobal, QStringLiteral("NumSessions"), 0);
    if (count < 0)
        return 0;
    if (count > kMaxSessions) {
        std::fprintf(stderr, "lumivex: the set file names %d sessions; reading the first %d\n",
                     count, kMaxSessions);
        return kMaxSessions;
    }
    return count;
}

// The I/O options in the order they are written, with the values a missing key reads as.
struct NumberOption {
    const char* key;
    int IoOptions::*field;
    int missing;
};
struct TextOption {
    const char* key;
    QString IoOptions::*field;
    const char* missing;
};
constexpr NumberOption kNumberOptions[] = {
    {"AllowMultiConnect", &IoOptions::AllowMultiConnect, 1},
    {"ServerSerialOptions", &IoOptions::ServerSerialOptions, 0},
    {"ServerTCPOptions", &IoOptions::ServerTCPOptions, 0},
    {"ClientOptions", &IoOptions::ClientOptions, 0},
    {"ConnectOnVirtualOpen", &IoOptions::ConnectOnVirtualOpen, 1},
    {"ComPortControl", &IoOptions::ComPortControl, 0},
};
constexpr TextOption kTextOptions[] = {
    {"UserPrompt", &IoOptions::UserPrompt, "Username:"},
    {"UserPromptResponse", &IoOptions::UserPromptResponse, ""},
    {"PasswordPrompt", &IoOptions::PasswordPrompt, "Password:"},
    {"PasswordPromptResponse", &IoOptions::PasswordPromptResponse, ""},
};

void readOptions(const IniFile& ini, const QString& section, IoOptions& options) {
    for (const NumberOption& o : kNumberOptions)
        options.*o.field = ini.readInt(section, QLatin1String(o.key), o.missing);
    for (const TextOption& o : kTextOptions)
        options.*o.field =
            ini.readString(section, QLatin1String(o.key), QString::fromLatin1(o.missing));
}

void writeOptions(IniFile& ini, const QString& section, const IoOptions& options) {
    for (const NumberOption& o : kNumberOptions)
        ini.writeInt(section, QLatin1String(o.key), options.*o.field);
    for (const TextOption& o : kTextOptions)
        ini.writeString(section, QLatin1String(o.key), options.*o.field);
}

// A stored list index. A list whose entry a user must pick is never left without one: -1,
// which the list itself would take, is refused here like any other index outside it.
void selectStoredIndex(ComboBox* list, int index) {
    if (index >= 0)
        list->setListIndex(index);
}

} // namespace

QString frmMain::defaultSetFile() {
    return dataFolder() + QStringLiteral("/default.lvx");
}

QString frmMain::resolveSetFile(const QString& FileName) const {
    return FileName.isEmpty() ? defaultSetFile() : FileName;
}

// The set file to read: the default one only from a data folder that may be used (another
// user's folder could hold sessions that send a device's data anywhere).
QString frmMain::readableSetFile(const QString& FileName) const {
    return FileName.isEmpty() && !dataFolderProblem().isEmpty() ? QString()
                                                                : resolveSetFile(FileName);
}

// The command runs at every status change: it is taken only from a file that this user wrote
// and nobody else may change, and a different one from another file only once the user agreed.
// The default set at start-up is the program's own record and needs no question; without a
// screen there is nobody to ask, and an own file is trusted.
void frmMain::takeErrorCommand(const IniFile& ini, bool defaultSet) {
    const QString stored = ini.readString(kGlobal, QStringLiteral("OnErrorRunApp"), {});
    QString& current = globals().OnErrorRunApp;
    if (stored.isEmpty() || stored == current) {
        current = stored;
        return;
    }
    if (!ini.isOwnFile()) {
        tell(QStringLiteral("The command for errors in %1 was ignored: the file is not yours, or "
                            "other users may change it. The command: %2")
                 .arg(QDir::toNativeSeparators(ini.path()), stored));
        return;
    }
    if (defaultSet || !services_.host.interactive() ||
        services_.host.question(QStringLiteral("The set file %1 starts this command whenever a "
                                               "session reports an error or a change of state:"
                                               "\n\n%2\n\nAllow it?")
                                    .arg(QDir::toNativeSeparators(ini.path()), stored),
                                QString()))
        current = stored;
}

void frmMain::getprofilesettings(const QString& FileName) {
    const IniFile ini(readableSetFile(FileName));
    closeAllDocuments();
    const int count = sessionCount(ini);

    auto readInt = [&](const QString& section, const char* key, int def) {
        return ini.readInt(section, QString::fromLatin1(key), def);
    };
    auto readString = [&](const QString& section, const char* key, const QString& def = {}) {
        return ini.readString(section, QString::fromLatin1(key), def);
    };

    setGeometry(readInt(kGlobal, "MainLeft", 1000), readInt(kGlobal, "MainTop", 1000),
                readInt(kGlobal, "MainWidth", 7000), readInt(kGlobal, "MainHeight", 7000));
    setWindowState(readInt(kGlobal, "WindowState", 0));

    GlobalSettings& g = globals();
    takeErrorCommand(ini, FileName.isEmpty());
    g.Password = readString(kGlobal, "Password");
    g.LogErrors = readInt(kGlobal, "LogErrors", 0);
    g.PingEnabled = readInt(kGlobal, "PingEnabled", 0);
    g.PingFrequency = readInt(kGlobal, "PingFrequency", 3);
    g.PingTimeout = readInt(kGlobal, "PingTimeout", 9);
    g.PacketSize = readInt(kGlobal, "PacketSize", 2000);
    g.LoadWithWindows = readInt(kGlobal, "LoadWithWindows", 0);

    if (count == 0) {
        NewSession();
        return;
    }
    AutoActivateList.assign(count + 2, 0);
    for (int n = 1; n <= count; ++n) {
        frmDocument* doc = NewSession();
        const QString s = sessionSection(n);
        // A value that a control refuses is skipped: the control keeps its new-window value.
        selectStoredIndex(doc->Combo2, readInt(s, "Connector", 0));
        const char* lists[] = {"BaudRate", "Parity", "Databits", "Stopbits", "FlowControl"};
        for (int i = 0; i < 5; ++i)
            selectStoredIndex(doc->Combo1[i], readInt(s, lists[i], 0));
        selectStoredIndex(doc->Combo1[5], readInt(s, "BufferSize", 2));
        doc->BufferSerData->setValue(readInt(s, "BufferSerialData", 0));
        doc->chkVPort->setValue(readInt(s, "CreateVirtualPort", 0));
        doc->chkUDP->setValue(readInt(s, "UseUDP", 0));
        doc->LocalIP->setText(readString(s, "LocalIP"));
        doc->IPAddress->setText(readString(s, "IPAddress"));
        doc->PortNumber->setText(readString(s, "PortNumber"));
        doc->TCPOption[readInt(s, "TCPOption", 0) == 0 ? 0 : 1]->setValue(true);

        readOptions(ini, s, optionExchange());
        doc->UpdateStatus();

        if (readInt(s, "AutoActivate", 0) == 1)
            AutoActivateList[n] = 1;
        doc->WaitForCr->setValue(readInt(s, "WaitForCr", 0));
        doc->txtTimeoutValue->setText(QString::number(readInt(s, "TimeoutValue", 150)));
        const QString description = readString(s, "SessionDescription");
        if (!description.isEmpty()) {
            doc->setCaption(description);
            doc->Command3->setTag(description);
        }
    }
}

bool frmMain::writeprofilesettings(const QString& FileName) {
    if (const QString problem = dataFolderProblem(); FileName.isEmpty() && !problem.isEmpty()) {
        ErrorLog::reportProgramError(QStringLiteral("cannot write the set file: ") + problem);
        return false;
    }
    IniFile ini(resolveSetFile(FileName));
    auto writeInt = [&](const QString& section, const char* key, qint64 value) {
        ini.writeInt(section, QString::fromLatin1(key), value);
    };
    auto writeString = [&](const QString& section, const char* key, const QString& value) {
        ini.writeString(section, QString::fromLatin1(key), value);
    };

    // A minimized window's place says nothing about where it will come back.
    if (WindowState != 1) {
        writeString(kGlobal, "MainLeft", numberText(Left));
        writeString(kGlobal, "MainTop", numberText(Top));
        writeString(kGlobal, "MainWidth", numberText(Width));
        writeString(kGlobal, "MainHeight", numberText(Height));
    }
    const GlobalSettings& g = globals();
    writeInt(kGlobal, "NumSessions", static_cast<qint64>(documents_.size()));
    writeInt(kGlobal, "WindowState", WindowState);
    writeString(kGlobal, "OnErrorRunApp", g.OnErrorRunApp);
    writeInt(kGlobal, "LogErrors", g.LogErrors);
    writeInt(kGlobal, "LoadWithWindows", g.LoadWithWindows);
    writeInt(kGlobal, "PingEnabled", g.PingEnabled);
    writeInt(kGlobal, "PingFrequency", g.PingFrequency);
    writeInt(kGlobal, "PingTimeout", g.PingTimeout);
    writeInt(kGlobal, "PacketSize", g.PacketSize);
    writeString(kGlobal, "Password", g.Password);

    if (!SetAutoStart(g.LoadWithWindows == 1, QStringLiteral("Lumivex"), ExePath, true, false))
        ErrorLog::reportProgramError(
            userHomeFolder().isEmpty()
                ? QStringLiteral("no start-at-logon entry: the user has no home folder")
                : QStringLiteral("cannot write or remove the start-at-logon entry"));

    for (size_t i = 0; i < documents_.size(); ++i) {
        frmDocument* doc = documents_[i];
        const QString s = sessionSection(static_cast<int>(i) + 1);
        writeInt(s, "Connector", doc->Combo2->listIndex());
        const char* lists[] = {"BaudRate", "Parity",      "Databits",
                               "Stopbits", "FlowControl", "BufferSize"};
        for (int k = 0; k < 6; ++k)
            writeInt(s, lists[k], doc->Combo1[k]->listIndex());
        writeInt(s, "CreateVirtualPort", doc->chkVPort->value());
        writeInt(s, "UseUDP", doc->chkUDP->value());
        writeInt(s, "BufferSerialData", doc->BufferSerData->value());
        writeString(s, "LocalIP", doc->LocalIP->text());
        writeString(s, "IPAddress", doc->IPAddress->text());
        writeString(s, "PortNumber", doc->PortNumber->text());
        writeString(s, "TCPOption",
                    doc->TCPOption[1]->value() ? QStringLiteral("1") : QStringLiteral("0"));
        writeString(s, "AutoActivate", doc->isActive() ? QStringLiteral("1") : QStringLiteral("0"));
        writeInt(s, "WaitForCr", doc->WaitForCr->value());
        writeString(s, "TimeoutValue", numberText(Val(doc->txtTimeoutValue->text())));

        doc->Getstatus();
        writeOptions(ini, s, optionExchange());
        writeString(s, "SessionDescription", doc->Command3->tag());
    }
    // Nothing in the data folder is written through a link.
    if (ini.save(FileName.isEmpty() ? LinkHandling::Replace : LinkHandling::Follow))
        return true;
    const QString problem =
        QStringLiteral("cannot write the set file %1: %2; the file is as it was")
            .arg(ini.path(), qt_error_string(errno));
    // A save into a file the user named is answered in a message box; the default set's
    // (at exit) goes to the program's error log, with no one to answer.
    if (FileName.isEmpty())
        ErrorLog::reportProgramError(problem);
    else
        tell(problem);
    return false;
}
