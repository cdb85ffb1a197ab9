// Files over POSIX descriptors; every failure sets the platform's last error.
#include "platform/files.hpp"

#include <fcntl.h>
#include <limits.h>
#include <sys/mman.h>
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

namespace {

// The process's umask, read without setting it: umask() is one value for the
// whole process, so reading it by setting it would leave it changed for every
// other thread for a moment (and their new files with other modes).
mode_t process_umask() {
    mode_t mask = 022;  // what the system sets when /proc cannot tell
    int fd = ::open("/proc/self/status", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return mask;
    char text[4096];
    ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    if (n <= 0) return mask;
    text[n] = '\0';
    if (const char* at = std::strstr(text, "\nUmask:")) mask = static_cast<mode_t>(std::strtoul(at + 7, nullptr, 8));
    return mask & 0777;
}

// The kernel's rule for links in sticky world-writable folders (fs.protected_symlinks):
// such a link is followed only by its own owner, or when it belongs to the folder's owner.
bool may_follow(int folder, const struct stat& link) {
    struct stat dir {};
    if (fstat(folder, &dir) != 0) return false;
    const bool shared = (dir.st_mode & S_ISVTX) && (dir.st_mode & S_IWOTH);
    return !shared || link.st_uid == geteuid() || link.st_uid == dir.st_uid;
}

// Opens the folder part of `path` (relative to `at`) and leaves the last part in `base`.
int open_folder(int at, const std::string& path, std::string& base) {
    const auto slash = path.find_last_of('/');
    base = slash == std::string::npos ? path : path.substr(slash + 1);
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    return ::openat(at, folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

}  // namespace

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

// Finds the folder and name the bytes go to, following links at the target by the
// rule above, one step at a time relative to the folder that holds each link.
bool ReplacingFile::find_target() {
    folder_ = open_folder(AT_FDCWD, target_, base_);
    if (folder_ < 0) return fail(errno);
    for (int hops = 0;; ++hops) {
        if (base_.empty() || base_ == "." || base_ == "..") return fail(EISDIR);
        struct stat st {};
        if (fstatat(folder_, base_.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT) return true;  // a new file
            return fail(errno);
        }
        if (!S_ISLNK(st.st_mode)) {
            if (S_ISDIR(st.st_mode)) return fail(EISDIR);
            if (!S_ISREG(st.st_mode)) return fail(EACCES);  // a device or a pipe is never replaced
            exists_ = true;
            return true;
        }
        if (hops == 40) return fail(ELOOP);
        if (!may_follow(folder_, st)) return fail(EACCES);
        std::string to(static_cast<size_t>(st.st_size) + 1, '\0');
        const ssize_t n = readlinkat(folder_, base_.c_str(), to.data(), to.size());
        if (n < 0) return fail(errno);
        if (static_cast<size_t>(n) >= to.size()) return fail(EAGAIN);  // the link changed while it was read
        to.resize(static_cast<size_t>(n));
        struct stat again {};
        if (fstatat(folder_, base_.c_str(), &again, AT_SYMLINK_NOFOLLOW) != 0 || again.st_ino != st.st_ino ||
            again.st_dev != st.st_dev)
            return fail(EAGAIN);  // the text read is that of the link judged, or nothing is written
        std::string base;
        const int next = open_folder(folder_, to, base);
        if (next < 0) return fail(errno);
        ::close(folder_);
        folder_ = next;
        base_ = base;
    }
}

// The temporary file: mode 0600 and made by us alone (O_EXCL, no link followed).
// Renaming keeps the replaced file's identity only when the new file would have
// its owner and group and it has no other link; otherwise, or when the folder is
// not ours to write, the new bytes gather in an anonymous file and go in place.
bool ReplacingFile::make_temporary() {
    struct stat old {};
    if (exists_ && fstat(target_fd_, &old) != 0) return fail(errno);
    in_place_ = exists_ && old.st_nlink > 1;
    if (!in_place_) {
        const std::string stem = base_.substr(0, 200);  // within a name's limit however long the target's is
        std::random_device seed;
        std::minstd_rand rng(seed());
        for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
            char tag[16];
            std::snprintf(tag, sizeof tag, ".%08x", static_cast<unsigned>(rng()));
            std::string name = "." + stem + tag + ".tmp";
            int fd = ::openat(folder_, name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (fd >= 0) {
                fd_ = fd;
                temp_ = name;
            } else if (errno != EEXIST) {
                // a folder not ours to write can still hold a file we may write
                if (exists_ && (errno == EACCES || errno == EPERM)) break;
                return fail(errno);
            }
        }
        if (fd_ < 0 && !exists_) return fail(EEXIST);
        struct stat made {};
        if (fd_ >= 0 && exists_ && (fstat(fd_, &made) != 0 || made.st_uid != old.st_uid || made.st_gid != old.st_gid))
            drop_temporary();
        in_place_ = fd_ < 0;
    }
    if (in_place_) {
        fd_ = memfd_create("tavolin2-save", MFD_CLOEXEC);
        if (fd_ < 0) return fail(errno);
    }
    return true;
}

// The old bytes first (Start::Existing), read through the descriptor of the file judged.
bool ReplacingFile::copy_target() {
    char buffer[1 << 16];
    for (off_t at = 0;;) {
        ssize_t r = pread(target_fd_, buffer, sizeof buffer, at);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return fail(errno);
        if (r == 0) break;
        if (!write(buffer, static_cast<size_t>(r))) return false;
        at += r;
    }
    if (lseek(fd_, 0, SEEK_SET) < 0) return fail(errno);
    return true;
}

bool ReplacingFile::open(const std::string& target, Start start, uint32_t never) {
    discard();
    never_ = never;
    error_ = 0;
    errno_ = 0;
    exists_ = in_place_ = false;
    target_ = target;
    if (target.empty()) return fail(ENOENT);
    if (target.find('\0') != std::string::npos) {
        errno_ = EINVAL;
        error_ = 123;  // the name is not a valid file name
        SetLastError(error_);
        return false;
    }
    bool ok = find_target();
    if (ok && exists_) {
        // held from here on: the file judged is the file written, and opening it for
        // writing is the check that we may (a read-only file stays)
        const int access = start == Start::Existing ? O_RDWR : O_WRONLY;
        target_fd_ = ::openat(folder_, base_.c_str(), access | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat st {};
        if (target_fd_ < 0)
            ok = fail(errno);
        else if (fstat(target_fd_, &st) != 0 || !S_ISREG(st.st_mode))
            ok = fail(EACCES);
        else
            mode_ = st.st_mode & 07777;
    }
    ok = ok && make_temporary() && (!exists_ || start != Start::Existing || copy_target());
    if (!ok) {
        discard();
        return false;
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

// The temporary takes its final mode, reaches the disk, then the target's name.
bool ReplacingFile::commit_by_rename() {
    const mode_t mode = exists_ ? static_cast<mode_t>(mode_) : (0666 & ~process_umask() & ~never_);
    if (fchmod(fd_, mode) != 0) return fail(errno);
    if (fsync(fd_) != 0 && errno != EINVAL && errno != EROFS) return fail(errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return fail(errno);  // data that cannot reach the disk shows here
    if (renameat(folder_, temp_.c_str(), folder_, base_.c_str()) != 0) return fail(errno);
    temp_.clear();
    return true;
}

// The new bytes over the old ones in the file itself: its space is reserved first,
// so a full disk is found before the old bytes are touched.
bool ReplacingFile::commit_in_place() {
    const off_t size = lseek(fd_, 0, SEEK_END);
    if (size < 0) return fail(errno);
    if (size > 0 && fallocate(target_fd_, FALLOC_FL_KEEP_SIZE, 0, size) != 0 && errno != EOPNOTSUPP &&
        errno != ENOSYS && errno != EINVAL)
        return fail(errno);
    char buffer[1 << 16];
    for (off_t at = 0; at < size;) {
        ssize_t r = pread(fd_, buffer, sizeof buffer, at);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return fail(r < 0 ? errno : EIO);
        for (ssize_t done = 0; done < r;) {
            ssize_t w = pwrite(target_fd_, buffer + done, static_cast<size_t>(r - done), at + done);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return fail(w < 0 ? errno : ENOSPC);
            done += w;
        }
        at += r;
    }
    if (ftruncate(target_fd_, size) != 0) return fail(errno);
    if (fsync(target_fd_) != 0 && errno != EINVAL && errno != EROFS) return fail(errno);
    const int fd = target_fd_;
    target_fd_ = -1;
    if (::close(fd) != 0) return fail(errno);
    return true;
}

bool ReplacingFile::commit() {
    if (fd_ < 0) return fail(EBADF);
    const bool ok = !failed() && (in_place_ ? commit_in_place() : commit_by_rename());
    discard();
    if (!ok) return false;
    SetLastError(0);
    return true;
}

void ReplacingFile::drop_temporary() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        unlinkat(folder_, temp_.c_str(), 0);  // ours: made with O_EXCL by open()
        temp_.clear();
    }
}

void ReplacingFile::discard() {
    drop_temporary();
    for (int* fd : {&target_fd_, &folder_})
        if (*fd >= 0) {
            ::close(*fd);
            *fd = -1;
        }
}

std::string ReplacingFile::message() const { return target_ + ": " + (errno_ ? std::strerror(errno_) : "no error"); }

int write_whole_file(const std::string& path, const void* data, size_t bytes) {
    ReplacingFile file;
    if (file.open(path) && file.write(data, bytes) && file.commit()) return 0;
    return file.os_error() ? file.os_error() : EIO;
}

int DeleteFileA(const std::string& name) {
    if (unlink(name.c_str()) != 0) {
        SetLastError(error_from_errno(errno, name));
        return 0;
    }
    return 1;
}

}  // namespace t2::platform
