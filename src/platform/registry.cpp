// Registry file: "[key]" lines open a key, "name=value" lines give its values.
#include "platform/registry.hpp"

#include <dlfcn.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <vector>

#include "platform/files.hpp"

namespace t2::platform {

namespace {

// The user's data folder ($XDG_DATA_HOME, else ~/.local/share) and, for the default,
// the home folder it lies below.  The environment is read with secure_getenv, so a
// program running with raised rights does not take these folders from its caller.
std::string data_home(std::string& home, std::string* why) {
    if (const char* x = secure_getenv("XDG_DATA_HOME"); x && *x == '/') return x;
    if (const char* h = secure_getenv("HOME"); h && *h == '/') {
        home = h;
    } else {
        passwd pw{}, *found = nullptr;
        std::vector<char> buf(16384);
        if (getpwuid_r(geteuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && pw.pw_dir && *pw.pw_dir == '/')
            home = pw.pw_dir;
    }
    while (home.size() > 1 && home.back() == '/') home.pop_back();
    if (home.empty() || home == "/") {
        if (why)
            *why =
                "no home folder: XDG_DATA_HOME and HOME name no absolute folder and the user database gives none"
                " (the registry is never kept in a folder shared by all users)";
        return "";
    }
    return home + "/.local/share";
}

// Why a file or folder of the registry must not be believed ("" when it may): as
// ssh's strict modes have it, only the user or root may own it and nobody else may
// write it.
std::string distrust(const struct stat& st, const std::string& name) {
    if (st.st_uid != geteuid() && st.st_uid != 0)
        return name + " belongs to another user (uid " + std::to_string(st.st_uid) + ")";
    if (st.st_mode & (S_IWGRP | S_IWOTH)) return name + " may be written by other users";
    return "";
}

// The folders from the data folder down to the registry file's own, as far as they
// exist: each must be trusted (the folders above the user's home are the system's).
bool folders_trusted(const std::string& file, const std::string& top, std::string* why) {
    for (size_t at = top.size(); at != std::string::npos && at <= file.size(); at = file.find('/', at + 1)) {
        const std::string folder = file.substr(0, at);
        struct stat st {};
        if (stat(folder.c_str(), &st) != 0) return true;  // not made yet: nothing in it to believe
        std::string problem = S_ISDIR(st.st_mode) ? distrust(st, folder) : folder + " is not a folder";
        if (!problem.empty()) {
            if (why) *why = problem;
            return false;
        }
    }
    return true;
}

// The whole registry file, read only when it is an ordinary file of trusted folders,
// trusted itself and at most kRegistryMaxBytes long; an absent file is empty.
bool read_registry_file(const std::string& path, const std::string& top, std::string& text, std::string* why) {
    text.clear();
    if (!folders_trusted(path, top, why)) return false;
    const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);  // a pipe is not waited on
    if (fd < 0) {
        if (errno == ENOENT) return true;
        if (why) *why = "cannot read " + path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    std::string problem;
    if (fstat(fd, &st) != 0)
        problem = "cannot read " + path + ": " + std::strerror(errno);
    else if (!S_ISREG(st.st_mode))
        problem = path + " is not an ordinary file";
    else if (problem = distrust(st, path); problem.empty() && st.st_size > kRegistryMaxBytes)
        problem = path + " is larger than the " + std::to_string(kRegistryMaxBytes >> 10) + " KB a registry may have";
    char chunk[8192];
    while (problem.empty()) {
        const ssize_t n = read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) problem = "cannot read " + path + ": " + std::strerror(errno);
        if (n <= 0) break;
        text.append(chunk, static_cast<size_t>(n));
        if (text.size() > static_cast<size_t>(kRegistryMaxBytes))  // it grew while it was read
            problem =
                path + " is larger than the " + std::to_string(kRegistryMaxBytes >> 10) + " KB a registry may have";
    }
    close(fd);
    if (!problem.empty() && why) *why = problem;
    return problem.empty();
}

}  // namespace

std::string registry_path(std::string* why) {
    std::string home;
    const std::string data = data_home(home, why);
    return data.empty() ? "" : data + "/tavolin2/registry";
}

namespace {

// Where the trust checks start: the data folder itself, or the first folder below the
// home folder (~/.local) for the default.
std::string trust_top() {
    std::string home;
    const std::string data = data_home(home, nullptr);
    return home.empty() ? data : home + "/.local";
}

bool make_dirs(const std::string& path) {
    for (size_t i = 1; i < path.size(); ++i) {
        if (path[i] != '/') continue;
        std::string part = path.substr(0, i);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

void parse(const std::string& text, std::vector<RegistryKey>& keys) {
    std::istringstream in(text);
    std::string line;
    RegistryKey* cur = nullptr;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line.front() == '[' && line.back() == ']') {
            keys.push_back({line.substr(1, line.size() - 2), {}});
            cur = &keys.back();
            continue;
        }
        auto eq = line.find('=');
        if (eq == std::string::npos || !cur) continue;  // not ours to judge: kept out of the model
        cur->values.emplace_back(line.substr(0, eq), line.substr(eq + 1));
    }
}

thread_local std::string g_refusal;  // why the last read refused the registry

}  // namespace

bool registry_read(std::vector<RegistryKey>& keys, std::string* error) {
    keys.clear();
    g_refusal.clear();
    const std::string path = registry_path();
    if (path.empty()) return true;  // no home: nothing registered
    std::string text;
    if (!read_registry_file(path, trust_top(), text, &g_refusal)) {
        if (error) *error = g_refusal;
        return false;
    }
    parse(text, keys);
    return true;
}

const std::string& registry_refusal() { return g_refusal; }

bool registry_update(const std::vector<RegistryKey>& add, const std::vector<std::string>& remove, std::string* error) {
    std::string why;
    const std::string path = registry_path(&why);
    if (path.empty()) {
        if (error) *error = "cannot write the registry: " + why;
        return false;
    }
    auto fail = [&](const std::string& what) {
        if (error) *error = what + " " + path + ": " + std::strerror(errno);
        return false;
    };
    const std::string top = trust_top();
    std::string why_not;
    if (!folders_trusted(path, top, &why_not)) {  // what others can write, they could change back
        if (error) *error = "cannot update the registry: " + why_not;
        return false;
    }
    if (!make_dirs(path)) return fail("cannot create the folder of");
    // the lock is an ordinary file of ours: a pipe or device there is refused, never waited on
    int lock = open((path + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0600);
    if (lock < 0) return fail("cannot lock");
    struct stat lst {};
    if (fstat(lock, &lst) != 0 || !S_ISREG(lst.st_mode) || !distrust(lst, path + ".lock").empty()) {
        close(lock);
        if (error) *error = "cannot lock " + path + ": " + path + ".lock is not an ordinary file of this user's";
        return false;
    }
    flock(lock, LOCK_EX);
    struct Unlock {
        int fd;
        ~Unlock() {
            flock(fd, LOCK_UN);
            close(fd);
        }
    } unlock{lock};

    // The file as it is, line by line: the keys replaced or removed go, everything else
    // (comments, lines this reader does not understand, other keys) stays as it was.
    std::vector<std::string> kept;
    {
        std::string old, why;
        if (!read_registry_file(path, top, old, &why)) {
            if (error) *error = "cannot update the registry: " + why;
            return false;
        }
        std::istringstream in(old);
        bool dropping = false;
        for (std::string line; std::getline(in, line);) {
            std::string bare = line;
            if (!bare.empty() && bare.back() == '\r') bare.pop_back();
            if (bare.size() >= 2 && bare.front() == '[' && bare.back() == ']') {
                const std::string name = bare.substr(1, bare.size() - 2);
                dropping = std::find(remove.begin(), remove.end(), name) != remove.end() ||
                           std::any_of(add.begin(), add.end(), [&](const RegistryKey& k) { return k.name == name; });
            }
            // a key that goes takes its header and values along; comments and lines this
            // reader does not understand stay wherever they are
            const bool comment = !bare.empty() && (bare[0] == ';' || bare[0] == '#');
            const bool ours = bare.empty() || (bare.front() == '[' && bare.back() == ']') ||
                              (!comment && bare.find('=') != std::string::npos);
            if (!dropping || !ours) kept.push_back(line);
        }
    }
    while (!kept.empty() && kept.back().empty()) kept.pop_back();
    std::ostringstream out;
    for (const auto& line : kept) out << line << '\n';
    if (!kept.empty()) out << '\n';
    for (const auto& k : add) {
        out << '[' << k.name << "]\n";
        for (const auto& [n, v] : k.values) out << n << '=' << v << '\n';
        out << '\n';
    }
    const std::string text = out.str();
    // written beside the file and renamed over it when complete, keeping the file's mode
    ReplacingFile file;
    // a new registry is never writable by others, whatever the umask (it would not be believed)
    if (!file.open(path, ReplacingFile::Start::Empty, 022) || !file.write(text.data(), text.size()) || !file.commit()) {
        if (error) *error = "cannot write " + file.message();
        return false;
    }
    return true;
}

std::optional<std::string> registry_value(const std::string& key, const std::string& value) {
    std::vector<RegistryKey> keys;
    if (!registry_read(keys)) return std::nullopt;
    for (const auto& k : keys)
        if (k.name == key)
            for (const auto& [n, v] : k.values)
                if (n == value) return v;
    return std::nullopt;
}

void* load_registered_library(const std::string& path) {
    // A bare name is found by the system's own search (its cache and folders); a
    // file named by its path is loaded only when nobody but the user or root could
    // have put it there or changed it.
    if (path.find('/') != std::string::npos) {
        struct stat st {};
        const auto slash = path.find_last_of('/');
        const std::string folder = slash == 0 ? "/" : path.substr(0, slash);
        std::string problem;
        if (stat(path.c_str(), &st) != 0)
            return nullptr;  // not there: the class is not registered, nothing to distrust
        if (!S_ISREG(st.st_mode))
            problem = path + " is not an ordinary file";
        else if (problem = distrust(st, path); problem.empty()) {
            if (stat(folder.c_str(), &st) != 0)
                problem = folder + ": " + std::strerror(errno);
            else
                problem = distrust(st, folder);
        }
        if (!problem.empty()) {
            g_refusal = "the registered library is not loaded: " + problem;
            return nullptr;
        }
    }
    return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}

}  // namespace t2::platform
