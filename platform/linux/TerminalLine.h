#pragma once
// Line settings in a terminal's attributes (termios): the rate, the stop bits, the parity bits
// and the flow control an application sets with tcsetattr.

#include "platform/VirtualPort.h"

#include <termios.h>

// What the attributes say. A rate that is not one of the standard ones reads as 0.
ApplicationLine lineOf(const termios& tio);
// Puts the rate, the stop bits, the parity bits and hardware flow control of line into tio.
// Xon/Xoff is never put: the pty's own line discipline would take those bytes from the data.
void putLine(termios& tio, const ApplicationLine& line);
