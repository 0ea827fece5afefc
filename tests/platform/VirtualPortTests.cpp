// The virtual port component in a temporary ports folder; the test plays the application.

#include "platform/linux/PortMarker.h"
#include "platform/linux/PtyVirtualPort.h"
#include "tests/platform/PortTestSupport.h"
#include "tests/support/TestSupport.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <cerrno>
#include <grp.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

class VirtualPortTest : public ::testing::Test {
protected:
    QString link(int n) const { return dir.path() + QStringLiteral("/COM%1").arg(n); }
    QString marker(int n) const { return dir.path() + QStringLiteral("/.COM%1.lumivex").arg(n); }
    QString target(int n) const { return QFileInfo(link(n)).symLinkTarget(); }
    bool present(const QString& path) const {
        return QFileInfo(path).isSymLink() || QFileInfo::exists(path);
    }
    void create(VirtualPort& p, const char* name = "COM5") {
        ASSERT_TRUE(p.createPort(QString::fromLatin1(name))) << p.lastError().toStdString();
    }
    bool refused(const char* name, const char* why) {
        return !port.createPort(QString::fromLatin1(name)) &&
               port.lastError().contains(QString::fromLatin1(why));
    }
    UniqueFd openAsApplication(int n = 5) {
        UniqueFd app = openTerminal(link(n));
        EXPECT_TRUE(app.valid());
        EXPECT_TRUE(waitUntil([&] { return port.isOpenedByApp(); }));
        return app;
    }
    void closeAsApplication(UniqueFd& app) {
        app.reset();
        EXPECT_TRUE(waitUntil([&] { return !port.isOpenedByApp(); }));
    }
    // Writes as the application until the port holds all it reads ahead and the pty is full:
    // the application is held back. Returns how many bytes it wrote.
    qsizetype fillUntilHeldBack(int app, char byte) {
        const QByteArray chunk(4096, byte);
        qsizetype written = 0;
        waitUntil([&] {
            const ssize_t n = ::write(app, chunk.constData(), chunk.size());
            written += qMax<ssize_t>(n, 0);
            return n < 0 && errno == EAGAIN && port.bytesWaiting() >= PtyVirtualPort::receiveLimit;
        });
        return written;
    }
    QByteArray takeReceived(qsizetype count) {
        QByteArray got;
        waitUntil([&] {
            QByteArray chunk(port.bytesWaiting(), '\0');
            chunk.resize(port.read(chunk.data(), static_cast<int>(chunk.size())));
            got += chunk;
            return got.size() >= count;
        });
        return got;
    }

    QTemporaryDir dir;
    ScopedEnv portsFolder{"LUMIVEX_PORTS", QFile::encodeName(dir.path() + QStringLiteral("/"))};
    PtyVirtualPort port;
};

TEST_F(VirtualPortTest, CreateMakesALinkAndAMarkerThatDeleteRemoves) {
    EXPECT_TRUE(refused("/dev/x", "invalid port name"));
    // The pty is private unless the program shares its ports with the dialout group (as the
    // service does), where that group exists and may be given.
    const group* dialout = ::getgrnam("dialout");
    for (const bool shared : {true, false}) {
        shareVirtualPortsWithGroup(shared);
        create(port);
        shareVirtualPortsWithGroup(false);
        EXPECT_EQ(target(5), port.slavePath());
        const auto record = PortMarker::read(marker(5));
        EXPECT_TRUE(record && record->ownedByThisProcess() && record->names(port.slavePath()));
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(port.slavePath()).constData(), &st), 0);
        const bool grouped = shared && dialout && st.st_gid == dialout->gr_gid;
        EXPECT_EQ(st.st_mode & 0777, grouped ? 0660u : 0600u) << shared;
        EXPECT_TRUE(grouped || !shared || !dialout || ::geteuid() != 0) << "root may give it";
        ASSERT_TRUE(port.deletePort());
    }
    create(port);

    EXPECT_TRUE(port.createPort(QStringLiteral("COM5"))); // it exists: still true
    create(port, "COM6");                                 // another name replaces the port held
    EXPECT_FALSE(present(link(5)) || present(marker(5)));
    // A mapping that replaced our link is the user's: delete leaves it.
    ASSERT_TRUE(QFile::remove(link(6)) && QFile::link(QStringLiteral("/dev/null"), link(6)));
    EXPECT_TRUE(port.deletePort());
    EXPECT_EQ(target(6), QStringLiteral("/dev/null"));
    EXPECT_TRUE(port.deletePort()); // nothing left: still true

    ScopedEnv nested("LUMIVEX_PORTS", QFile::encodeName(dir.path() + QStringLiteral("/a/b")));
    create(port, "COM9");
    EXPECT_TRUE(QFileInfo(dir.path() + QStringLiteral("/a/b/COM9")).isSymLink());
}

