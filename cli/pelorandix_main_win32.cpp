// pelorandix.exe: the console program for scripts (see UsageText), on the
// real HID devices when no program runs.
#include "cli/command_line_win32.h"
#include "hid/win32/install.h"

int main(int argc, char* argv[]) {
    return cli::RunCommandLine(argc, argv, &IowKit2UseWin32);
}
