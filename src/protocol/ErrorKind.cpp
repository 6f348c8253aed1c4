#include "protocol/ErrorKind.h"

const char* ErrorKindName(ErrorKind kind) {
    switch (kind) {
    case ErrorKind::None:
        return "none";
    case ErrorKind::NotConnected:
        return "not_connected";
    case ErrorKind::InvalidArgument:
        return "invalid_argument";
    case ErrorKind::NoProtocol:
        return "no_protocol";
    case ErrorKind::SendFailed:
        return "send_failed";
    case ErrorKind::ReceiveFailed:
        return "receive_failed";
    case ErrorKind::Timeout:
        return "timeout";
    case ErrorKind::ConnectionClosed:
        return "connection_closed";
    case ErrorKind::Checksum:
        return "checksum";
    case ErrorKind::Malformed:
        return "malformed";
    case ErrorKind::Mismatch:
        return "mismatch";
    case ErrorKind::Exception:
        return "exception";
    case ErrorKind::Cancelled:
        return "cancelled";
    }
    return "unknown";
}
