// The registry seam over the platform's registry, and the registration of the
// embedded type library through the automation runtime.
#include "platform/registry.hpp"

#include "platform/win/wide.hpp"

#include <oleauto.h>

#include <cstdio>

namespace t2::platform {

using win::wide;

namespace {

bool write_key(const RegistryKey& key, std::string* error) {
    HKEY h = nullptr;
    LONG r = ::RegCreateKeyExW(HKEY_CLASSES_ROOT, wide(key.name).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                               KEY_SET_VALUE, nullptr, &h, nullptr);
    if (r != ERROR_SUCCESS) {
        if (error) *error = "cannot create " + key.name + " (error " + std::to_string(r) + ")";
        return false;
    }
    for (const auto& [name, value] : key.values) {
        std::wstring v = wide(value);
        r = ::RegSetValueExW(h, name == "@" ? nullptr : wide(name).c_str(), 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(v.c_str()),
                             static_cast<DWORD>((v.size() + 1) * sizeof(wchar_t)));
        if (r != ERROR_SUCCESS) break;
    }
    ::RegCloseKey(h);
    if (r != ERROR_SUCCESS && error) *error = "cannot write " + key.name + " (error " + std::to_string(r) + ")";
    return r == ERROR_SUCCESS;
}

}  // namespace

std::string registry_path() { return "HKEY_CLASSES_ROOT"; }

bool registry_read(std::vector<RegistryKey>&, std::string* error) {
    if (error) *error = "the platform's registry is not read as a whole";
    return false;
}

bool registry_update(const std::vector<RegistryKey>& add, const std::vector<std::string>& remove, std::string* error) {
    bool ok = true;
    for (const auto& name : remove) {
        LONG r = ::RegDeleteTreeW(HKEY_CLASSES_ROOT, wide(name).c_str());
        if (r == ERROR_SUCCESS) r = ::RegDeleteKeyW(HKEY_CLASSES_ROOT, wide(name).c_str());
        if (r != ERROR_SUCCESS && r != ERROR_FILE_NOT_FOUND) {
            if (error) *error = "cannot remove " + name + " (error " + std::to_string(r) + ")";
            ok = false;
        }
    }
    for (const auto& key : add)
        if (!write_key(key, error)) return false;
    return ok;
}

std::optional<std::string> registry_value(const std::string& key, const std::string& value) {
    wchar_t buffer[1024];
    DWORD bytes = sizeof buffer;
    LONG r = ::RegGetValueW(HKEY_CLASSES_ROOT, wide(key).c_str(), value == "@" ? nullptr : wide(value).c_str(),
                            RRF_RT_REG_SZ, nullptr, buffer, &bytes);
    if (r != ERROR_SUCCESS) return std::nullopt;
    return win::narrow(buffer);
}

std::string module_path() {
    HMODULE self = nullptr;
    ::GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         reinterpret_cast<LPCWSTR>(&module_path), &self);
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = ::GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return win::narrow(path);
}

