// Per-class message tables: each entry maps a window message, a command id
// or a control notification to a member handler with a typed signature, and
// each table chains to the table of its base class. A class's whole event
// surface reads from one table:
//
//   const ui::MessageMap* CMyDlg::Messages() {
//       static const ui::MessageEntry entries[] = {
//           ui::OnMessage<&CMyDlg::OnTimer>(WM_TIMER),
//           ui::OnCommand<&CMyDlg::OnSave>(IDC_SAVE),
//           ui::OnControl<&CMyDlg::OnLanguageChange>(IDC_LANGUAGE, CBN_SELCHANGE),
//           ui::OnNotify<&CMyDlg::OnIntervalDelta>(IDC_INTERVAL, UDN_DELTAPOS),
//       };
//       static const ui::MessageMap map{&CDialog::Messages, entries};
//       return &map;
//   }
#pragma once

#include <windows.h>

#include <span>

namespace ui {

class CWnd;

// What a matched handler answers: the message's result.
using MessageThunk = LRESULT (*)(CWnd& window, WPARAM wParam, LPARAM lParam);

struct MessageEntry {
    enum class Kind {
        kMessage,  // any window message
        kCommand,  // WM_COMMAND from a menu item, accelerator or button click
        kControl,  // WM_COMMAND with a control's notification code
        kNotify,   // WM_NOTIFY from a control
    };
    Kind kind;
    UINT message;  // the message for kMessage
    UINT id;       // command or control id
    UINT code;     // notification code for kControl and kNotify
    MessageThunk thunk;
};

struct MessageMap {
    const MessageMap* (*base)();  // nullptr at the root
    std::span<const MessageEntry> entries;
};

// The first entry of the chain, most derived table first, that takes this
// message; nullptr when none does.
const MessageEntry* FindMessageEntry(const MessageMap* map, UINT message, WPARAM wParam,
                                     LPARAM lParam);

namespace detail {

template <typename Handler>
struct MemberOf;
template <typename Class, typename Signature>
struct MemberOf<Signature Class::*> {
    using type = Class;
};
template <auto Handler>
using HandlerClass = typename MemberOf<decltype(Handler)>::type;

}  // namespace detail

// LRESULT Class::Handler(WPARAM, LPARAM)
template <auto Handler>
constexpr MessageEntry OnMessage(UINT message) {
    return {MessageEntry::Kind::kMessage, message, 0, 0,
            [](CWnd& window, WPARAM wParam, LPARAM lParam) -> LRESULT {
                auto& self = static_cast<detail::HandlerClass<Handler>&>(window);
                return (self.*Handler)(wParam, lParam);
            }};
}

// void Class::Handler()
template <auto Handler>
constexpr MessageEntry OnCommand(UINT id) {
    return {MessageEntry::Kind::kCommand, 0, id, 0, [](CWnd& window, WPARAM, LPARAM) -> LRESULT {
                auto& self = static_cast<detail::HandlerClass<Handler>&>(window);
                (self.*Handler)();
                return 0;
            }};
}

// void Class::Handler(), for a WM_COMMAND notification code of a control
template <auto Handler>
constexpr MessageEntry OnControl(UINT id, UINT code) {
    return {MessageEntry::Kind::kControl, 0, id, code, [](CWnd& window, WPARAM, LPARAM) -> LRESULT {
                auto& self = static_cast<detail::HandlerClass<Handler>&>(window);
                (self.*Handler)();
                return 0;
            }};
}

// LRESULT Class::Handler(NMHDR&)
template <auto Handler>
constexpr MessageEntry OnNotify(UINT id, UINT code) {
    return {MessageEntry::Kind::kNotify, 0, id, code,
            [](CWnd& window, WPARAM, LPARAM lParam) -> LRESULT {
                auto& self = static_cast<detail::HandlerClass<Handler>&>(window);
                return (self.*Handler)(*reinterpret_cast<NMHDR*>(lParam));
            }};
}

}  // namespace ui
