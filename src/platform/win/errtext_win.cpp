// System error texts and the thread's last error: the platform's own.
#include "platform/errtext.hpp"

#include <cerrno>

#include "platform/win/wide.hpp"

namespace t2::platform {

uint32_t FormatMessageA(uint32_t flags, const void* source, uint32_t code, uint32_t language, char* buffer,
                        uint32_t size, void* args) {
    return ::FormatMessageA(flags, source, code, language, buffer, size, static_cast<va_list*>(args));
}

uint32_t GetLastError() { return ::GetLastError(); }
void SetLastError(uint32_t code) { ::SetLastError(code); }

uint32_t error_from_errno(int e, const std::string&) {
    switch (e) {
        case 0: return 0;
        case ENOENT: return ERROR_FILE_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EISDIR: return ERROR_ACCESS_DENIED;
        case EEXIST: return ERROR_FILE_EXISTS;
        case ENOSPC: return ERROR_DISK_FULL;
        case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
        case EINVAL: return ERROR_INVALID_PARAMETER;
        default: return ERROR_GEN_FAILURE;
    }
}

}  // namespace t2::platform
