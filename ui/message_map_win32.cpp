#include "ui/message_map_win32.h"

namespace ui {

namespace {

bool Matches(const MessageEntry& entry, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (entry.kind) {
        case MessageEntry::Kind::kMessage:
            return entry.message == message;
        case MessageEntry::Kind::kCommand:
            // Menu items send code 0 and accelerators 1, both without a
            // control; a button's click is BN_CLICKED (also 0). A control's
            // other notifications (code 1 is a combo box's CBN_SELCHANGE)
            // are not commands.
            return message == WM_COMMAND && LOWORD(wParam) == entry.id &&
                   (HIWORD(wParam) == 0 || (HIWORD(wParam) == 1 && lParam == 0));
        case MessageEntry::Kind::kControl:
            return message == WM_COMMAND && lParam != 0 && LOWORD(wParam) == entry.id &&
                   HIWORD(wParam) == entry.code;
        case MessageEntry::Kind::kNotify: {
            if (message != WM_NOTIFY || lParam == 0) {
                return false;
            }
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            return header->idFrom == entry.id && header->code == entry.code;
        }
    }
    return false;
}

}  // namespace

const MessageEntry* FindMessageEntry(const MessageMap* map, UINT message, WPARAM wParam,
                                     LPARAM lParam) {
    for (; map != nullptr; map = map->base != nullptr ? map->base() : nullptr) {
        for (const MessageEntry& entry : map->entries) {
            if (Matches(entry, message, wParam, lParam)) {
                return &entry;
            }
        }
    }
    return nullptr;
}

}  // namespace ui
