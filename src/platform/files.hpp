// File functions with the platform's arguments, over POSIX.  Names are UTF-8,
// so any path works; handles are small positive integers, -1 on failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#define T2_FILES_API

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
T2_FILES_API bool is_regular_file(const std::string& name);

// A file written in full or not at all.  The bytes go to a private temporary
// file (mode 0600, so nobody else can read them while they are written); commit()
// gives it its final mode (the replaced file's, or what the process's umask makes
// of 0666 for a new file) and renames it over the target.  Where renaming would
// change the replaced file's identity (another owner or group, more than one
// link) or cannot be done (a folder we may not write, holding a file we may),
// the temporary is anonymous and commit() copies it over the target in place.
// Whatever fails before commit, the target stays as it was, and the destructor
// removes the temporary unless it was committed.
//
// Names are never resolved in user space: the folder is opened once and every
// step happens relative to it.  A link at the target is followed, except one
// lying in a sticky world-writable folder (such as /tmp) whose owner is neither
// the saver nor the folder's owner, which is refused with access denied (5):
// the kernel's own rule for such links, kept whether or not the machine turns
// it on.  Only an ordinary file is ever replaced: a folder, a device, a pipe, a
// file we may not write or a name holding a NUL is refused before anything is
// created.  Every failure keeps the platform's error number (error()) and the
// system's errno (os_error()).
class T2_FILES_API ReplacingFile {
public:
    enum class Start { Empty, Existing };  // Existing: the new file starts as a copy of the target

    ReplacingFile() = default;
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // `never`: mode bits a new file does not get whatever the umask allows (022 for a
    // file others must not be able to change, such as the registry).
    bool open(const std::string& target, Start start = Start::Empty, uint32_t never = 0);
    bool write(const void* data, size_t bytes);  // all the bytes or a failure; the first failure stays
    bool seek(uint64_t offset);                  // from the start; beyond the end leaves a gap of zeros
    bool commit();                               // rename over the target, or copy into it in place
    void discard();                              // close and remove the temporary file

    bool in_place() const { return in_place_; }  // commit() writes into the target itself
    bool failed() const { return error_ != 0; }
    uint32_t error() const { return error_; }
    int os_error() const { return errno_; }
    std::string message() const;  // the system's text of os_error(), with the target's name

private:
    bool fail(int e);
    bool find_target();
    bool make_temporary();
    bool copy_target();
    bool commit_by_rename();
    bool commit_in_place();
    void drop_temporary();
    int fd_ = -1;         // the temporary: named in the folder, or anonymous when in place
    int folder_ = -1;     // the folder the file is replaced in
    int target_fd_ = -1;  // the file replaced, held from open() on
    std::string target_, base_, temp_;
    uint32_t mode_ = 0, never_ = 0;
    bool exists_ = false, in_place_ = false;
    uint32_t error_ = 0;
    int errno_ = 0;
};

// Writes a whole file with a ReplacingFile; 0, or the system's errno of the failure.
T2_FILES_API int write_whole_file(const std::string& path, const void* data, size_t bytes);

}  // namespace t2::platform
