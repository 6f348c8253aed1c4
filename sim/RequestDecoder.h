#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "Request.h"

// Recognises one request at the start of a byte sequence, whatever its framing:
// a 0x55 header with a valid checksum is the relay protocol, an MBAP header with
// protocol identifier 0 and a length that fits the function is Modbus TCP, and
// 8 bytes with a valid CRC are Modbus RTU. Stateless.
class RequestDecoder {
public:
    enum class Status {
        Complete, // a whole request of `length` bytes starts at the first byte
        NeedMore, // the bytes so far could still become a request
        Invalid,  // no request can start at the first byte
    };
    struct Result {
        Status status = Status::Invalid;
        size_t length = 0;
        Request request;
    };

    // Longest request that can ever be complete: MBAP header and a 253-byte PDU.
    static constexpr size_t kMaxRequestLength = 260;

    // pinned restricts recognition to one framing (nothing: all three).
    explicit RequestDecoder(std::optional<WireProtocol> pinned = std::nullopt);

    // Looks at data[0..length). When more than one framing fits the same bytes,
    // `preferred` (the framing last seen on that channel) wins, then the stronger
    // check: RTU's CRC, the MBAP header, the 0x55 checksum. An MBAP frame of a function
    // the board does not know has nothing to check but its header, so it is taken
    // only `atBoundary`, where the bytes start right after a whole request (or at the
    // start of a stream): while resynchronising after garbage it would swallow good
    // requests.
    Result Decode(const uint8_t *data, size_t length,
                  std::optional<WireProtocol> preferred = std::nullopt,
                  bool atBoundary = true) const;

private:
    bool Allows(WireProtocol protocol) const;

    std::optional<WireProtocol> pinned;
};
