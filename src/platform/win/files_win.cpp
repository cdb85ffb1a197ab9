// Files through the platform's own file calls (wide names from UTF-8), and the
// replacing writer over a temporary file that MoveFileExW puts in place.
#include "platform/files.hpp"
#include "platform/errtext.hpp"
#include "platform/win/wide.hpp"

#include <cstdio>
#include <random>

// The platform's invalid handle is a pointer; the layer's is the 32-bit -1.
static const HANDLE INVALID_HANDLE_VALUE_WIN = INVALID_HANDLE_VALUE;
#undef INVALID_HANDLE_VALUE

namespace t2::platform {

using win::handle;
using win::value_of;
using win::wide;

int32_t CreateFileA(const std::string& name, uint32_t access, uint32_t share, void*, uint32_t disposition,
                    uint32_t flags, int32_t) {
    if (name.find('\0') != std::string::npos) {  // the name would end early and open another file
        ::SetLastError(ERROR_INVALID_NAME);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = ::CreateFileW(wide(name).c_str(), access, share, nullptr, disposition,
                             flags ? flags : FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE_WIN) return INVALID_HANDLE_VALUE;
    // only an ordinary file: the library reads and writes files, not devices or pipes
    if (::GetFileType(h) != FILE_TYPE_DISK) {
        ::CloseHandle(h);
        ::SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    return value_of(h);
}

int WriteFile(int32_t file, const void* data, uint32_t bytes, uint32_t* written, void*) {
    DWORD done = 0;
    BOOL ok = ::WriteFile(handle<HANDLE>(file), data, bytes, &done, nullptr);
    if (written) *written = done;
    return ok ? 1 : 0;
}

int ReadFile(int32_t file, void* data, uint32_t bytes, uint32_t* read, void*) {
    DWORD done = 0;
    BOOL ok = ::ReadFile(handle<HANDLE>(file), data, bytes, &done, nullptr);
    if (read) *read = done;
    return ok ? 1 : 0;
}

int CloseHandle(int32_t file) { return ::CloseHandle(handle<HANDLE>(file)) ? 1 : 0; }

uint32_t SetFilePointer(int32_t file, int32_t distance, int32_t* high, uint32_t method) {
    LONG h = high ? *high : 0;
    DWORD r = ::SetFilePointer(handle<HANDLE>(file), distance, high ? &h : nullptr, method);
    if (high) *high = h;
    return r;
}

uint32_t GetFileAttributesA(const std::string& name) { return ::GetFileAttributesW(wide(name).c_str()); }

int DeleteFileA(const std::string& name) { return ::DeleteFileW(wide(name).c_str()) ? 1 : 0; }

bool is_regular_file(const std::string& name) {
    DWORD a = ::GetFileAttributesW(wide(name).c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

// ---- ReplacingFile ----

ReplacingFile::~ReplacingFile() { discard(); }

bool ReplacingFile::fail(int e) {
    if (error_ == 0) {
        errno_ = e;
        error_ = e ? static_cast<uint32_t>(e) : ERROR_GEN_FAILURE;
    }
    ::SetLastError(error_);
    return false;
}

bool ReplacingFile::open(const std::string& target, Start start, uint32_t) {
    discard();
    error_ = 0;
    errno_ = 0;
    target_ = target;
    if (target.empty()) return fail(ERROR_FILE_NOT_FOUND);
    if (target.find('\0') != std::string::npos) return fail(ERROR_INVALID_NAME);
    const std::wstring wtarget = wide(target);
    bool exists = false;
    DWORD a = ::GetFileAttributesW(wtarget.c_str());
    if (a != INVALID_FILE_ATTRIBUTES) {
        if (a & FILE_ATTRIBUTE_DIRECTORY) return fail(ERROR_DIRECTORY);
        if (a & (FILE_ATTRIBUTE_DEVICE | FILE_ATTRIBUTE_READONLY)) return fail(ERROR_ACCESS_DENIED);
        exists = true;
    } else {
        DWORD e = ::GetLastError();
        if (e != ERROR_FILE_NOT_FOUND) return fail(static_cast<int>(e));  // a missing folder is error 3
    }
    const auto slash = target_.find_last_of("/\\");
    const std::string folder = slash == std::string::npos ? std::string() : target_.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
    if (base.empty()) return fail(ERROR_DIRECTORY);
    const std::string stem = base.substr(0, 200);
    std::random_device seed;
    std::minstd_rand rng(seed());
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
        char tag[16];
        std::snprintf(tag, sizeof tag, ".%08x", static_cast<unsigned>(rng()));
        std::string name = folder + "~" + stem + tag + ".tmp";
        HANDLE h = ::CreateFileW(wide(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_TEMPORARY, nullptr);
        if (h != INVALID_HANDLE_VALUE_WIN) {
            fd_ = value_of(h);
            temp_ = name;
            break;
        }
        DWORD e = ::GetLastError();
        if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) return fail(static_cast<int>(e));
    }
    if (fd_ < 0) return fail(ERROR_FILE_EXISTS);
    if (exists && start == Start::Existing) {
        HANDLE in = ::CreateFileW(wtarget.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        if (in == INVALID_HANDLE_VALUE_WIN) {
            fail(static_cast<int>(::GetLastError()));
            discard();
            return false;
        }
        char buffer[1 << 16];
        for (;;) {
            DWORD r = 0;
            if (!::ReadFile(in, buffer, sizeof buffer, &r, nullptr)) {
                DWORD e = ::GetLastError();
                ::CloseHandle(in);
                fail(static_cast<int>(e));
                discard();
                return false;
            }
            if (r == 0) break;
            if (!write(buffer, r)) {
                ::CloseHandle(in);
                discard();
                return false;
            }
        }
        ::CloseHandle(in);
        if (!seek(0)) {
            discard();
            return false;
        }
    }
    ::SetLastError(0);
    return true;
}

bool ReplacingFile::write(const void* data, size_t bytes) {
    if (fd_ < 0) return fail(ERROR_INVALID_HANDLE);
    if (failed()) return false;
    const char* p = static_cast<const char*>(data);
    while (bytes > 0) {
        DWORD chunk = bytes > (1u << 30) ? (1u << 30) : static_cast<DWORD>(bytes), w = 0;
        if (!::WriteFile(handle<HANDLE>(fd_), p, chunk, &w, nullptr)) return fail(static_cast<int>(::GetLastError()));
        if (w == 0) return fail(ERROR_DISK_FULL);
        p += w;
        bytes -= w;
    }
    return true;
}

bool ReplacingFile::seek(uint64_t offset) {
    if (fd_ < 0) return fail(ERROR_INVALID_HANDLE);
    if (failed()) return false;
    LARGE_INTEGER to;
    to.QuadPart = static_cast<LONGLONG>(offset);
    if (offset > static_cast<uint64_t>(INT64_MAX) || !::SetFilePointerEx(handle<HANDLE>(fd_), to, nullptr, FILE_BEGIN))
        return fail(offset > static_cast<uint64_t>(INT64_MAX) ? ERROR_INVALID_PARAMETER
                                                              : static_cast<int>(::GetLastError()));
    return true;
}

bool ReplacingFile::commit() {
    if (fd_ < 0) return fail(ERROR_INVALID_HANDLE);
    if (failed()) {
        discard();
        return false;
    }
    HANDLE h = handle<HANDLE>(fd_);
    fd_ = -1;
    if (!::FlushFileBuffers(h)) fail(static_cast<int>(::GetLastError()));
    if (!::CloseHandle(h) && !failed()) fail(static_cast<int>(::GetLastError()));
    // the new content replaces the target in one step; the target's attributes stay
    if (!failed() &&
        !::MoveFileExW(wide(temp_).c_str(), wide(target_).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        fail(static_cast<int>(::GetLastError()));
    if (failed()) {
        ::DeleteFileW(wide(temp_).c_str());
        temp_.clear();
        return false;
    }
    temp_.clear();
    ::SetLastError(0);
    return true;
}

void ReplacingFile::discard() {
    if (fd_ >= 0) {
        ::CloseHandle(handle<HANDLE>(fd_));
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::DeleteFileW(wide(temp_).c_str());  // ours: made with CREATE_NEW by open()
        temp_.clear();
    }
}

std::string ReplacingFile::message() const {
    char text[512] = "no error";
    if (errno_)
        ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                         static_cast<DWORD>(errno_), 0, text, sizeof text, nullptr);
    std::string t = text;
    while (!t.empty() && (t.back() == '\n' || t.back() == '\r' || t.back() == ' ')) t.pop_back();
    return target_ + ": " + t;
}

}  // namespace t2::platform
