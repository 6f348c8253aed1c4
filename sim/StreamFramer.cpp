#include "StreamFramer.h"

StreamFramer::StreamFramer(const RequestDecoder &decoder) : decoder(decoder) {}

void StreamFramer::Append(const uint8_t *data, size_t length, Clock::time_point now) {
    if (Pending() > 0 && now - lastAppend > kStaleAfter)
        DropPending();
    lastAppend = now;
    Compact();
    buffer.insert(buffer.end(), data, data + length);
}

bool StreamFramer::Next(Request &out) {
    while (start < buffer.size()) {
        const uint8_t *head = buffer.data() + start;
        const size_t available = buffer.size() - start;
        RequestDecoder::Result result = decoder.Decode(head, available, lastProtocol, atBoundary);
        if (result.status == RequestDecoder::Status::Complete) {
            start += result.length;
            lastProtocol = result.request.protocol;
            atBoundary = true;
            out = std::move(result.request);
            return true;
        }
        if (result.status == RequestDecoder::Status::Invalid) {
            ++start;
            ++discarded;
            atBoundary = false;
            continue;
        }
        // The head might still grow into a request, but if a whole request already
        // follows further on, the head was garbage: resynchronise on the later one.
        size_t skip = 0;
        for (size_t offset = 1; offset < available; ++offset) {
            if (decoder.Decode(head + offset, available - offset, lastProtocol, false).status ==
                RequestDecoder::Status::Complete) {
                skip = offset;
                break;
            }
        }
        if (skip == 0) {
            // Nothing complete anywhere: wait, but never hold more than one request's worth.
            if (available > RequestDecoder::kMaxRequestLength) {
                size_t excess = available - RequestDecoder::kMaxRequestLength;
                start += excess;
                discarded += excess;
                atBoundary = false;
                continue;
            }
            return false;
        }
        start += skip;
        discarded += skip;
        atBoundary = false;
    }
    return false;
}

void StreamFramer::DropPending() {
    discarded += Pending();
    buffer.clear();
    start = 0;
    atBoundary = true; // whatever comes next starts afresh
}

size_t StreamFramer::TakeDiscarded() {
    size_t count = discarded;
    discarded = 0;
    return count;
}

void StreamFramer::Compact() {
    if (start == 0)
        return;
    buffer.erase(buffer.begin(), buffer.begin() + static_cast<std::ptrdiff_t>(start));
    start = 0;
}
