// File functions with the platform's arguments, over POSIX.  Names are UTF-8,
// so any path works; handles are small positive integers, -1 on failure.
#pragma once

#include <cstdint>
#include <string>

namespace t2::platform {

inline constexpr uint32_t GENERIC_READ = 0x80000000u, GENERIC_WRITE = 0x40000000u;
inline constexpr uint32_t CREATE_NEW = 1, CREATE_ALWAYS = 2, OPEN_EXISTING = 3, OPEN_ALWAYS = 4, TRUNCATE_EXISTING = 5;
inline constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr int32_t INVALID_HANDLE_VALUE = -1;

int32_t CreateFileA(const std::string& name, uint32_t access, uint32_t share, void* security, uint32_t disposition,
                    uint32_t flags, int32_t template_file);
// Returns non-zero on success; `written` receives the bytes written.
int WriteFile(int32_t file, const void* data, uint32_t bytes, uint32_t* written, void* overlapped);
int ReadFile(int32_t file, void* data, uint32_t bytes, uint32_t* read, void* overlapped);
int CloseHandle(int32_t file);
inline constexpr uint32_t FILE_BEGIN = 0;
// Moves the file pointer; returns the new position, or 0xFFFFFFFF on failure.
uint32_t SetFilePointer(int32_t file, int32_t distance, int32_t* high, uint32_t method);
// The attributes of a file or folder, 0xFFFFFFFF (-1) when there is none of that name.
uint32_t GetFileAttributesA(const std::string& name);
int DeleteFileA(const std::string& name);
// Whether the name is an ordinary file (not a folder, device or pipe).
bool is_regular_file(const std::string& name);

}  // namespace t2::platform
