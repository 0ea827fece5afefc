// The session window's handlers of its components' events and of its reconnect timer, and
// what it reads of the running engine: thin entry points that forward to the Bridge.
#include "platform/SerialPort.h"
#include "platform/SocketArray.h"
#include "session/Bridge.h"
#include "session/frmDocument.h"

Bridge* frmDocument::running() const {
    return bridge_ && bridge_->isRunning() ? bridge_.get() : nullptr;
}

void frmDocument::MSComm1_OnComm() {
    if (Bridge* bridge = running()) {
        lightUp(0);
        bridge->serialPortEvent(MSComm1().commEvent());
    }
}

void frmDocument::VSPort1_DataReceived() {
    if (Bridge* bridge = running()) {
        lightUp(0);
        bridge->serialToNetwork().virtualPortData();
    }
}

void frmDocument::VSPort1_OpenClose(bool opened) {
    if (Bridge* bridge = running())
        bridge->virtualPortOpenClose(opened);
}

void frmDocument::Winsock1_Connect(int) {
    if (Bridge* bridge = running())
        bridge->network().client().made();
}

void frmDocument::Winsock1_ConnectionRequest(int, int requestId) {
    if (Bridge* bridge = running())
        bridge->network().connectionRequest(requestId);
}

void frmDocument::Winsock1_Close(int index) {
    if (Bridge* bridge = running())
        bridge->network().closeConnection(index);
}

void frmDocument::Winsock1_Error(int index, int number, const QString& description) {
    if (Bridge* bridge = running())
        bridge->network().error(index, number, description);
}

void frmDocument::Winsock1_DataArrival(int index) {
    if (Bridge* bridge = running()) {
        lightUp(1);
        bridge->dataArrival(index);
    }
}

void frmDocument::Timer1_Timer() {
    if (Bridge* bridge = running())
        bridge->network().client().reconnectTick();
}

long frmDocument::ConnectedClients() const {
    return bridge_ ? bridge_->network().connectedClients() : 0;
}

int frmDocument::PingTicks() const {
    return bridge_ ? bridge_->linkMonitor().PingTicks() : 0;
}

long frmDocument::MaxSocketIndex() const {
    return Winsock1().maxIndex();
}

TransferBuffer* frmDocument::myBuffer() const {
    return bridge_ ? &bridge_->serialToNetwork().buffer() : nullptr;
}

TransferBuffer* frmDocument::serialOutBuffer() const {
    return bridge_ ? &bridge_->networkToSerial().buffer() : nullptr;
}

namespace {

int appendTo(TransferBuffer* buffer, const QByteArray& bytes) {
    return buffer ? buffer->append(bytes) : 0;
}

QByteArray takeFrom(TransferBuffer* buffer, int& numBytes) {
    if (buffer)
        return buffer->take(numBytes);
    numBytes = 0;
    return {};
}

} // namespace

int frmDocument::Add2MyBuffer(const QByteArray& bytes) {
    return appendTo(myBuffer(), bytes);
}

QByteArray frmDocument::ReadFromMyBuffer(int& NumBytes) {
    return takeFrom(myBuffer(), NumBytes);
}

int frmDocument::Add2SerialOutBuffer(const QByteArray& bytes) {
    return appendTo(serialOutBuffer(), bytes);
}

QByteArray frmDocument::ReadFromSerialOutBuffer(int& NumBytes) {
    return takeFrom(serialOutBuffer(), NumBytes);
}

int frmDocument::MyBufferSize() const {
    return myBuffer() ? myBuffer()->capacity() : 0;
}

int frmDocument::MyBufferCount() const {
    return myBuffer() ? myBuffer()->count() : 0;
}

int frmDocument::SerialOutBufferSize() const {
    return serialOutBuffer() ? serialOutBuffer()->capacity() : 0;
}

int frmDocument::SerialOutBufferCount() const {
    return serialOutBuffer() ? serialOutBuffer()->count() : 0;
}
