// Input: one answer frame; this protocol keeps no memory of requests.
#include "ParseChecks.h"
#include "protocol/Protocol55.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Protocol55 protocol;
    ParseAndCheck(protocol, data, size, true);
    return 0;
}
