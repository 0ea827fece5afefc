#include "platform/WinsockErrors.h"

#include <cerrno>

QString winsockDescription(int number) {
    switch (number) {
    case WsaOutOfMemory:
        return QStringLiteral("Out of memory");
    case WsaTooManyFiles:
        return QStringLiteral("Too many files");
    case WsaNoSuchElement:
        return QStringLiteral("Socket array element does not exist");
    case WsaInvalidPropertyValue:
        return QStringLiteral("Invalid property value");
    case WsaAccess:
        return QStringLiteral("Permission denied");
    case WsaInvalidArgument:
        return QStringLiteral("Invalid argument");
    case WsaTooManyOpenFiles:
        return QStringLiteral("Too many open files");
    case WsaWouldBlock:
        return QStringLiteral("Operation would block");
    case WsaNotSocket:
        return QStringLiteral("No such pending connection");
    case WsaDestinationRequired:
        return QStringLiteral("Destination address required");
    case WsaMessageSize:
        return QStringLiteral("Datagram too large");
    case WsaNotSupported:
        return QStringLiteral("Operation not supported");
    case WsaAddressInUse:
        return QStringLiteral("Address in use");
    case WsaAddressNotAvailable:
        return QStringLiteral("Address not available from the local machine");
    case WsaNetworkDown:
        return QStringLiteral("Network subsystem failed");
    case WsaNetworkUnreachable:
        return QStringLiteral("Network is unreachable");
    case WsaConnectionAborted:
        return QStringLiteral("Connection aborted");
    case WsaConnectionReset:
        return QStringLiteral("Connection reset by the remote side");
    case WsaNoBufferSpace:
        return QStringLiteral("No buffer space available");
    case WsaNotConnected:
        return QStringLiteral("Socket is not connected");
    case WsaTimedOut:
        return QStringLiteral("Connection timed out");
    case WsaConnectionRefused:
        return QStringLiteral("Connection refused");
    case WsaHostUnreachable:
        return QStringLiteral("Host unreachable");
    case WsaHostNotFound:
        return QStringLiteral("Host not found");
    case WsaWrongState:
        return QStringLiteral("Wrong protocol or connection state for the requested operation");
    case WsaInvalidOperation:
        return QStringLiteral("Invalid operation at current state");
    default:
        return QStringLiteral("Socket error %1").arg(number);
    }
}

ComponentResult winsockFailure(int number) {
    return ComponentResult::failure(number, winsockDescription(number));
}

namespace {

int numberOf(QAbstractSocket::SocketError error) {
    using E = QAbstractSocket;
    switch (error) {
    case E::ConnectionRefusedError:
    case E::ProxyConnectionRefusedError:
        return WsaConnectionRefused;
    case E::RemoteHostClosedError:
    case E::ProxyConnectionClosedError:
        return WsaConnectionReset;
    case E::HostNotFoundError:
    case E::ProxyNotFoundError:
        return WsaHostNotFound;
    case E::SocketAccessError:
    case E::ProxyAuthenticationRequiredError:
        return WsaAccess;
    case E::SocketResourceError:
        return WsaNoBufferSpace;
    case E::SocketTimeoutError:
    case E::ProxyConnectionTimeoutError:
        return WsaTimedOut;
    case E::DatagramTooLargeError:
        return WsaMessageSize;
    case E::NetworkError:
        return WsaHostUnreachable;
    case E::AddressInUseError:
        return WsaAddressInUse;
    case E::SocketAddressNotAvailableError:
        return WsaAddressNotAvailable;
    case E::UnsupportedSocketOperationError:
        return WsaNotSupported;
    case E::UnfinishedSocketOperationError:
    case E::TemporaryError:
        return WsaWouldBlock;
    case E::OperationError:
        return WsaInvalidOperation;
    case E::ProxyProtocolError:
    case E::SslHandshakeFailedError:
    case E::SslInternalError:
    case E::SslInvalidUserDataError:
        return WsaConnectionAborted;
    case E::UnknownSocketError:
        break;
    }
    return WsaNetworkDown;
}

} // namespace

ComponentResult winsockFailure(QAbstractSocket::SocketError error) {
    return winsockFailure(numberOf(error));
}

ComponentResult winsockFailureFromErrno(int errnoValue) {
    switch (errnoValue) {
    case EADDRINUSE:
        return winsockFailure(WsaAddressInUse);
    case EADDRNOTAVAIL:
        return winsockFailure(WsaAddressNotAvailable);
    case EACCES:
    case EPERM:
        return winsockFailure(WsaAccess);
    case EINVAL:
        return winsockFailure(WsaInvalidArgument);
    case EMFILE:
    case ENFILE:
        return winsockFailure(WsaTooManyOpenFiles);
    case ENOBUFS:
    case ENOMEM:
        return winsockFailure(WsaNoBufferSpace);
    case EAFNOSUPPORT:
    case EOPNOTSUPP:
        return winsockFailure(WsaNotSupported);
    case EAGAIN:
        return winsockFailure(WsaWouldBlock);
    case EMSGSIZE:
        return winsockFailure(WsaMessageSize);
    case ENETUNREACH:
        return winsockFailure(WsaNetworkUnreachable);
    case EHOSTUNREACH:
        return winsockFailure(WsaHostUnreachable);
    case ECONNREFUSED:
        return winsockFailure(WsaConnectionRefused);
    default:
        return winsockFailure(WsaNetworkDown);
    }
}
