// The platform registry: a text file of keys (sections) with named values,
// under $XDG_DATA_HOME/tavolin2/registry (default ~/.local/share/tavolin2/registry).
// On Windows the platform's own registry: key names are below the classes root
// (HKEY_CLASSES_ROOT), a removed key goes with its subkeys.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace t2::platform {

struct RegistryKey {
    std::string name;                                         // e.g. CLSID\{...}
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

#ifdef _WIN32
// The file of this server (the DLL), for InprocServer32 and the type library.
std::string module_path();
// The platform's registration of the type library embedded in `module`
// (TypeLib and Interface keys), and its removal: 0 or a failure status.
long register_type_library(const std::string& module);
long unregister_type_library(const std::string& module);
// While on, the classes root of this process is the user's own classes
// (HKEY_CURRENT_USER\Software\Classes), for registration without
// administrator rights; the type library's keys follow it.  False on failure.
bool classes_root_per_user(bool on);
#endif

}  // namespace t2::platform
