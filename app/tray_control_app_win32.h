// The application: chooses the user-interface language, makes sure only one
// instance runs, and runs the main window modally until Quit.
#pragma once

class CTrayControlApp {
  public:
    // Runs the program; the process's exit code. The HID layer's platform
    // and carrier must be installed before.
    int Run();
};
