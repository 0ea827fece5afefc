#pragma once
// How a call on a port or socket component fails: a number and a readable description.
// Callers in a guarded stretch show the description in a status label; others ignore it.
// No exception ever leaves a component.

#include <QString>

struct ComponentResult {
    int number = 0;      // 0 = success; socket errors use the Winsock numbers (10048 ...)
    QString description; // empty on success

    bool ok() const { return number == 0; }
    explicit operator bool() const { return ok(); }

    static ComponentResult success() { return {}; }
    static ComponentResult failure(int number, QString description) {
        return {number, std::move(description)};
    }
};
