#include "platform/mci/medium.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstring>

#include "platform/mci/errors.hpp"

namespace t2::mci {

namespace {

// How much of a file is read to tell a play list from a medium.
constexpr size_t kSniffBytes = 512;

bool starts_with_nocase(const char* bytes, size_t size, const char* word) {
    const size_t n = std::strlen(word);
    if (size < n) return false;
    for (size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(bytes[i])) != std::tolower(static_cast<unsigned char>(word[i])))
            return false;
    return true;
}

}  // namespace

bool looks_like_play_list(const char* bytes, size_t size) {
    size_t at = 0;
    if (size >= 3 && std::memcmp(bytes, "\xEF\xBB\xBF", 3) == 0) at = 3;  // a UTF-8 mark
    while (at < size && std::isspace(static_cast<unsigned char>(bytes[at]))) ++at;
    static const char* const kHeads[] = {"#EXTM3U", "[playlist]", "# mpv EDL"};
    for (const char* head : kHeads)
        if (starts_with_nocase(bytes + at, size - at, head)) return true;
    return false;
}

uint32_t check_medium(const std::string& path, int* opened) {
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) return kFileNotFound;
    if (!S_ISREG(st.st_mode)) return kInvalidFile;  // nothing but an ordinary file is ever opened
    // Not blocking, in case the name became a pipe since: then fstat says so and nothing waits.
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return kFileNotFound;
    uint32_t result = kOk;
    char head[kSniffBytes];
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        result = kInvalidFile;
    } else {
        const ssize_t n = read(fd, head, sizeof head);
        if (n < 0)
            result = kFileNotFound;
        else if (looks_like_play_list(head, static_cast<size_t>(n)))
            result = kInvalidFile;
    }
    if (result == kOk && opened && lseek(fd, 0, SEEK_SET) == 0) {
        *opened = fd;
        return kOk;
    }
    close(fd);
    return result;
}

}  // namespace t2::mci
