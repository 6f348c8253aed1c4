#pragma once

#include <nlohmann/json.hpp>
#include <ostream>

#include "cli/CliSettings.h"
#include "device/Device.h"
#include "tools/LinkStatistics.h"

class PollRecording;

// Carries out one vornak-cli command on a Device and prints its results to `out`: as text,
// or as one JSON document (poll and wait: one JSON object per line); messages and progress
// go to `err`.
class CliRunner : private IDeviceCallback {
public:
    CliRunner(const CliSettings& settings, std::ostream& out, std::ostream& err);
    ~CliRunner() override;

    // The exit status: 0 success, 1 the board failed (or standard output could not be
    // written), 2 the settings are wrong. A reader that closed standard output ends poll
    // and wait with 0.
    int Run();

private:
    int Connect();
    int Read();
    int Write();
    int Poll();
    int Wait();
    void Record(PollRecording& recording, bool coils, bool success);
    int RunSelfTest();
    int Scan();
    // Prints one JSON document or line (the statistics added at the end when asked for);
    // false once standard output cannot take it.
    bool Emit(const std::string& text);
    bool EmitJson(nlohmann::json document, bool last = true);
    // The failure on `err` as "text (kind)", and in JSON as the document's error; returns
    // status.
    int Fail(int status, const std::string& text, const std::string& kind, int32_t code = 0);
    int Fail(int status, const std::string& what, const OperationResult& result);
    nlohmann::json Statistics() const;
    void PrintStatistics();

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
    nlohmann::json document;   // the command's JSON document, filled as it goes
    bool outputClosed = false; // the reader of standard output has gone
    bool outputFailed = false; // any other write error on standard output
    bool interrupted = false;
};
