// File names and whole-file writes: the library's replacing writer, so a
// failure leaves the old file as it was.
#include <cerrno>
#include <cstring>
#include <string>

#include "kit/picture.hpp"
#include "tavolin2/platform.h"

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
    // the library's own writer: a private temporary, the file's identity kept, no
    // planted link followed
    const int e = path.find('\0') != std::string::npos ? EINVAL : T2WriteWholeFile(path.c_str(), data, bytes);
    if (e == 0) return true;
    error = "cannot write " + path + ": " + std::strerror(e) + " (error " + std::to_string(e) + ")";
    return false;
}

}  // namespace kit
