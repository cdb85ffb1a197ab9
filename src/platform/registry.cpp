// Registry file: "[key]" lines open a key, "name=value" lines give its values.
#include "platform/registry.hpp"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <vector>

#include "platform/files.hpp"

namespace t2::platform {

std::string registry_path(std::string* why) {
    // The user's own data folder only: a folder every user may write (such as
    // /tmp) would let another user choose which library file gets loaded.
    // Relative names are ignored, as the data-folder convention has it.
    if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x == '/') return std::string(x) + "/tavolin2/registry";
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h == '/') {
        home = h;
    } else {
        passwd pw{}, *found = nullptr;
        std::vector<char> buf(16384);
        if (getpwuid_r(getuid(), &pw, buf.data(), buf.size(), &found) == 0 && found && pw.pw_dir && *pw.pw_dir == '/')
            home = pw.pw_dir;
    }
    if (home.empty() || home == "/") {
        if (why)
            *why =
                "no home folder: XDG_DATA_HOME and HOME name no absolute folder and the user database gives none"
                " (the registry is never kept in a folder shared by all users)";
        return "";
    }
    return home + "/.local/share/tavolin2/registry";
}

namespace {

bool make_dirs(const std::string& path) {
    for (size_t i = 1; i < path.size(); ++i) {
        if (path[i] != '/') continue;
        std::string part = path.substr(0, i);
        if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    return true;
}

bool parse(std::istream& in, std::vector<RegistryKey>& keys) {
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
    return !in.bad();
}

}  // namespace

bool registry_read(std::vector<RegistryKey>& keys, std::string* error) {
    keys.clear();
    const std::string path = registry_path();
    if (path.empty()) return true;  // no home: nothing registered
    std::ifstream in(path);
    if (!in) return true;
    if (!parse(in, keys)) {
        if (error) *error = "cannot read " + registry_path();
        return false;
    }
    return true;
}

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
    if (!make_dirs(path)) return fail("cannot create the folder of");
    int lock = open((path + ".lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
    if (lock < 0) return fail("cannot lock");
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
        std::ifstream in(path, std::ios::binary);
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
        if (in.bad()) return fail("cannot read");
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
    if (!file.open(path) || !file.write(text.data(), text.size()) || !file.commit()) {
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

}  // namespace t2::platform
