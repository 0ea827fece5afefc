// A client session whose network side follows the virtual port: connected while an
// application has the port open.
#include "platform/SocketArray.h"
#include "session/SessionTexts.h"
#include "session/frmDocument.h"
#include "text/StringTable.h"

using namespace SessionText;

namespace {
constexpr int kConnected = 7;
}

void frmDocument::VSPort1_OpenClose(bool opened) {
    // Bytes held for the application go to it at once.
    if (opened)
        moveNetworkToSerial();
    if (UseUDP || options.ConnectOnVirtualOpen == 0 || chkVPort->value() != 1 ||
        TCPOptionValue != 0)
        return;
    Socket& socket = Winsock1().at(0);
    if (opened) {
        setStatus(1, statusText(TcpIpStatus, Connecting));
        if (socket.State() != kConnected)
            socket.Connect();
    } else {
        setStatus(1, statusText(TcpIpStatus, Closed));
        if (socket.State() == kConnected)
            socket.Close();
    }
}
