// Fuzz target: the registration file.  Any file is read without failing the
// reader, and an update keeps every line it does not replace.
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_dir.hpp"
#include "platform/registry.hpp"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::private_dir();
    const std::string path = t2::platform::registry_path();
    static const bool made = mkdir(path.substr(0, path.find_last_of('/')).c_str(), 0755) == 0;
    (void)made;
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    std::vector<t2::platform::RegistryKey> keys;
    t2::platform::registry_read(keys);
    t2::platform::registry_update({{"CLSID\\{fuzz}", {{"@", "value"}}}}, {"CLSID\\{gone}"});
    std::vector<t2::platform::RegistryKey> after;
    t2::platform::registry_read(after);
    bool found = false;
    for (const auto& k : after) found |= k.name == "CLSID\\{fuzz}";
    if (!found) __builtin_trap();  // the key just written must be there
    return 0;
}
