// The active resource module: the one place every dialog template, menu,
// string and bitmap is loaded from. It is the program's own module, or the
// German language module once that is loaded; whatever that module lacks
// comes from the program's own. The tray icon is the one resource that
// always comes from the program's own module.
#pragma once

#include <windows.h>

#include <string>

#include "ui/handles_win32.h"

namespace ui {

HINSTANCE ProgramModule();
HINSTANCE ActiveResourceModule();
// Makes module the active resource module (nullptr: the program's own again).
void SetActiveResourceModule(HINSTANCE module);
// The active module when it holds the resource, the program's own otherwise.
HINSTANCE ModuleHolding(LPCSTR type, UINT id);

// "" when the string is missing.
std::string LoadResourceString(UINT id);
UniqueMenu LoadResourceMenu(UINT id);
UniqueBitmap LoadResourceBitmap(UINT id);
// An icon of the active module, the image of the given size (or the nearest
// one scaled to it). Loaded for the caller alone: Windows' shared icons keep
// the first size loaded of a resource and hand that out for every size.
UniqueIcon LoadResourceIcon(UINT id, int size);
// The same from the program's own module.
UniqueIcon LoadProgramIcon(UINT id, int size);

}  // namespace ui
