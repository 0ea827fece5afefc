#pragma once
// The three service switches (-IH, -I, -U) with the messages a user sees afterwards.

#include "app/CommandLine.h"

class Host;
class ServiceControl;

// Carries out command's switch; returns whether it succeeded. Failure messages are always
// shown; success messages only when the switch was not silent (and never for -IH).
bool performServiceAction(const StartupCommand& command, Host& host, ServiceControl& service);
bool performServiceAction(const StartupCommand& command, Host& host);
