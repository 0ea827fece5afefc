#include "tests/fuzz/FuzzSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

void fuzzCheckFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: rule broken: %s\n", file, line, condition);
    std::abort();
}

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // QCoreApplication keeps a reference to argc: the caller's lives as long as the process.
    static const QCoreApplication* app = new QCoreApplication(*argc, *argv);
    (void)app;
    fuzzFolder();
    return 0;
}

const QString& fuzzFolder() {
    static QTemporaryDir* dir = nullptr;
    static const QString path = [] {
        const QString base = QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm")
                                 : QDir::tempPath();
        dir = new QTemporaryDir(base + QStringLiteral("/lumivex-fuzz-XXXXXX"));
        const QString root = dir->path();
        for (const char* sub : {"home", "ports", "config", "systemd", "runtime"})
            QDir(root).mkpath(QString::fromLatin1(sub));
        QFile::setPermissions(root + QStringLiteral("/runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray r = QFile::encodeName(root);
        qputenv("LUMIVEX_HOME", r + "/home");
        qputenv("LUMIVEX_PORTS", r + "/ports");
        qputenv("LUMIVEX_SYSTEMD_DIR", r + "/systemd");
        qputenv("XDG_CONFIG_HOME", r + "/config");
        qputenv("XDG_RUNTIME_DIR", r + "/runtime");
        qputenv("LUMIVEX_HEADLESS", "1");
        qputenv("LC_ALL", "C");
        // The folder goes when the process exits (a crash leaves it for a look).
        std::atexit([] { delete dir; });
        return root;
    }();
    return path;
}

QString fuzzPath(const QString& name) {
    const QString path = fuzzFolder() + u'/' + name;
    QDir().mkpath(QFileInfo(path).path());
    return path;
}

QByteArray readFileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFileBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(bytes) == bytes.size());
}

void checkNoDescriptorLeft(const OpenDescriptors& before) {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    FUZZ_CHECK(openDescriptors() == before);
}
