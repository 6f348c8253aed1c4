#include "cli/SerialPortDiagnosis.h"

#include <cerrno>
#include <climits>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// "1234 (minicom)" for every process with a descriptor on the device; Linux tells through
// /proc, as far as this user may look.
std::string Holders(const struct stat& port) {
    std::string list;
    DIR* processes = ::opendir("/proc");
    if (processes == nullptr)
        return list;
    while (const dirent* process = ::readdir(processes)) {
        const std::string pid = process->d_name;
        if (pid.find_first_not_of("0123456789") != std::string::npos ||
            pid == std::to_string(::getpid()))
            continue;
        const std::string fdDir = "/proc/" + pid + "/fd";
        DIR* fds = ::opendir(fdDir.c_str());
        if (fds == nullptr)
            continue;
        bool holds = false;
        while (const dirent* fd = ::readdir(fds)) {
            struct stat target {};
            if (fd->d_name[0] != '.' && ::stat((fdDir + "/" + fd->d_name).c_str(), &target) == 0 &&
                S_ISCHR(target.st_mode) && target.st_rdev == port.st_rdev) {
                holds = true;
                break;
            }
        }
        ::closedir(fds);
        if (!holds)
            continue;
        std::string name;
        std::getline(std::ifstream("/proc/" + pid + "/comm"), name);
        list += (list.empty() ? "" : ", ") + pid + " (" + name + ")";
    }
    ::closedir(processes);
    return list;
}

} // namespace

std::string DiagnoseSerialPort(const std::string& path) {
    struct stat port {};
    if (::stat(path.c_str(), &port) != 0) {
        return "serial port " + path + " does not exist (" + std::strerror(errno) +
               "); check the path and that the adapter is plugged in";
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 && (errno == EACCES || errno == EPERM)) {
        return "permission denied on " + path +
               ": add yourself to the dialout group (sudo usermod -aG dialout $USER) and log in "
               "again";
    }
    if (fd < 0 && errno != EBUSY)
        return "cannot open serial port " + path + ": " + std::strerror(errno);
    if (fd >= 0)
        ::close(fd);
    const std::string holders = Holders(port);
    if (!holders.empty())
        return "serial port " + path + " is busy: held by " + holders;
    return "serial port " + path + " is busy or does not accept these line settings";
}
