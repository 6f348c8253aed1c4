#pragma once

#include <chrono>
#include <string>
#include <vector>

// One line a log pane shows, with the time it was added.
struct PaneLine {
    std::chrono::system_clock::time_point time;
    bool isSend = true; // the send pane; false: the receive pane
    std::string text;
};

// "保存日志...": the lines both log panes hold, in the order they were added, each with its
// time and pane as the session log writes them, in one file of the user's choice.
class PaneTextExport {
public:
    // Writes (replacing) the file at path (UTF-8). Returns "" when written in full,
    // otherwise why not, for the operator ("没有写入权限", ...); a partly written file is
    // removed.
    static std::string Write(const std::string& path, const std::vector<PaneLine>& lines);
    // The operator's words for a system error number of a failed file write.
    static std::string FailureReason(int errorNumber);
};
