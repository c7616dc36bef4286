#include "settings/start_at_login_win32.h"

#include <cstring>

namespace {

// The current user's Run key, open for as long as the object lives.
class RunKey {
  public:
    RunKey() {
        if (RegOpenKeyA(HKEY_CURRENT_USER, kRunKeyPath, &key_) != ERROR_SUCCESS) {
            key_ = nullptr;
        }
    }
    ~RunKey() {
        if (key_) {
            RegCloseKey(key_);
        }
    }
    RunKey(const RunKey&) = delete;
    RunKey& operator=(const RunKey&) = delete;

    bool Opened() const { return key_ != nullptr; }
    HKEY Get() const { return key_; }

  private:
    HKEY key_ = nullptr;
};

}  // namespace

bool WriteRunValue(const char* valueName, const std::wstring& data) {
    const RunKey key;
    if (!key.Opened()) {
        return false;
    }
    // The value names are plain ASCII.
    const std::wstring name(valueName, valueName + std::strlen(valueName));
    const auto size = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.Get(), name.c_str(), 0, REG_SZ,
                          reinterpret_cast<const BYTE*>(data.c_str()), size) == ERROR_SUCCESS;
}

bool DeleteRunValue(const char* valueName) {
    const RunKey key;
    return key.Opened() && RegDeleteValueA(key.Get(), valueName) == ERROR_SUCCESS;
}

bool RunValueExists() {
    const RunKey key;
    return key.Opened() && RegQueryValueExA(key.Get(), kRunValueName, nullptr, nullptr, nullptr,
                                            nullptr) == ERROR_SUCCESS;
}

bool EnableStartAtLogin(const char* valueName) {
    return EnableStartAtLoginWith(valueName, GetModuleFileNameW);
}

bool EnableStartAtLoginWith(const char* valueName, ModuleFileNameQuery query) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = query(nullptr, path, MAX_PATH);
    // A full buffer means the path was cut short (and older systems leave it
    // without a NUL).
    if (length == 0 || length >= MAX_PATH) {
        return false;
    }
    return WriteRunValue(valueName, path);
}
