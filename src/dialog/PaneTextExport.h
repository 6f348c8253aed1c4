#pragma once

#include <string>

// "保存日志...": the texts of both log panes, as they are now, in one file of the user's
// choice: a "[发送]" section with the send pane's text, then a "[接收]" section.
class PaneTextExport {
public:
    // Writes (replacing) the file at path (UTF-8). False when it cannot be created or
    // written in full; a partly written file is removed.
    static bool Write(const std::string& path, const std::string& sendText,
                      const std::string& receiveText);
};
