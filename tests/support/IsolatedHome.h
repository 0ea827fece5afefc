#pragma once
// Points every folder the program uses (data, ports, runtime, autostart, systemd units) into
// one temporary folder for the life of a test, and forces English texts.

#include "tests/support/TestSupport.h"

#include <QTemporaryDir>
#include <memory>

class IsolatedHome {
public:
    IsolatedHome();
    QString path(const QString& name = {}) const;

private:
    QTemporaryDir dir_;
    std::vector<std::unique_ptr<ScopedEnv>> env_;
};
