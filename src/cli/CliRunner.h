#pragma once

#include <ostream>

#include "cli/CliSettings.h"
#include "device/Device.h"
#include "tools/LinkStatistics.h"

// Carries out one vornak-cli command on a Device and prints its results, as text or as
// one JSON object per result, to `out`; messages go to `err`.
class PollRecording;

class CliRunner : private IDeviceCallback {
public:
    CliRunner(const CliSettings& settings, std::ostream& out, std::ostream& err);
    ~CliRunner() override;

    // The exit status: 0 success, 1 the board failed, 2 the settings are wrong.
    int Run();

private:
    int Connect();
    int Read();
    int Write();
    int Poll();
    void Record(PollRecording& recording, bool coils, bool success);
    int RunSelfTest();
    int Scan();
    void PrintStatistics();
    int Fail(int status, const std::string& message);

    // --verbose: the lines of the window's two panes, on `err`.
    void OnStateChanged(DeviceState, DeviceState) override {}
    void OnCoilChanged(int32_t, uint8_t) override {}
    void OnInputChanged(int32_t, uint8_t) override {}
    void OnLog(const std::string& text, bool isSend) override;
    void OnOperationResult(const OperationResult& result, uint8_t functionCode) override;
    void OnHeartbeatTimeout() override {}

    const CliSettings& settings;
    std::ostream& out;
    std::ostream& err;
    LinkStatistics statistics;
    Device device;
};
