#pragma once

#include <dirent.h>

// The number of descriptors this process has open (entries of /proc/self/fd), or -1 when
// that cannot be read. Two counts taken the same way show a leak.
inline int CountOpenDescriptors() {
    DIR* dir = opendir("/proc/self/fd");
    if (dir == nullptr)
        return -1;
    int count = 0;
    while (const dirent* entry = readdir(dir))
        count += entry->d_name[0] != '.';
    closedir(dir);
    return count;
}
