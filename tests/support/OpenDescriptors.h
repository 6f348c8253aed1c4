#pragma once

// The number of descriptors this process has open (entries of /proc/self/fd), or -1
// when that cannot be read. Compare two counts taken the same way to find leaks.
int CountOpenDescriptors();
