// The program's working folder, where "./QVXSettings.ini" lives.
#pragma once

#include <string>

// The folder of the program's executable, without a trailing separator.
std::string ProgramFolder();

// A start at login runs in the system folder (or the Windows folder); the
// settings file belongs in the program's own folder then, so that is made the
// working folder. Any other working folder is the user's choice and kept.
void LeaveSystemFolder();
