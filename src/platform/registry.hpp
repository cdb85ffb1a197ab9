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

// A registry file is read only up to this size.
inline constexpr long kRegistryMaxBytes = 1 << 20;

// Reads every key of the file (an absent file has none).  False on a read error,
// and when the file is not to be believed: it, or a folder on its path from the
// data folder down, belongs to another user than this one or root, or may be
// written by others; it is not an ordinary file; it is larger than
// kRegistryMaxBytes.  The reason goes to `error` and registry_refusal().
bool registry_read(std::vector<RegistryKey>& keys, std::string* error = nullptr);
// Why the last registry_read of this thread refused the file ("" when it did not).
const std::string& registry_refusal();

// Replaces the named keys (writing `add`) and removes those in `remove`, as one
// locked read-modify-write with an atomic rename.  Other keys are kept as they are.
bool registry_update(const std::vector<RegistryKey>& add, const std::vector<std::string>& remove,
                     std::string* error = nullptr);

// The value of a key, if both exist.
std::optional<std::string> registry_value(const std::string& key, const std::string& value);

#ifndef _WIN32
// Loads a library a registry entry names (RTLD_NOW, local): a bare name through the
// system's search, a path only when the file and its folder belong to the user or
// root and nobody else may write them (else nullptr, the reason in registry_refusal()).
void* load_registered_library(const std::string& path);
#endif

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
