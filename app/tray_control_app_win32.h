// The application: chooses the user-interface language, makes sure only one
// instance runs, and runs the main window modally until Quit.
#pragma once

// Held by the running instance for its whole run.
inline constexpr char kInstanceMutexName[] = "Local\\Pelorandix.ControlCenter";

// The German language module, loaded when the settings choose German.
inline constexpr char kLanguageModuleName[] = "qvxgerman.dll";

class CTrayControlApp {
  public:
    // Runs the program; the process's exit code. The HID layer's platform
    // and carrier must be installed before.
    int Run();
};