// A link of ours (its marker names its target) is free once its owner is gone or its pid names
// a later process; a user's mapping, even to a pty with a stale marker beside it, is not, nor
// another session's port.
TEST_F(VirtualPortTest, TakesOverOnlyAStaleLinkOfOurs) {
    const TestPty userPty = TestPty::open();
    const QString oldPty = QStringLiteral("/dev/pts/12345");
    const qint64 self = ::getpid();
    const std::tuple<QString, PortMarker, bool> rows[] = {
        {userPty.slavePath, PortMarker{deadPid(), 0, QStringLiteral("/dev/pts/999")}, false},
        {oldPty, PortMarker{deadPid(), 0, oldPty}, true},
        {oldPty, PortMarker{self, processStartTime(self) + 1, oldPty}, true}};
    for (const auto& [linked, stale, free] : rows) {
        ASSERT_TRUE(QFile::link(linked, link(5)) && stale.write(marker(5)));
        EXPECT_EQ(port.createPort(QStringLiteral("COM5")), free);
        EXPECT_TRUE(free || port.lastError().contains(QStringLiteral("port mapping")));
        EXPECT_EQ(target(5), free ? port.slavePath() : linked);
        EXPECT_EQ(PortMarker::read(marker(5))->ownedByThisProcess(), free);
        ASSERT_TRUE(free ? port.deletePort() : QFile::remove(link(5)));
    }
    PtyVirtualPort other; // another session's port, in this very process
    create(other, "COM7");
    EXPECT_TRUE(refused("COM7", "in use"));
    EXPECT_EQ(target(7), other.slavePath());
    EXPECT_TRUE(port.portName().isEmpty());
}

// By events, or by the slow poll before the event loop runs; also when the open and the close
// both fall between two checks, the bytes written before the close are delivered. A delete
// while open hangs the application up.
TEST_F(VirtualPortTest, ReportsEveryOpenAndCloseByEventsOrTheSlowPollAndHangsUpOnDelete) {
    create(port);
    QSignalSpy events(&port, &VirtualPort::openClose);
    {
        UniqueFd app = openTerminal(link(5));
        ASSERT_TRUE(writeAll(app.get(), "quick"));
    } // closed before the event loop ran
    ASSERT_TRUE(waitUntil([&] { return events.count() == 2; }));
    EXPECT_TRUE(events.at(0).at(0).toBool());
    EXPECT_EQ(takeReceived(5), QByteArray("quick"));
    UniqueFd app = openAsApplication();
    closeAsApplication(app);
    app = openTerminal(link(5));
    port.pollOpenState();
    EXPECT_TRUE(port.isOpenedByApp());
    app.reset();
    port.pollOpenState();
    EXPECT_FALSE(port.isOpenedByApp());
    ASSERT_EQ(events.count(), 6);
    EXPECT_TRUE(events.at(4).at(0).toBool() && !events.at(5).at(0).toBool());
    // The inotify reports that arrive afterwards change nothing, and no hang-up loop follows.
    EXPECT_FALSE(waitUntil([&] { return events.count() > 6; }, 200ms));

    // Deleted while open, the port hangs the application up; its handlers may delete it.
    app = openAsApplication();
    EXPECT_TRUE(port.deletePort());
    EXPECT_FALSE(port.isOpenedByApp() || present(link(5)));
    pollfd p{app.get(), POLLIN, 0};
    EXPECT_TRUE(::poll(&p, 1, 0) == 1 && (p.revents & POLLHUP));
    create(port, "COM6");
    QObject::connect(&port, &VirtualPort::dataReceived, [&] { port.deletePort(); });
    app = openAsApplication(6);
    ASSERT_TRUE(writeAll(app.get(), "bye"));
    ASSERT_TRUE(waitUntil([&] { return port.portName().isEmpty(); }));
    EXPECT_FALSE(present(link(6)));
}

