#include "dialog/PaneTextExport.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "dialog/SessionLog.h"

std::string PaneTextExport::FailureReason(int errorNumber) {
    switch (errorNumber) {
    case EACCES:
    case EPERM:
        return "没有写入权限";
    case ENOENT:
    case ENOTDIR:
        return "文件夹不存在";
    case EISDIR:
        return "这是一个文件夹";
    case ENOSPC:
        return "磁盘空间不足";
    case EROFS:
        return "只读文件系统";
    case ENAMETOOLONG:
        return "文件名过长";
    default:
        return "系统错误 " + std::to_string(errorNumber);
    }
}

std::string PaneTextExport::Write(const std::string& path, const std::vector<PaneLine>& lines) {
    std::string content;
    for (const PaneLine& line : lines)
        content += SessionLog::FormatLineAt(line.time, line.text, line.isSend);

    const std::filesystem::path target = std::filesystem::u8path(path);
    std::error_code error;
    if (std::filesystem::is_directory(target, error))
        return FailureReason(EISDIR);
    // The stream's file is opened and written by the C library, which sets errno.
    errno = 0;
    std::ofstream file(target, std::ios::binary | std::ios::trunc);
    if (!file)
        return FailureReason(errno);
    file.write(content.data(), static_cast<std::streamsize>(content.size()));
    file.close();
    if (file)
        return {};
    const int failure = errno;
    std::filesystem::remove(target, error);
    return FailureReason(failure);
}
