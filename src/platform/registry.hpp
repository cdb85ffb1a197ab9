// The platform registry: a text file of keys (sections) with named values,
// under $XDG_DATA_HOME/tavolin2/registry (default ~/.local/share/tavolin2/registry).
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace t2::platform {

struct RegistryKey {
    std::string name;                                       // e.g. CLSID\{...}
    std::vector<std::pair<std::string, std::string>> values;  // "@" is the default value
};

// $XDG_DATA_HOME/tavolin2/registry, else ~/.local/share/tavolin2/registry of
// HOME or the user database; "" (with the reason in `why`) when there is no
// usable home folder.
std::string registry_path(std::string* why = nullptr);

// Reads every key of the file (an absent file has none).  False on a read error.
bool registry_read(std::vector<RegistryKey>& keys, std::string* error = nullptr);

// Replaces the named keys (writing `add`) and removes those in `remove`, as one
// locked read-modify-write with an atomic rename.  Other keys are kept as they are.
bool registry_update(const std::vector<RegistryKey>& add, const std::vector<std::string>& remove,
                     std::string* error = nullptr);

// The value of a key, if both exist.
std::optional<std::string> registry_value(const std::string& key, const std::string& value);

}  // namespace t2::platform
