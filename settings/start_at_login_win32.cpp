#include "settings/start_at_login_win32.h"

#include <cstring>
#include <optional>

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

// The value names are plain ASCII.
std::wstring WideName(const char* valueName) {
    return std::wstring(valueName, valueName + std::strlen(valueName));
}

// The executable's full path; nothing when it does not fit in the classic
// buffer (a full buffer means the path was cut short, and older systems leave
// it without a NUL).
std::optional<std::wstring> ModulePath(ModuleFileNameQuery query) {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = query(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) {
        return std::nullopt;
    }
    return std::wstring(path, length);
}

// The Run data that starts the program at path.
std::wstring QuotedCommand(const std::wstring& path) {
    return L"\"" + path + L"\"";
}

// The named string value; nothing when it is absent, of another type or
// longer than a quoted classic path.
std::optional<std::wstring> ReadRunText(const char* valueName) {
    const RunKey key;
    wchar_t data[MAX_PATH + 3] = {};
    DWORD type = REG_NONE;
    DWORD size = sizeof data - sizeof(wchar_t);
    if (!key.Opened() ||
        RegQueryValueExW(key.Get(), WideName(valueName).c_str(), nullptr, &type,
                         reinterpret_cast<BYTE*>(data), &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    return std::wstring(data, wcsnlen(data, size / sizeof(wchar_t)));
}

}  // namespace

bool WriteRunValue(const char* valueName, const std::wstring& data) {
    const RunKey key;
    if (!key.Opened()) {
        return false;
    }
    const auto size = static_cast<DWORD>((data.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key.Get(), WideName(valueName).c_str(), 0, REG_SZ,
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
    const std::optional<std::wstring> path = ModulePath(query);
    return path && WriteRunValue(valueName, QuotedCommand(*path));
}

bool QuoteEarlierStartAtLogin(const char* valueName, ModuleFileNameQuery query) {
    const std::optional<std::wstring> path = ModulePath(query);
    const std::optional<std::wstring> data = ReadRunText(valueName);
    return path && data && lstrcmpiW(data->c_str(), path->c_str()) == 0 &&
           WriteRunValue(valueName, QuotedCommand(*path));
}
