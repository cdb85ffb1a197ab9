// The registry seam over the platform's registry, and the registration of the
// embedded type library through the automation runtime.
#include "platform/registry.hpp"

#include "platform/win/wide.hpp"

#include <oleauto.h>

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

long register_type_library(const std::string& module) {
    std::wstring path = wide(module);
    ITypeLib* lib = nullptr;
    HRESULT hr = ::LoadTypeLibEx(path.c_str(), REGKIND_NONE, &lib);
    if (FAILED(hr)) return hr;
    hr = ::RegisterTypeLib(lib, path.data(), nullptr);
    lib->Release();
    return hr;
}

long unregister_type_library(const std::string& module) {
    ITypeLib* lib = nullptr;
    HRESULT hr = ::LoadTypeLibEx(wide(module).c_str(), REGKIND_NONE, &lib);
    if (FAILED(hr)) return hr;
    TLIBATTR* a = nullptr;
    hr = lib->GetLibAttr(&a);
    if (SUCCEEDED(hr)) {
        hr = ::UnRegisterTypeLib(a->guid, a->wMajorVerNum, a->wMinorVerNum, a->lcid, a->syskind);
        lib->ReleaseTLibAttr(a);
    }
    lib->Release();
    return hr;
}

bool classes_root_per_user(bool on) {
    if (!on) return ::RegOverridePredefKey(HKEY_CLASSES_ROOT, nullptr) == ERROR_SUCCESS;
    HKEY user = nullptr;
    if (::RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &user,
                          nullptr) != ERROR_SUCCESS)
        return false;
    const bool ok = ::RegOverridePredefKey(HKEY_CLASSES_ROOT, user) == ERROR_SUCCESS;
    ::RegCloseKey(user);
    return ok;
}

}  // namespace t2::platform