// As a serial port in use: a second open fails, root's too, and the application goes on
// undisturbed. What it leaves behind (bytes unread, cooked mode, exclusive mode) does not
// spoil the next application's turn.
TEST_F(VirtualPortTest, ApplicationsTakeTurnsAndEachFindsThePortAsNew) {
    create(port);
    EXPECT_EQ(port.write("x", 1), 0); // nobody has the port: nothing is queued
    UniqueFd app = openAsApplication();
    for (int attempt = 0; attempt < 2; ++attempt) {
        EXPECT_FALSE(openTerminal(link(5)).valid());
        EXPECT_EQ(errno, EIO);
    }
    ASSERT_TRUE(writeAll(app.get(), "still here"));
    EXPECT_EQ(takeReceived(10), QByteArray("still here"));
    const QByteArray unread(4096, 'u');
    while (port.write(unread.constData(), int(unread.size())) == unread.size()) {
    } // all left unread by the application
    termios tio{};
    ASSERT_EQ(::tcgetattr(app.get(), &tio), 0);
    tio.c_iflag |= ICRNL | IXON | ISTRIP;
    tio.c_oflag |= OPOST | ONLCR;
    tio.c_lflag |= ICANON | ECHO | ISIG;
    ASSERT_EQ(::tcsetattr(app.get(), TCSANOW, &tio), 0);
    ASSERT_EQ(::ioctl(app.get(), TIOCEXCL), 0);
    closeAsApplication(app);
    // The kernel hands bytes to the terminal's line discipline later than the write: those it
    // had not yet handed over when echo went on are echoed, as the application's own output.
    takeReceived(port.bytesWaiting());

    app = openAsApplication();
    char none[4];
    EXPECT_EQ(::read(app.get(), none, sizeof none), -1) << "the bytes left unread are gone";
    ASSERT_TRUE(writeAll(app.get(), allByteValues()));
    EXPECT_EQ(takeReceived(256), allByteValues());
    EXPECT_EQ(port.write(allByteValues().constData(), 256), 256);
    EXPECT_EQ(readExactly(app.get(), 256), allByteValues());
}

// More ports than a user may have inotify instances, as a program with many sessions holds.
// Each sees an application's open as it happens, and its close even while nobody reads the
// port and the application is held back (the port's buffer full, then the pty); nothing polls
// meanwhile, and an idle port wakes nothing. All the application wrote is read before its
// close is reported, and none of it is taken for what the next application writes.
TEST_F(VirtualPortTest, EveryPortSeesOpensAndClosesAtOnceAndAllAnApplicationWroteIsItsOwn) {
    QFile limit(QStringLiteral("/proc/sys/fs/inotify/max_user_instances"));
    ASSERT_TRUE(limit.open(QIODevice::ReadOnly));
    const int ports = limit.readAll().trimmed().toInt() + 2;
    std::vector<std::unique_ptr<PtyVirtualPort>> held; // too many to make where more are allowed
    for (int n = 1; n < ports && ports <= 600; ++n) {
        held.push_back(std::make_unique<PtyVirtualPort>());
        ASSERT_TRUE(held.back()->createPort(QStringLiteral("COM%1").arg(100 + n)));
    }
    create(port);
    EXPECT_EQ(wakeUps(port), QString());
    int waitingAtClose = -1;
    QObject::connect(&port, &VirtualPort::openClose, [&](bool opened) {
        if (!opened)
            waitingAtClose = port.bytesWaiting();
    });
    UniqueFd app = openTerminal(link(5));
    settle();
    ASSERT_TRUE(port.isOpenedByApp());
    const qsizetype written = fillUntilHeldBack(app.get(), 'w');
    ASSERT_GT(written, PtyVirtualPort::receiveLimit);
    EXPECT_EQ(std::pair(port.bytesWaiting(), wakeUps(port)),
              std::pair(int(PtyVirtualPort::receiveLimit), QString()));
    app.reset();
    settle();
    EXPECT_EQ(std::tuple(port.isOpenedByApp(), waitingAtClose, wakeUps(port)),
              std::tuple(false, int(written), QString()));

    app = openAsApplication();
    ASSERT_TRUE(writeAll(app.get(), "next"));
    EXPECT_EQ(takeReceived(written + 4), QByteArray(written, 'w') + "next");
    ASSERT_TRUE(writeAll(app.get(), "stale"));
    ASSERT_TRUE(waitUntil([&] { return port.bytesWaiting() == 5; }));
    EXPECT_TRUE(port.purge() && port.bytesWaiting() == 0);
}

