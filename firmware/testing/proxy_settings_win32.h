// Points the current user's Internet Settings proxy at a port on 127.0.0.1,
// where a test runs the local update server, and puts the settings back as
// they were when it goes. WinINet sessions opened meanwhile (in any process
// of the same user) reach the update server's host through it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class ProxySettings {
  public:
    ProxySettings() {
        RegCreateKeyExA(HKEY_CURRENT_USER, kInternetSettings, 0, nullptr, 0, KEY_ALL_ACCESS,
                        nullptr, &key_, nullptr);
        enable_ = Read("ProxyEnable");
        server_ = Read("ProxyServer");
    }
    ~ProxySettings() {
        Restore("ProxyEnable", enable_);
        Restore("ProxyServer", server_);
        RegCloseKey(key_);
    }
    ProxySettings(const ProxySettings&) = delete;
    ProxySettings& operator=(const ProxySettings&) = delete;

    void PointAt(uint16_t port) {
        const DWORD enable = 1;
        RegSetValueExA(key_, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable),
                       sizeof(enable));
        const std::string server = "127.0.0.1:" + std::to_string(port);
        RegSetValueExA(key_, "ProxyServer", 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(server.c_str()),
                       static_cast<DWORD>(server.size() + 1));
    }

  private:
    static constexpr char kInternetSettings[] =
        "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

    struct Value {
        DWORD type = 0;
        std::vector<BYTE> data;
    };

    std::optional<Value> Read(const char* name) {
        Value value;
        DWORD size = 0;
        if (RegQueryValueExA(key_, name, nullptr, &value.type, nullptr, &size) != ERROR_SUCCESS) {
            return std::nullopt;
        }
        value.data.resize(size);
        RegQueryValueExA(key_, name, nullptr, &value.type, value.data.data(), &size);
        return value;
    }

    void Restore(const char* name, const std::optional<Value>& value) {
        if (value) {
            RegSetValueExA(key_, name, 0, value->type, value->data.data(),
                           static_cast<DWORD>(value->data.size()));
        } else {
            RegDeleteValueA(key_, name);
        }
    }

    HKEY key_ = nullptr;
    std::optional<Value> enable_;
    std::optional<Value> server_;
};
