// The names the running program is known by outside its own process: a
// second start, pelorandix.exe and the installer (which reads them from this
// file) find it, show it or wait for it by these names.
#pragma once

// Held by the running instance for its whole run.
inline constexpr char kInstanceMutexName[] = "Local\\Pelorandix.ControlCenter";

// The property that marks the main window among the program's dialogs.
inline constexpr char kMainWindowProperty[] = "Pelorandix.MainWindow";

// The registered window message a second start sends to show the main window.
inline constexpr char kShowMainWindowMessageName[] = "Pelorandix.ShowMainWindow";

// The German language module, loaded when the settings choose German.
inline constexpr char kLanguageModuleName[] = "qvxgerman.dll";
