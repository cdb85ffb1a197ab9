// Fuzz targets that let members write files run inside a private temporary
// folder, emptied after every input, with a cap on file sizes: a member asked
// for an offset of 2 GB gets a failed write (error), not a sparse file.
#pragma once

#include <dirent.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace fuzz {

inline const std::string& private_dir() {
    static const std::string dir = [] {
        std::string d = std::string(std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp") + "/t2-fuzz-XXXXXX";
        if (!mkdtemp(d.data()) || chdir(d.c_str()) != 0) std::abort();
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{1 << 20, 1 << 20};  // 1 MB a file
        setrlimit(RLIMIT_FSIZE, &lim);
        setenv("XDG_DATA_HOME", d.c_str(), 1);
        // at exit the folder's name may already be destroyed: the command is kept in a plain buffer
        static char command[4200];
        std::snprintf(command, sizeof command, "rm -rf '%s'", d.c_str());
        std::atexit([] { std::system(command); });
        return d;
    }();
    return dir;
}

// Removes what the last input left in the folder (its top level: members write no folders).
inline void empty_private_dir() {
    DIR* d = opendir(private_dir().c_str());
    if (!d) return;
    while (dirent* e = readdir(d))
        if (std::string n = e->d_name; n != "." && n != "..") unlink((private_dir() + "/" + n).c_str());
    closedir(d);
}

}  // namespace fuzz
