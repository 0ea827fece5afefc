// A set file of any content loaded into the window models: nothing breaks, the number of
// session windows follows NumSessions within its bounds, and what is saved from the loaded
// windows restores the same windows and settings, and saves again as the same file.

#include "app/IniFile.h"
#include "app/frmMain.h"
#include "model/GlobalSettings.h"
#include "model/HeadlessHost.h"
#include "model/TrayIcon.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/OpenDescriptors.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <algorithm>

namespace {

constexpr int kMaxSessions = 1024;
constexpr int kMostSessionsTried = 8;
const QString kGlobal = QStringLiteral("Lumivex");

QString controlState(const Control& c) {
    QString state = QStringLiteral("%1(%2) tag=%3 enabled=%4 visible=%5")
                        .arg(c.name())
                        .arg(c.index())
                        .arg(c.tag())
                        .arg(c.enabled())
                        .arg(c.visible());
    if (const auto* captioned = dynamic_cast<const CaptionControl*>(&c))
        state += QStringLiteral(" caption=") + captioned->caption();
    if (const auto* check = dynamic_cast<const CheckBox*>(&c))
        state += QStringLiteral(" value=%1").arg(check->value());
    if (const auto* option = dynamic_cast<const OptionButton*>(&c))
        state += QStringLiteral(" value=%1").arg(option->value());
    if (const auto* text = dynamic_cast<const TextBox*>(&c))
        state += QStringLiteral(" text=") + text->text();
    if (const auto* list = dynamic_cast<const ComboBox*>(&c))
        state += QStringLiteral(" index=%1 text=%2").arg(list->listIndex()).arg(list->text());
    return state;
}

// Where the main window sits; a minimized window's place is not saved, so only its state.
QString geometry(const frmMain& main) {
    if (main.WindowState == 1)
        return QStringLiteral("minimized");
    return QStringLiteral("geometry %1 %2 %3 %4 state %5")
        .arg(main.Left)
        .arg(main.Top)
        .arg(main.Width)
        .arg(main.Height)
        .arg(main.WindowState);
}

// Everything a set file restores, one line a setting.
QStringList windowsState(const frmMain& main) {
    const GlobalSettings& g = globals();
    QStringList state{geometry(main), QStringLiteral("globals %1|%2|%3 %4 %5 %6 %7 %8")
                                          .arg(g.OnErrorRunApp, g.Password)
                                          .arg(g.LogErrors)
                                          .arg(g.PingEnabled)
                                          .arg(g.PingFrequency)
                                          .arg(g.PingTimeout)
                                          .arg(g.PacketSize)
                                          .arg(g.LoadWithWindows)};
    for (const frmDocument* doc : main.documents()) {
        const IoOptions& o = doc->ioOptions();
        state << QStringLiteral("session ") + doc->caption();
        state << QStringLiteral("options %1 %2 %3 %4 %5|%6|%7|%8|%9")
                     .arg(o.AllowMultiConnect)
                     .arg(o.ServerSerialOptions)
                     .arg(o.ServerTCPOptions)
                     .arg(o.ClientOptions)
                     .arg(o.ConnectOnVirtualOpen)
                     .arg(o.UserPrompt, o.UserPromptResponse, o.PasswordPrompt,
                          o.PasswordPromptResponse);
        for (const Control* c : doc->controls())
            state << controlState(*c);
    }
    return state;
}

// The first difference, for the report of a broken round trip.
void printDifference(const QStringList& a, const QStringList& b) {
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
        if (a.value(i) != b.value(i)) {
            std::fprintf(stderr, "read:    %s\nre-read: %s\n", qPrintable(a.value(i)),
                         qPrintable(b.value(i)));
            return;
        }
    }
}

QString freshFile(const QString& name) {
    const QString path = fuzzFolder() + QStringLiteral("/set/") + name;
    QFile::remove(path);
    return path;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    startFuzzApplication(argc, argv);
    QDir(fuzzFolder()).mkpath(QStringLiteral("set"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const OpenDescriptors descriptorsBefore = openDescriptors();
    const QString input = fuzzFolder() + QStringLiteral("/set/input.lvx");
    writeFileBytes(input, inputBytes(data, size));
    const IniFile file(input);
    // The program in OnErrorRunApp starts with the first status caption of every new session:
    // what the fuzzer makes up must not run. Such inputs are left out.
    if (!file.readString(kGlobal, QStringLiteral("OnErrorRunApp"), {}).isEmpty())
        return -1;
    const int stored = file.readInt(kGlobal, QStringLiteral("NumSessions"), 0);
    // Every session is a whole window (its connector list alone has 1025 entries): beyond a
    // few they add time, not paths. The bound of the count has its own unit test.
    if (stored > kMostSessionsTried)
        return -1;
    HeadlessHost host;
    NoTrayIcon tray;
    QStringList loaded;
    QByteArray saved;
    {
        frmMain main(MainServices{host, tray});
        main.getprofilesettings(input);
        FUZZ_CHECK(main.documents().size() ==
                   static_cast<size_t>(stored <= 0 ? 1 : std::min(stored, kMaxSessions)));
        loaded = windowsState(main);
        const QString first = freshFile(QStringLiteral("first.lvx"));
        FUZZ_CHECK(main.writeprofilesettings(first));
        saved = readFileBytes(first);
    }
    {
        frmMain main(MainServices{host, tray});
        main.getprofilesettings(fuzzFolder() + QStringLiteral("/set/first.lvx"));
        const QStringList restored = windowsState(main);
        if (restored != loaded)
            printDifference(loaded, restored);
        FUZZ_CHECK(restored == loaded);
        const QString second = freshFile(QStringLiteral("second.lvx"));
        FUZZ_CHECK(main.writeprofilesettings(second));
        FUZZ_CHECK(readFileBytes(second) == saved);
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    FUZZ_CHECK(openDescriptors() == descriptorsBefore);
    QFile::remove(fuzzFolder() + QStringLiteral("/home/errorlog.txt")); // LogErrors=1 fills it
    return 0;
}
