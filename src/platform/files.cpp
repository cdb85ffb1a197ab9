// Files over POSIX descriptors; every failure sets the platform's last error.
#include "platform/files.hpp"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <random>

#include "platform/errtext.hpp"

namespace t2::platform {

int32_t CreateFileA(const std::string& name, uint32_t access, uint32_t, void*, uint32_t disposition, uint32_t,
                    int32_t) {
    int flags = O_CLOEXEC;
    if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
        flags |= O_RDWR;
    else if (access & GENERIC_WRITE)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
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
    if (name.find('\0') != std::string::npos) {  // the name would end early and open another file
        SetLastError(123);
        return INVALID_HANDLE_VALUE;
    }
    // Opened without waiting (a pipe with no writer would block for ever), then only an
    // ordinary file is kept: the library reads and writes files, not devices or pipes.
    int fd = open(name.c_str(), flags | O_NONBLOCK, 0644);
    if (fd < 0) {
        SetLastError(error_from_errno(errno, name));
        return INVALID_HANDLE_VALUE;
    }
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        close(fd);
        SetLastError(5);
        return INVALID_HANDLE_VALUE;
    }
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
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
    struct stat st {};
    if (name.empty() || stat(name.c_str(), &st) != 0) {
        SetLastError(error_from_errno(errno, name));
        return 0xFFFFFFFFu;
    }
    return S_ISDIR(st.st_mode) ? 0x10u : 0x80u;
}

bool is_regular_file(const std::string& name) {
    struct stat st {};
    return name.find('\0') == std::string::npos && stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// ---- ReplacingFile ----

ReplacingFile::~ReplacingFile() { discard(); }

bool ReplacingFile::fail(int e) {
    if (error_ == 0) {
        errno_ = e;
        error_ = error_from_errno(e, target_);
        if (error_ == 0) error_ = 31;
    }
    SetLastError(error_);
    return false;
}

bool ReplacingFile::open(const std::string& target, Start start) {
    discard();
    error_ = 0;
    errno_ = 0;
    target_ = target;
    if (target.empty()) return fail(ENOENT);
    if (target.find('\0') != std::string::npos) {
        errno_ = EINVAL;
        error_ = 123;  // the name is not a valid file name
        SetLastError(error_);
        return false;
    }
    // A link is followed: the file it leads to is the one replaced, and the link stays.
    struct stat st {};
    if (lstat(target.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        char resolved[PATH_MAX];
        if (!realpath(target.c_str(), resolved)) return fail(errno);
        target_ = resolved;
    }
    bool exists = false;
    if (stat(target_.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return fail(EISDIR);
        if (!S_ISREG(st.st_mode)) return fail(EACCES);               // a device or a pipe is never replaced
        if (access(target_.c_str(), W_OK) != 0) return fail(errno);  // a read-only file stays
        exists = true;
        mode_ = st.st_mode & 07777;
        keep_mode_ = true;
    } else if (errno != ENOENT) {
        return fail(errno);
    }
    const auto slash = target_.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    if (base.empty()) return fail(EISDIR);
    // the temporary name stays within a name's limit however long the target's is
    const std::string stem = base.substr(0, 200);
    std::random_device seed;
    std::minstd_rand rng(seed());
    for (int attempt = 0; attempt < 100; ++attempt) {
        char tag[16];
        std::snprintf(tag, sizeof tag, ".%08x", static_cast<unsigned>(rng()));
        std::string name = folder + "." + stem + tag + ".tmp";
        if (name.size() > PATH_MAX) return fail(ENAMETOOLONG);
        int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            fd_ = fd;
            temp_ = name;
            break;
        }
        if (errno != EEXIST) return fail(errno);  // the folder is missing, or not ours to write in
    }
    if (fd_ < 0) return fail(EEXIST);
    if (exists && start == Start::Existing) {
        int in = ::open(target_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (in < 0) {
            fail(errno);
            discard();
            return false;
        }
        char buffer[1 << 16];
        for (;;) {
            ssize_t r = read(in, buffer, sizeof buffer);
            if (r < 0 && errno == EINTR) continue;
            if (r < 0) {
                int e = errno;
                ::close(in);
                fail(e);
                discard();
                return false;
            }
            if (r == 0) break;
            if (!write(buffer, static_cast<size_t>(r))) {
                ::close(in);
                discard();
                return false;
            }
        }
        ::close(in);
        if (lseek(fd_, 0, SEEK_SET) < 0) {
            fail(errno);
            discard();
            return false;
        }
    }
    SetLastError(0);
    return true;
}

bool ReplacingFile::write(const void* data, size_t bytes) {
    if (fd_ < 0) return fail(EBADF);
    if (failed()) return false;
    const char* p = static_cast<const char*>(data);
    while (bytes > 0) {
        ssize_t w = ::write(fd_, p, bytes);
        if (w < 0) {
            if (errno == EINTR) continue;
            return fail(errno);
        }
        if (w == 0) return fail(ENOSPC);
        p += w;
        bytes -= static_cast<size_t>(w);
    }
    return true;
}

bool ReplacingFile::seek(uint64_t offset) {
    if (fd_ < 0) return fail(EBADF);
    if (failed()) return false;
    if (offset > static_cast<uint64_t>(INT64_MAX) || lseek(fd_, static_cast<off_t>(offset), SEEK_SET) < 0)
        return fail(offset > static_cast<uint64_t>(INT64_MAX) ? EINVAL : errno);
    return true;
}

bool ReplacingFile::commit() {
    if (fd_ < 0) return fail(EBADF);
    if (failed()) {
        discard();
        return false;
    }
    // the mode of the file replaced; a new file keeps what the process's umask gave it
    if (keep_mode_ && fchmod(fd_, static_cast<mode_t>(mode_)) != 0) fail(errno);
    if (!failed() && fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) fail(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && !failed()) fail(errno);  // data that cannot reach the disk shows here
    if (!failed() && rename(temp_.c_str(), target_.c_str()) != 0) fail(errno);
    if (failed()) {
        unlink(temp_.c_str());
        temp_.clear();
        return false;
    }
    temp_.clear();
    SetLastError(0);
    return true;
}

void ReplacingFile::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        unlink(temp_.c_str());  // ours: made with O_EXCL by open()
        temp_.clear();
    }
}

std::string ReplacingFile::message() const { return target_ + ": " + (errno_ ? std::strerror(errno_) : "no error"); }

int DeleteFileA(const std::string& name) {
    if (unlink(name.c_str()) != 0) {
        SetLastError(error_from_errno(errno, name));
        return 0;
    }
    return 1;
}

}  // namespace t2::platform