TEST_F(VirtualPortTest, ResetBusRemovesOnlyLinksOfProgramsThatAreGone) {
    {
        ScopedEnv missing("LUMIVEX_PORTS", QFile::encodeName(dir.path() + QStringLiteral("/no")));
        EXPECT_TRUE(port.ResetBus());
    }
    const auto mapped = [&](int n, const char* target, qint64 pid, const char* pty) {
        return QFile::link(QString::fromLatin1(target), link(n)) &&
               (pid == 0 || PortMarker{pid, 0, QString::fromLatin1(pty)}.write(marker(n)));
    };
    // A program that died without deleting COM3; a user's mapping; a stale marker whose link a
    // user has since pointed elsewhere; a program that a user may not signal (pid 1).
    ASSERT_TRUE(mapped(3, "/dev/pts/4240", deadPid(), "/dev/pts/4240"));
    ASSERT_TRUE(mapped(4, "/dev/ttyUSB0", 0, nullptr));
    ASSERT_TRUE(mapped(8, "/dev/ttyACM0", deadPid(), "/dev/pts/4242"));
    ASSERT_TRUE(mapped(10, "/dev/pts/4243", 1, "/dev/pts/4243"));
    ASSERT_TRUE(writeWholeFile(marker(9), "garbage")); // unreadable: left alone
    PtyVirtualPort live;
    create(live, "COM6");

    EXPECT_TRUE(port.ResetBus());
    EXPECT_FALSE(present(link(3)) || present(marker(3)) || present(marker(8)));
    const QStringList targets{target(4), target(6), target(8), target(10)};
    EXPECT_EQ(targets,
              (QStringList{"/dev/ttyUSB0", live.slavePath(), "/dev/ttyACM0", "/dev/pts/4243"}));
    EXPECT_TRUE(present(marker(6)) && present(marker(9)) && present(marker(10)));
    create(port, "COM3"); // the name is free again

    // A ports folder others may write is refused.
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0777), 0);
    EXPECT_TRUE(refused("COM5", "open to other users"));
    EXPECT_FALSE(port.ResetBus());
    EXPECT_FALSE(present(link(5)));
}

// A FIFO at a marker's name must not block a reader, nor a link there be written through.
TEST_F(VirtualPortTest, SpecialFilesAtMarkerNamesNeitherHangNorAreWrittenThrough) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(marker(5)).constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/pts/4242"), link(5)));
    EXPECT_TRUE(port.ResetBus());
    EXPECT_TRUE(refused("COM5", "port mapping"));

    QTemporaryDir elsewhere;
    const QString victim = elsewhere.filePath(QStringLiteral("victim"));
    ASSERT_TRUE(writeWholeFile(victim, "keep"));
    ASSERT_TRUE(QFile::link(victim, marker(6)));
    EXPECT_FALSE(PortMarker::read(marker(6)).has_value());
    create(port, "COM6");
    EXPECT_EQ(readWholeFile(victim), "keep");
    EXPECT_TRUE(!QFileInfo(marker(6)).isSymLink() && PortMarker::read(marker(6)).has_value());
}

} // namespace
