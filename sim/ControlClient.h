#pragma once

#include <string>
#include <vector>

// `vornak-sim --send`: hands command lines to a running simulator through its control
// socket and prints its replies on standard output.
class ControlClient {
public:
    // Sends every command, then waits (at most timeoutMs in all) for the replies. 0 when
    // every command was carried out, 1 when one was refused (an ERR reply) or the
    // simulator could not be reached or did not answer in time (said on standard error).
    static int Send(const std::string &path, const std::vector<std::string> &commands,
                    int timeoutMs);
};
