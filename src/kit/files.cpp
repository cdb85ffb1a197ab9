// Whole-file writes: a temporary file beside the target, renamed over it once
// every byte is written, so a failure leaves the old file as it was.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "kit/picture.hpp"

namespace kit {

std::string extension(const std::string& path) {
    size_t slash = path.find_last_of('/');
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
    std::string e = path.substr(dot + 1);
    for (char& c : e) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    return e;
}

bool write_whole_file(const std::string& path, const void* data, size_t bytes, std::string& error) {
    auto fail = [&](int e) {
        error = "cannot write " + path + ": " + std::strerror(e) + " (error " + std::to_string(e) + ")";
        return false;
    };
    if (path.empty() || path.find('\0') != std::string::npos) return fail(ENOENT);
    // only an ordinary file is replaced; its mode stays
    mode_t mode = 0666 & ~[] {
        mode_t m = umask(0);
        umask(m);
        return m;
    }();
    struct stat st {};
    if (stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return fail(EISDIR);
        if (!S_ISREG(st.st_mode)) return fail(EINVAL);
        if (access(path.c_str(), W_OK) != 0) return fail(errno);
        mode = st.st_mode & 07777;
    }
    size_t slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    std::string temp = (slash == std::string::npos ? std::string() : folder) + ".tavolin2-XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) return fail(errno);
    const char* p = static_cast<const char*>(data);
    size_t done = 0;
    int e = 0;
    while (done < bytes) {
        ssize_t w = write(fd, p + done, bytes - done);
        if (w < 0 && errno == EINTR) continue;
        if (w < 0) {
            e = errno;
            break;
        }
        done += static_cast<size_t>(w);
    }
    if (!e && fchmod(fd, mode) != 0) e = errno;
    if (close(fd) != 0 && !e) e = errno;
    if (!e && rename(temp.c_str(), path.c_str()) != 0) e = errno;
    if (e) {
        unlink(temp.c_str());
        return fail(e);
    }
    return true;
}

}  // namespace kit
