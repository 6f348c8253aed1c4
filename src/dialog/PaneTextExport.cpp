#include "dialog/PaneTextExport.h"

#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

void AppendSection(std::string& out, const char* title, const std::string& text) {
    out += title;
    out += '\n';
    out += text;
    if (!text.empty() && text.back() != '\n')
        out += '\n';
}

} // namespace

bool PaneTextExport::Write(const std::string& path, const std::string& sendText,
                           const std::string& receiveText) {
    std::string content;
    AppendSection(content, "[发送]", sendText);
    content += '\n';
    AppendSection(content, "[接收]", receiveText);

    const std::filesystem::path target = std::filesystem::u8path(path);
    std::ofstream file(target, std::ios::binary | std::ios::trunc);
    if (!file)
        return false;
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    file.close();
    if (file)
        return true;
    std::error_code ignored;
    std::filesystem::remove(target, ignored);
    return false;
}
