#include "comm/posix/SerialPortScanner.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <dirent.h>
#include <linux/serial.h>
#include <memory>
#include <mutex>
#include <pthread.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "comm/NaturalOrder.h"
#include "comm/posix/ExclusivePort.h"

namespace {

// Name families that are serial ports even when the kernel shows no parent device for
// them (Bluetooth links, for one), and that are looked for in /dev without sysfs.
constexpr const char* kPortFamilies[] = {
    "ttyUSB", "ttyACM", "ttyAMA", "rfcomm", "ttyXRUSB", "ttymxc", "ttySAC",
    "ttyO",   "ttyHS",  "ttyTHS", "ttyMSM", "ttyGS",    "ttySC",  "ttyLP",
};

// More probes than this would mean something odd; the list stays bounded either way.
constexpr size_t kMaxProbes = 256;

// PORT_UNKNOWN: the kernel keeps an entry for a UART that it did not find.
constexpr int kUnknownUartType = 0;

bool StartsWith(const std::string& s, const char* prefix) {
    return s.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

bool InPortFamily(const std::string& name) {
    for (const char* family : kPortFamilies) {
        if (StartsWith(name, family))
            return true;
    }
    return false;
}

std::vector<std::string> DirectoryNames(const std::string& dir, bool* readable) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    *readable = d != nullptr;
    if (d == nullptr)
        return names;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    closedir(d);
    return names;
}

// The UART type the kernel reports in sysfs: -1 when it reports none.
int SysfsUartType(const std::string& entry) {
    FILE* f = fopen((entry + "/type").c_str(), "re");
    if (f == nullptr)
        return -1;
    int type = -1;
    if (fscanf(f, "%d", &type) != 1)
        type = -1;
    fclose(f);
    return type;
}

bool IsCharacterDevice(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISCHR(st.st_mode);
}

bool Probe(const std::string& path, bool askType) {
    const int fd = OpenExclusivePort(path);
    if (fd < 0)
        return false;
    bool real = true;
    if (askType) {
        serial_struct info{};
        if (ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type == kUnknownUartType)
            real = false;
    }
    CloseExclusivePort(fd);
    return real;
}

// Shared between the scanner and its probe threads, which may outlive a scan whose
// budget ran out while an open() hung in a driver.
struct ProbeBoard {
    std::mutex mutex;
    std::condition_variable changed;
    std::vector<char> usable;
    size_t finished = 0;
};

struct ProbeJob {
    std::shared_ptr<ProbeBoard> board;
    size_t index;
    std::string path;
    bool askType;
};

void* RunProbe(void* arg) {
    std::unique_ptr<ProbeJob> job(static_cast<ProbeJob*>(arg));
    const bool usable = Probe(job->path, job->askType);
    std::lock_guard<std::mutex> guard(job->board->mutex);
    job->board->usable[job->index] = usable;
    ++job->board->finished;
    job->board->changed.notify_all();
    return nullptr;
}

} // namespace

SerialPortScanner::SerialPortScanner(std::string sysClassTty, std::string devDir, int32_t budgetMs)
    : sysClassTty(std::move(sysClassTty)), devDir(std::move(devDir)), budgetMs(budgetMs) {}

std::vector<SerialPortScanner::Candidate> SerialPortScanner::Candidates() const {
    std::vector<Candidate> out;
    bool sysfs = false;
    const std::vector<std::string> ttys = DirectoryNames(sysClassTty, &sysfs);
    if (!sysfs) {
        bool devReadable = false;
        for (const std::string& name : DirectoryNames(devDir, &devReadable)) {
            if (InPortFamily(name) || StartsWith(name, "ttyS")) {
                out.push_back({name, StartsWith(name, "ttyS")});
            }
        }
        return out;
    }
    for (const std::string& name : ttys) {
        const std::string entry = sysClassTty + "/" + name;
        // Virtual consoles and pseudo-terminals have no parent device; real ports do.
        struct stat st {};
        const bool hasDevice = stat((entry + "/device").c_str(), &st) == 0;
        if (!hasDevice && !InPortFamily(name))
            continue;
        const int type = SysfsUartType(entry);
        // Legacy ttyS entries exist whether or not a UART answers at their address.
        if (type == kUnknownUartType)
            continue;
        out.push_back({name, type < 0 && StartsWith(name, "ttyS")});
    }
    return out;
}

std::vector<std::string> SerialPortScanner::List() const {
    std::vector<Candidate> candidates = Candidates();
    candidates.erase(std::remove_if(candidates.begin(), candidates.end(),
                                    [this](const Candidate& c) {
                                        return !IsCharacterDevice(devDir + "/" + c.name);
                                    }),
                     candidates.end());
    if (candidates.size() > kMaxProbes)
        candidates.resize(kMaxProbes);

    auto board = std::make_shared<ProbeBoard>();
    board->usable.assign(candidates.size(), 0);
    for (size_t i = 0; i < candidates.size(); ++i) {
        auto* job =
            new ProbeJob{board, i, devDir + "/" + candidates[i].name, candidates[i].askType};
        pthread_attr_t attr;
        pthread_attr_init(&attr);
        pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
        pthread_t thread;
        const bool ok = pthread_create(&thread, &attr, RunProbe, job) == 0;
        pthread_attr_destroy(&attr);
        if (!ok) {
            // No thread for it: the port stays unlisted; count it as finished.
            delete job;
            std::lock_guard<std::mutex> guard(board->mutex);
            ++board->finished;
        }
    }

    std::vector<std::string> names;
    {
        std::unique_lock<std::mutex> guard(board->mutex);
        board->changed.wait_for(guard, std::chrono::milliseconds(std::max(budgetMs, 0)),
                                [&] { return board->finished == candidates.size(); });
        for (size_t i = 0; i < candidates.size(); ++i) {
            if (board->usable[i])
                names.push_back(candidates[i].name);
        }
    }
    std::sort(names.begin(), names.end(), NaturalLess);

    std::vector<std::string> paths;
    for (const std::string& name : names)
        paths.push_back(devDir + "/" + name);
    return paths;
}
