#pragma once

// The number of descriptors this process has open (entries of /proc/self/fd), or -1 when
// that cannot be read. Two counts taken the same way show a leak.
int CountOpenDescriptors();
