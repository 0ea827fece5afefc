#pragma once
// What the fuzz targets share: the check that states a rule, a Qt application (made by the
// LLVMFuzzerInitialize defined here), and a private folder for the files they write.

#include "tests/support/OpenDescriptors.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// A broken rule prints what broke and aborts, so that libFuzzer keeps the input and its replay
// under the normal build fails on it, with or without NDEBUG.
#define FUZZ_CHECK(condition)                                                                      \
    ((condition) ? static_cast<void>(0) : fuzzCheckFailed(#condition, __FILE__, __LINE__))

[[noreturn]] void fuzzCheckFailed(const char* condition, const char* file, int line);

// The fuzz input as bytes (a deep copy: Qt may keep what it is given).
inline QByteArray inputBytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
}

// A temporary folder for the process's files (on tmpfs when the machine has one, so that the
// syncs of atomic saves cost nothing), with the program's data, ports, runtime and autostart
// folders pointed into it. Removed when the process ends.
const QString& fuzzFolder();
// A file in fuzzFolder() ("set/input.lvx"), its folder made.
QString fuzzPath(const QString& name);

QByteArray readFileBytes(const QString& path);
void writeFileBytes(const QString& path, const QByteArray& bytes);

// Deletes the objects left for the event loop; then no descriptor beyond `before` is open.
void checkNoDescriptorLeft(const OpenDescriptors& before);
