#pragma once

#include <cstdint>

// What went wrong in an operation of a Device, decided by where it failed, never by the
// text shown. Tools, statistics and the command line sort failures by it.
enum class ErrorKind : int32_t {
    None = 0,         // success
    NotConnected,     // no open transport to ask
    InvalidArgument,  // refused before anything was sent (index, request that cannot be built)
    NoProtocol,       // no protocol object to build or parse with
    SendFailed,       // the transport did not take the whole request
    ReceiveFailed,    // the transport failed while waiting (not a time-out, not a close)
    Timeout,          // nothing, or no whole answer, arrived in time
    ConnectionClosed, // the peer closed the connection or the line hung up
    Checksum,         // an answer whose CRC or checksum is wrong
    Malformed,        // bytes that are no well-formed answer (header, length, byte count)
    Mismatch,         // a well-formed answer to another request (function, address, coil)
    Exception,        // the board refused the request with an exception code
    Cancelled,        // the wait was ended from outside (disconnect, closing the window)
};

// The kind's stable English name ("timeout", "connection_closed", ...), for scripts and
// JSON; "unknown" for a value outside the enumeration.
const char* ErrorKindName(ErrorKind kind);
