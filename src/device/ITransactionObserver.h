#pragma once

#include <cstdint>

#include "protocol/IProtocol.h"

// Watches a Device's transactions, e.g. for link statistics. Called on the thread that
// runs the transaction, without the device's lock; must not call back into the Device.
class ITransactionObserver {
public:
    virtual ~ITransactionObserver() = default;
    // After every successful Connect.
    virtual void OnConnected() = 0;
    // After every exchange; roundTripNs runs from the send to the complete answer, and is
    // -1 when no answer arrived.
    virtual void OnTransaction(const OperationResult& result, int64_t roundTripNs) = 0;
};
