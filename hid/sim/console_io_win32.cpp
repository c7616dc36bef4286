#include "hid/sim/console_io_win32.h"

#include <windows.h>

#include <mutex>

namespace hidsim {

void WriteConsoleLine(const std::string& line) {
    static std::mutex outputMutex;
    const std::lock_guard<std::mutex> lock(outputMutex);
    const std::string text = line + "\r\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()),
              &written, nullptr);
    FlushFileBuffers(GetStdHandle(STD_OUTPUT_HANDLE));
}

void ForEachInputLine(const std::function<void(const std::string&)>& handle) {
    HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    std::string pending;
    char buffer[256];
    DWORD got = 0;
    while (ReadFile(input, buffer, sizeof buffer, &got, nullptr) && got > 0) {
        pending.append(buffer, got);
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            handle(line);
        }
    }
}

}  // namespace hidsim
