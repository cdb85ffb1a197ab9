// Files over POSIX descriptors; every failure sets the platform's last error.
#include "platform/files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/errtext.hpp"

namespace t2::platform {

int32_t CreateFileA(const std::string& name, uint32_t access, uint32_t, void*, uint32_t disposition, uint32_t,
                    int32_t) {
    int flags = O_CLOEXEC;
    if ((access & GENERIC_READ) && (access & GENERIC_WRITE)) flags |= O_RDWR;
    else if (access & GENERIC_WRITE) flags |= O_WRONLY;
    else flags |= O_RDONLY;
    switch (disposition) {
        case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
        case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
        case OPEN_EXISTING: break;
        case OPEN_ALWAYS: flags |= O_CREAT; break;
        case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
        default: SetLastError(87); return INVALID_HANDLE_VALUE;
    }
    if (name.empty()) {
        SetLastError(3);
        return INVALID_HANDLE_VALUE;
    }
    int fd = open(name.c_str(), flags, 0644);
    if (fd < 0) {
        SetLastError(error_from_errno(errno, name));
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(0);
    return fd;
}

int WriteFile(int32_t file, const void* data, uint32_t bytes, uint32_t* written, void*) {
    if (written) *written = 0;
    uint32_t done = 0;
    while (done < bytes) {
        ssize_t w = write(file, static_cast<const char*>(data) + done, bytes - done);
        if (w < 0) {
            if (errno == EINTR) continue;
            SetLastError(error_from_errno(errno));
            if (written) *written = done;
            return 0;
        }
        if (w == 0) break;
        done += static_cast<uint32_t>(w);
    }
    if (written) *written = done;
    return 1;
}

int ReadFile(int32_t file, void* data, uint32_t bytes, uint32_t* read_bytes, void*) {
    if (read_bytes) *read_bytes = 0;
    uint32_t done = 0;
    while (done < bytes) {
        ssize_t r = read(file, static_cast<char*>(data) + done, bytes - done);
        if (r < 0) {
            if (errno == EINTR) continue;
            SetLastError(error_from_errno(errno));
            if (read_bytes) *read_bytes = done;
            return 0;
        }
        if (r == 0) break;
        done += static_cast<uint32_t>(r);
    }
    if (read_bytes) *read_bytes = done;
    return 1;
}

int CloseHandle(int32_t file) {
    if (file < 0) {
        SetLastError(6);
        return 0;
    }
    // data that cannot reach the disk shows as a failed close
    if (close(file) != 0) {
        SetLastError(error_from_errno(errno));
        return 0;
    }
    return 1;
}

uint32_t SetFilePointer(int32_t file, int32_t distance, int32_t* high, uint32_t method) {
    int64_t offset = distance;
    if (high) offset = (static_cast<int64_t>(*high) << 32) | static_cast<uint32_t>(distance);
    int whence = method == 0 ? SEEK_SET : method == 1 ? SEEK_CUR : SEEK_END;
    off_t r = lseek(file, static_cast<off_t>(offset), whence);
    if (r < 0) {
        SetLastError(error_from_errno(errno));
        return 0xFFFFFFFFu;
    }
    if (high) *high = static_cast<int32_t>(r >> 32);
    return static_cast<uint32_t>(r);
}

uint32_t GetFileAttributesA(const std::string& name) {
    struct stat st{};
    if (name.empty() || stat(name.c_str(), &st) != 0) {
        SetLastError(error_from_errno(errno, name));
        return 0xFFFFFFFFu;
    }
    return S_ISDIR(st.st_mode) ? 0x10u : 0x80u;
}

bool is_regular_file(const std::string& name) {
    struct stat st{};
    return stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

int DeleteFileA(const std::string& name) {
    if (unlink(name.c_str()) != 0) {
        SetLastError(error_from_errno(errno, name));
        return 0;
    }
    return 1;
}

}  // namespace t2::platform
