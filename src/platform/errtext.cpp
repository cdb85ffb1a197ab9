// Our texts for the system error codes the library can meet.
#include "platform/errtext.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace t2::platform {

namespace {
thread_local uint32_t t_last_error = 0;

const char* text_of(uint32_t code) {
    switch (code) {
        case 0: return "The operation completed.";
        case 1: return "The function is not supported here.";
        case 2: return "No file of that name was found.";
        case 3: return "The folder in the path does not exist.";
        case 4: return "Too many files are open.";
        case 5: return "Access to the file or folder was refused.";
        case 6: return "The handle is not valid.";
        case 8: return "There is not enough memory for this operation.";
        case 14: return "There is not enough memory to finish this operation.";
        case 15: return "The drive named does not exist.";
        case 19: return "The medium is write-protected.";
        case 21: return "The device is not ready.";
        case 29: return "The device could not be written to.";
        case 30: return "The device could not be read from.";
        case 32: return "Another process is using the file, so it cannot be opened.";
        case 33: return "Another process has locked a part of the file.";
        case 80: return "A file of that name already exists.";
        case 87: return "A parameter is not valid.";
        case 112: return "The disk is full.";
        case 123: return "The file name, folder name or volume label is not valid.";
        case 145: return "The folder is not empty.";
        case 183: return "The file cannot be created because it already exists.";
        case 206: return "The file name or extension is too long.";
        case 267: return "The folder name is not valid.";
        default: return nullptr;
    }
}
}  // namespace

uint32_t FormatMessageA(uint32_t flags, const void*, uint32_t code, uint32_t, char* buffer, uint32_t size, void*) {
    if (!(flags & FORMAT_MESSAGE_FROM_SYSTEM) || !buffer || size == 0) return 0;
    const char* t = text_of(code);
    if (!t) {
        SetLastError(317);  // no text for that message number
        return 0;
    }
    std::string s = std::string(t) + "\r\n";
    if (s.size() + 1 > size) {
        SetLastError(122);  // the buffer is too small
        return 0;
    }
    std::memcpy(buffer, s.c_str(), s.size() + 1);
    return static_cast<uint32_t>(s.size());
}

uint32_t GetLastError() { return t_last_error; }
void SetLastError(uint32_t code) { t_last_error = code; }

uint32_t error_from_errno(int e, const std::string& path) {
    switch (e) {
        case 0: return 0;
        case ENOENT: {
            // a missing folder on the way is "path not found", a missing last part "file not found"
            auto slash = path.find_last_of('/');
            if (slash != std::string::npos && slash > 0) {
                struct stat st {};
                if (stat(path.substr(0, slash).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return 3;
            }
            return 2;
        }
        case ENOTDIR: return 3;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS: return 5;
        case EBUSY:
        case ETXTBSY: return 32;
        case EEXIST: return 80;
        case EINVAL: return 87;
        case ENOSPC:
        case EDQUOT: return 112;
        case ENAMETOOLONG: return 206;
        case EMFILE:
        case ENFILE: return 4;
        case ENOMEM: return 8;
        case EIO: return 29;
        case EBADF: return 6;
        default: return 31;  // a device attached to the system is not functioning
    }
}

}  // namespace t2::platform
