// The start-at-login entry against the real registry of the test's own
// system. Every test leaves the Run values named "Pelorandix" as it found them.
#include "settings/start_at_login_win32.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace {

struct StoredValue {
    DWORD type = REG_NONE;
    std::string data;
};

std::optional<StoredValue> ReadValue(HKEY root) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, kRunKeyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    StoredValue value;
    DWORD size = 0;
    LSTATUS status = RegQueryValueExA(key, kRunValueName, nullptr, &value.type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
        value.data.resize(size);
        status = RegQueryValueExA(key, kRunValueName, nullptr, &value.type,
                                  reinterpret_cast<BYTE*>(value.data.data()), &size);
        value.data.resize(size);
    }
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) {
        return std::nullopt;
    }
    return value;
}

// Sets or, for nothing, deletes the value; creates the key when needed.
bool PutValue(HKEY root, const std::optional<StoredValue>& value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(root, kRunKeyPath, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS) {
        return false;
    }
    LSTATUS status = ERROR_SUCCESS;
    if (value) {
        status = RegSetValueExA(key, kRunValueName, 0, value->type,
                                reinterpret_cast<const BYTE*>(value->data.data()),
                                static_cast<DWORD>(value->data.size()));
    } else {
        status = RegDeleteValueA(key, kRunValueName);
        if (status == ERROR_FILE_NOT_FOUND) {
            status = ERROR_SUCCESS;
        }
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

// The data of the current user's value, empty when it is absent.
std::string UserData() {
    const auto value = ReadValue(HKEY_CURRENT_USER);
    return value ? value->data : std::string();
}

StoredValue Text(const std::string& text) {
    return {REG_SZ, text + '\0'};
}

std::string ModulePath() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

class StartAtLogin : public testing::Test {
  protected:
    void SetUp() override {
        savedUser_ = ReadValue(HKEY_CURRENT_USER);
        savedMachine_ = ReadValue(HKEY_LOCAL_MACHINE);
        ASSERT_TRUE(PutValue(HKEY_CURRENT_USER, std::nullopt));
    }
    void TearDown() override {
        EXPECT_TRUE(PutValue(HKEY_CURRENT_USER, savedUser_));
        if (machineChanged_) {
            EXPECT_TRUE(PutValue(HKEY_LOCAL_MACHINE, savedMachine_));
        }
    }
    bool PutMachineValue(const StoredValue& value) {
        machineChanged_ = true;
        return PutValue(HKEY_LOCAL_MACHINE, value);
    }

  private:
    std::optional<StoredValue> savedUser_;
    std::optional<StoredValue> savedMachine_;
    bool machineChanged_ = false;
};

}  // namespace

TEST_F(StartAtLogin, CheckingWritesThisExecutablesPath) {
    EXPECT_FALSE(RunValueExists());
    ASSERT_TRUE(EnableStartAtLogin("Pelorandix"));
    EXPECT_TRUE(RunValueExists());
    const auto stored = ReadValue(HKEY_CURRENT_USER);
    ASSERT_TRUE(stored);
    EXPECT_EQ(stored->type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(stored->data, '"' + ModulePath() + "\"" + '\0');
    EXPECT_TRUE(std::filesystem::exists(ModulePath()));
}

TEST_F(StartAtLogin, CheckingAgainRepointsAnOldEntry) {
    ASSERT_TRUE(WriteRunValue("Pelorandix", L"C:\\gone\\PelorandixControlCenter.exe"));
    // Any data, even a path that no longer exists, counts as present.
    EXPECT_TRUE(RunValueExists());
    EXPECT_EQ(UserData(), "C:\\gone\\PelorandixControlCenter.exe" + std::string(1, '\0'));
    ASSERT_TRUE(EnableStartAtLogin("Pelorandix"));
    EXPECT_EQ(UserData(), '"' + ModulePath() + "\"" + '\0');
}

TEST_F(StartAtLogin, PresenceIsAnyTypeAndData) {
    ASSERT_TRUE(PutValue(HKEY_CURRENT_USER, StoredValue{REG_DWORD, std::string(4, '\0')}));
    EXPECT_TRUE(RunValueExists());
    ASSERT_TRUE(PutValue(HKEY_CURRENT_USER, Text("")));
    EXPECT_TRUE(RunValueExists());
}

TEST_F(StartAtLogin, UncheckingDeletesOnlyAnExistingValue) {
    ASSERT_TRUE(PutValue(HKEY_CURRENT_USER, Text("C:\\Tools\\pelo.exe")));
    EXPECT_TRUE(DeleteRunValue("Pelorandix"));
    EXPECT_FALSE(RunValueExists());
    EXPECT_FALSE(ReadValue(HKEY_CURRENT_USER));
    // Already gone: false, and nothing changes.
    EXPECT_FALSE(DeleteRunValue("Pelorandix"));
    EXPECT_FALSE(RunValueExists());
}

TEST_F(StartAtLogin, MachineWideValueDoesNotCount) {
    if (!PutMachineValue(Text("C:\\Machine\\pelo.exe"))) {
        GTEST_SKIP() << "no write access to the machine-wide Run key";
    }
    EXPECT_FALSE(RunValueExists());
    EXPECT_FALSE(DeleteRunValue("Pelorandix"));
    ASSERT_TRUE(EnableStartAtLogin("Pelorandix"));
    EXPECT_TRUE(DeleteRunValue("Pelorandix"));
    // The machine-wide value was never touched.
    const auto machine = ReadValue(HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(machine);
    EXPECT_EQ(machine->data, "C:\\Machine\\pelo.exe" + std::string(1, '\0'));
}

namespace {

// Stand-ins for GetModuleFileNameW with an executable path that does not
// fit: newer systems fill the buffer with a cut path and its NUL, return the
// buffer size and set ERROR_INSUFFICIENT_BUFFER; older ones leave out the NUL.
const std::wstring kLongPath = L"C:\\" + std::wstring(300, L'p') + L".exe";
// A path of exactly 259 characters still fits.
const std::wstring kLongestPath = L"C:\\" + std::wstring(252, L'q') + L".exe";
// A per-user install under a profile name outside code page 1252.
const std::wstring kUnicodePath =
    L"C:\\Users\\\u041F\u0451\u0442\u0440 \u7528\u6237\\AppData\\Local\\Programs\\"
    L"Pelorandix Control Center\\PelorandixControlCenter.exe";

DWORD WINAPI CutWithNul(HMODULE, LPWSTR path, DWORD size) {
    kLongPath.copy(path, size - 1);
    path[size - 1] = L'\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}

DWORD WINAPI CutWithoutNul(HMODULE, LPWSTR path, DWORD size) {
    kLongPath.copy(path, size);
    SetLastError(ERROR_SUCCESS);
    return size;
}

DWORD WINAPI Longest(HMODULE, LPWSTR path, DWORD size) {
    const auto length = static_cast<DWORD>(kLongestPath.copy(path, size - 1));
    path[length] = L'\0';
    return length;
}

DWORD WINAPI UnicodePath(HMODULE, LPWSTR path, DWORD size) {
    const auto length = static_cast<DWORD>(kUnicodePath.copy(path, size - 1));
    path[length] = L'\0';
    return length;
}

DWORD WINAPI NoPath(HMODULE, LPWSTR, DWORD) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return 0;
}

}  // namespace

TEST_F(StartAtLogin, PathThatDoesNotFitIsNeverWrittenCutShort) {
    ASSERT_EQ(kLongestPath.size(), 259u);
    for (const auto query : {CutWithNul, CutWithoutNul, NoPath}) {
        // Absent stays absent ...
        ASSERT_TRUE(PutValue(HKEY_CURRENT_USER, std::nullopt));
        EXPECT_FALSE(EnableStartAtLoginWith("Pelorandix", query));
        EXPECT_FALSE(RunValueExists());
        // ... and an existing entry keeps its data.
        ASSERT_TRUE(WriteRunValue("Pelorandix", L"C:\\Before\\pelo.exe"));
        EXPECT_FALSE(EnableStartAtLoginWith("Pelorandix", query));
        EXPECT_EQ(UserData(), "C:\\Before\\pelo.exe" + std::string(1, '\0'));
    }
    EXPECT_TRUE(EnableStartAtLoginWith("Pelorandix", Longest));
    EXPECT_EQ(UserData(),
              '"' + std::string(kLongestPath.begin(), kLongestPath.end()) + "\"" + '\0');
}

// The current user's value as UTF-16 text, empty when it is absent.
std::wstring UserText() {
    wchar_t stored[MAX_PATH + 3] = {};
    DWORD size = sizeof stored;
    RegGetValueW(HKEY_CURRENT_USER, L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run",
                 L"Pelorandix", RRF_RT_REG_SZ, nullptr, stored, &size);
    return stored;
}

TEST_F(StartAtLogin, APathOutsideTheAnsiCodePageIsStoredWhole) {
    ASSERT_TRUE(EnableStartAtLoginWith("Pelorandix", UnicodePath));
    EXPECT_EQ(UserText(), L"\"" + kUnicodePath + L"\"");
}

TEST_F(StartAtLogin, OnlyThisProgramsUnquotedEarlierEntryIsQuoted) {
    const std::wstring quoted = L"\"" + kUnicodePath + L"\"";
    // Written so by an earlier version (the case of a path does not matter).
    std::wstring upper = kUnicodePath;
    CharUpperW(upper.data());
    for (const std::wstring& earlier : {kUnicodePath, upper}) {
        ASSERT_TRUE(WriteRunValue("Pelorandix", earlier));
        EXPECT_TRUE(QuoteEarlierStartAtLogin("Pelorandix", UnicodePath));
        EXPECT_EQ(UserText(), quoted);
    }
    // Already quoted, another copy's, or absent: left as it is.
    for (const std::wstring& other :
         {quoted, std::wstring(L"C:\\Elsewhere\\PelorandixControlCenter.exe")}) {
        ASSERT_TRUE(WriteRunValue("Pelorandix", other));
        EXPECT_FALSE(QuoteEarlierStartAtLogin("Pelorandix", UnicodePath));
        EXPECT_EQ(UserText(), other);
    }
    ASSERT_TRUE(DeleteRunValue("Pelorandix"));
    EXPECT_FALSE(QuoteEarlierStartAtLogin("Pelorandix", UnicodePath));
    EXPECT_FALSE(RunValueExists());
}
