#include "ui/resource_module_win32.h"

namespace ui {

namespace {

HINSTANCE activeModule = nullptr;

UniqueIcon LoadSizedIcon(HINSTANCE module, UINT id, int size) {
    return UniqueIcon(
        static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, 0)));
}

}  // namespace

HINSTANCE ProgramModule() {
    return GetModuleHandleA(nullptr);
}

HINSTANCE ActiveResourceModule() {
    return activeModule != nullptr ? activeModule : ProgramModule();
}

void SetActiveResourceModule(HINSTANCE module) {
    activeModule = module;
}

HINSTANCE ModuleHolding(LPCSTR type, UINT id) {
    HINSTANCE active = ActiveResourceModule();
    return FindResourceA(active, MAKEINTRESOURCEA(id), type) != nullptr ? active : ProgramModule();
}

std::string LoadResourceString(UINT id) {
    // A string table entry holds at most 4097 characters.
    char text[4100];
    int length = LoadStringA(ActiveResourceModule(), id, text, sizeof text);
    if (length <= 0) {
        length = LoadStringA(ProgramModule(), id, text, sizeof text);
    }
    return length > 0 ? std::string(text, static_cast<size_t>(length)) : std::string();
}

UniqueMenu LoadResourceMenu(UINT id) {
    return UniqueMenu(LoadMenuA(ModuleHolding(RT_MENU, id), MAKEINTRESOURCEA(id)));
}

UniqueBitmap LoadResourceBitmap(UINT id) {
    return UniqueBitmap(static_cast<HBITMAP>(
        LoadImageA(ModuleHolding(RT_BITMAP, id), MAKEINTRESOURCEA(id), IMAGE_BITMAP, 0, 0, 0)));
}

UniqueIcon LoadResourceIcon(UINT id, int size) {
    return LoadSizedIcon(ModuleHolding(RT_GROUP_ICON, id), id, size);
}

UniqueIcon LoadProgramIcon(UINT id, int size) {
    return LoadSizedIcon(ProgramModule(), id, size);
}

}  // namespace ui