namespace {

// The library's attributes, from the TYPELIB resource of `module`.
HRESULT library_attributes(const std::wstring& module, ITypeLib** lib, TLIBATTR& out) {
    HRESULT hr = ::LoadTypeLibEx(module.c_str(), REGKIND_NONE, lib);
    if (FAILED(hr)) return hr;
    TLIBATTR* a = nullptr;
    hr = (*lib)->GetLibAttr(&a);
    if (SUCCEEDED(hr)) {
        out = *a;
        (*lib)->ReleaseTLibAttr(a);
    } else {
        (*lib)->Release();
        *lib = nullptr;
    }
    return hr;
}

// TypeLib\{...}\major.minor, as the runtime names the version key (hexadecimal numbers).
std::string version_key(const TLIBATTR& a) {
    wchar_t guid[40] = {};
    ::StringFromGUID2(a.guid, guid, 40);
    char version[16];
    std::snprintf(version, sizeof version, "%x.%x", a.wMajorVerNum, a.wMinorVerNum);
    return "TypeLib\\" + win::narrow(guid) + "\\" + version;
}

const char* syskind_name(SYSKIND kind) { return kind == SYS_WIN64 ? "win64" : "win32"; }

bool key_exists(const std::string& name) {
    HKEY h = nullptr;
    if (::RegOpenKeyExW(HKEY_CLASSES_ROOT, wide(name).c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return false;
    ::RegCloseKey(h);
    return true;
}

// Removes a key that has no subkeys left; one with subkeys (another architecture's) stays.
void remove_if_empty(const std::string& name) { ::RegDeleteKeyW(HKEY_CLASSES_ROOT, wide(name).c_str()); }

}  // namespace

long register_type_library(const std::string& module) {
    std::wstring path = wide(module);
    ITypeLib* lib = nullptr;
    TLIBATTR a{};
    HRESULT hr = library_attributes(path, &lib, a);
    if (FAILED(hr)) return hr;
    hr = ::RegisterTypeLib(lib, path.data(), nullptr);
    lib->Release();
    if (FAILED(hr)) return hr;
    // The runtime registers the library's own locale (0x0409).  A client of
    // another apartment is served by the platform's marshaller, which looks the
    // library up by locale 0 (the neutral one) and, on some versions, does not
    // fall back to 0x0409: the neutral entry names the same file.
    const std::string neutral = version_key(a) + "\\0\\" + syskind_name(a.syskind);
    return write_key({neutral, {{"@", module}}}, nullptr) ? S_OK : static_cast<HRESULT>(TYPE_E_REGISTRYACCESS);
}

long unregister_type_library(const std::string& module) {
    ITypeLib* lib = nullptr;
    TLIBATTR a{};
    HRESULT hr = library_attributes(wide(module), &lib, a);
    if (FAILED(hr)) return hr;
    lib->Release();
    const std::string version = version_key(a);
    const char* ours = syskind_name(a.syskind);
    const char* other = a.syskind == SYS_WIN64 ? "win32" : "win64";
    char locale[16];
    std::snprintf(locale, sizeof locale, "\\%lx", static_cast<unsigned long>(a.lcid));
    const std::string own = version + locale;
    ::RegDeleteKeyW(HKEY_CLASSES_ROOT, wide(version + "\\0\\" + ours).c_str());
    remove_if_empty(version + "\\0");
    // Not registered for this architecture: nothing to remove, which is no failure.
    if (!key_exists(own + "\\" + ours)) {
        remove_if_empty(version);
        remove_if_empty(version.substr(0, version.rfind('\\')));
        return S_OK;
    }
    // The other architecture's DLL registered beside this one shares the
    // library's interface keys and its version key: only this architecture's
    // entry goes, and the runtime's unregistration (which removes the
    // interfaces too) waits for the last one.
    if (key_exists(own + "\\" + other)) {
        ::RegDeleteKeyW(HKEY_CLASSES_ROOT, wide(own + "\\" + ours).c_str());
        return S_OK;
    }
    return ::UnRegisterTypeLib(a.guid, a.wMajorVerNum, a.wMinorVerNum, a.lcid, a.syskind);
}

bool classes_root_per_user(bool on) {
    if (!on) return ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr) == ERROR_SUCCESS;
    // The runtime then writes a type library's keys below the user's classes
    // too (where the system's classes are not writable, RegisterTypeLib fails
    // without it).  Looked up by name: older runtimes do not have it, and the
    // override below is then what sends the keys to the user's classes.
    if (HMODULE automation = ::GetModuleHandleW(L"oleaut32.dll")) {
        using Enable = void(WINAPI*)();
        if (auto enable = reinterpret_cast<Enable>(::GetProcAddress(automation, "OaEnablePerUserTLibRegistration")))
            enable();
    }
    HKEY user = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &user,
                          nullptr) != ERROR_SUCCESS)
        return false;
    const bool ok = ::RegOverridePredefKey(HKEY_CLASSES_ROOT, user) == ERROR_SUCCESS;
    ::RegCloseKey(user);
    return ok;
}

}  // namespace t2::platform
