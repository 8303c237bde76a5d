// How many descriptors this process holds: a test compares the count before
// and after a call to show that the call leaked none. POSIX only.
#ifndef QORVEL_TESTS_SUPPORT_DESCRIPTORS_H
#define QORVEL_TESTS_SUPPORT_DESCRIPTORS_H

#include <dirent.h>

namespace qtest {

inline int openDescriptorCount() {
    int count = 0;
    DIR* descriptors = opendir("/proc/self/fd");
    while (dirent* entry = readdir(descriptors)) {
        if (entry->d_name[0] != '.') ++count;
    }
    closedir(descriptors);
    return count - 1;  // the directory stream's own
}

}  // namespace qtest

#endif  // QORVEL_TESTS_SUPPORT_DESCRIPTORS_H
