#pragma once
// A session's I/O options, and the application-wide exchange block through which a
// session, its option dialogs and the set-file code pass them to each other.

#include <QString>

struct IoOptions {
    int AllowMultiConnect = 0;
    int ServerSerialOptions = 0; // 0 all clients, 1 ignore, 2 first connected client only
    int ServerTCPOptions = 0;    // 0 all clients, 1 ignore, 2 first connected client only
    int ClientOptions = 0;       // 0 two-way, 1 no output to the serial port, 2 none to the net
    int ConnectOnVirtualOpen = 0;
    int ComPortControl = 0; // 1: clients may set the port's line through Telnet (RFC 2217)
    QString UserPrompt;
    QString UserPromptResponse;
    QString PasswordPrompt;
    QString PasswordPromptResponse;

    bool operator==(const IoOptions&) const = default;
};

struct OptionExchangeBlock : IoOptions {
    int LoginResult = 0; // 0 accepted, -1 cancelled
};

// The one block of the program. Only one dialog or file operation uses it at a time: all of
// them run on the one event-loop thread and the dialogs are modal.
OptionExchangeBlock& optionExchange();
