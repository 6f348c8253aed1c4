#pragma once

#include <poll.h>

// poll() on one descriptor and on the calling thread's cancel signal (when it has one).
// Returns what poll() returns, with entry.revents filled, or kWaitCancelled as soon as the
// signal is raised (also when it was raised before the call).
constexpr int kWaitCancelled = -2;
int PollOrCancel(pollfd& entry, int timeoutMs);
