// A Desktop for tests: records every request in order, keeps a model of the
// tray menu items, timers, hotkeys and message boxes it was asked for, and
// never really sleeps or waits for a user.
#pragma once

#include <algorithm>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "switchlink/desktop.h"

class RecordingDesktop : public Desktop {
  public:
    struct Event {
        enum class Kind {
            Sleep,
            Check,
            Text,
            Disable,
            UpdateStatus,
            StartTimer,
            StopTimer,
            RegisterHotkey,
            UnregisterHotkey,
            MessageBox,
        };

        Kind kind = Kind::Sleep;
        // Milliseconds for Sleep; command id for the menu; the requested id for
        // StartTimer; the timer id for StopTimer; the hotkey id for
        // RegisterHotkey and UnregisterHotkey.
        unsigned value = 0;
        bool checked = false;
        std::string text{};     // menu item text, message box text
        unsigned second = 0;    // StartTimer: period; RegisterHotkey: modifiers
        unsigned third = 0;     // RegisterHotkey: key code
        std::string caption{};  // message box caption

        static Event Sleep(unsigned milliseconds) {
            return {.kind = Kind::Sleep, .value = milliseconds};
        }
        static Event Check(unsigned commandId, bool checked) {
            return {.kind = Kind::Check, .value = commandId, .checked = checked};
        }
        static Event Text(unsigned commandId, std::string text) {
            return {.kind = Kind::Text, .value = commandId, .text = std::move(text)};
        }
        static Event Disable(unsigned commandId) {
            return {.kind = Kind::Disable, .value = commandId};
        }
        static Event UpdateStatus() { return {.kind = Kind::UpdateStatus}; }
        static Event StartTimer(unsigned requestedId, unsigned periodMilliseconds) {
            return {.kind = Kind::StartTimer, .value = requestedId, .second = periodMilliseconds};
        }
        static Event StopTimer(unsigned timerId) {
            return {.kind = Kind::StopTimer, .value = timerId};
        }
        static Event RegisterHotkey(int id, unsigned modifiers, unsigned keyCode) {
            return {.kind = Kind::RegisterHotkey,
                    .value = static_cast<unsigned>(id),
                    .second = modifiers,
                    .third = keyCode};
        }
        static Event UnregisterHotkey(int id) {
            return {.kind = Kind::UnregisterHotkey, .value = static_cast<unsigned>(id)};
        }
        static Event MessageBox(std::string text, std::string caption) {
            return {
                .kind = Kind::MessageBox, .text = std::move(text), .caption = std::move(caption)};
        }

        bool operator==(const Event&) const = default;

        friend std::ostream& operator<<(std::ostream& out, const Event& event) {
            switch (event.kind) {
                case Kind::Sleep:
                    return out << "Sleep(" << event.value << ")";
                case Kind::Check:
                    return out << "Check(" << event.value << ", " << event.checked << ")";
                case Kind::Text:
                    return out << "Text(" << event.value << ", \"" << event.text << "\")";
                case Kind::Disable:
                    return out << "Disable(" << event.value << ")";
                case Kind::UpdateStatus:
                    return out << "UpdateStatus()";
                case Kind::StartTimer:
                    return out << "StartTimer(" << event.value << ", " << event.second << ")";
                case Kind::StopTimer:
                    return out << "StopTimer(" << event.value << ")";
                case Kind::RegisterHotkey:
                    return out << "RegisterHotkey(" << event.value << ", " << event.second << ", "
                               << event.third << ")";
                case Kind::UnregisterHotkey:
                    return out << "UnregisterHotkey(" << event.value << ")";
                case Kind::MessageBox:
                    return out << "MessageBox(\"" << event.text << "\", \"" << event.caption
                               << "\")";
            }
            return out;
        }
    };

    // The state of one menu item as far as requests changed it.
    struct MenuItem {
        bool checked = false;
        bool disabled = false;
        std::string text;
    };

    // A hotkey registered for the window.
    struct Hotkey {
        int id = 0;
        unsigned modifiers = 0;
        unsigned keyCode = 0;
        bool operator==(const Hotkey&) const = default;
    };

    void SleepFor(unsigned milliseconds) override {
        Record(Event::Sleep(milliseconds));
        if (onSleep) {
            onSleep(milliseconds);
        }
    }

    // Recorded as a sleep, then the reports a test queued are handed over.
    void SleepHandlingReports(unsigned milliseconds, const std::function<bool()>&) override {
        SleepFor(milliseconds);
        if (onHandleReports) {
            onHandleReports();
        }
    }

    void SetMenuItemChecked(unsigned commandId, bool checked) override {
        menu_[commandId].checked = checked;
        Record(Event::Check(commandId, checked));
    }

    void SetMenuItemText(unsigned commandId, const std::string& text) override {
        menu_[commandId].text = text;
        Record(Event::Text(commandId, text));
    }

    void DisableMenuItem(unsigned commandId) override {
        menu_[commandId].disabled = true;
        Record(Event::Disable(commandId));
    }

    void SendUpdateStatus() override {
        Record(Event::UpdateStatus());
        if (onUpdateStatus) {
            onUpdateStatus();
        }
    }

    // Gives the requested id, as the platform does for a window's timer,
    // unless the test set startTimerResult (0: the timer cannot be started).
    unsigned StartTimer(unsigned requestedId, unsigned periodMilliseconds) override {
        const unsigned id = startTimerResult.value_or(requestedId);
        if (id != 0) {
            timers_.insert(id);
        }
        Record(Event::StartTimer(requestedId, periodMilliseconds));
        return id;
    }

    void StopTimer(unsigned timerId) override {
        timers_.erase(timerId);
        Record(Event::StopTimer(timerId));
    }

    // Like the platform: a combination registered already (by this window or
    // by another program, see TakenByOtherProgram) cannot be registered again;
    // registering an id again keeps what is registered under it.
    bool RegisterHotkey(int id, unsigned modifiers, unsigned keyCode) override {
        const bool free =
            !HotkeyIdFor(modifiers, keyCode) && !taken_.contains(std::pair{modifiers, keyCode});
        if (free) {
            hotkeys_.push_back({id, modifiers, keyCode});
        }
        Record(Event::RegisterHotkey(id, modifiers, keyCode));
        return free;
    }

    void UnregisterHotkey(int id) override {
        std::erase_if(hotkeys_, [id](const Hotkey& hotkey) { return hotkey.id == id; });
        Record(Event::UnregisterHotkey(id));
    }

    std::string LoadResourceString(unsigned id) override {
        auto found = strings.find(id);
        return found == strings.end() ? std::string() : found->second;
    }

    void ShowMessageBox(const std::string& text, const std::string& caption) override {
        ++openBoxes_;
        mostBoxesOpen_ = std::max(mostBoxesOpen_, openBoxes_);
        Record(Event::MessageBox(text, caption));
        if (onMessageBox) {
            onMessageBox(text, caption);
        }
        --openBoxes_;
    }

    const std::vector<Event>& Events() const { return events_; }
    void ClearEvents() { events_.clear(); }

    // The recorded events of one kind, in order.
    std::vector<Event> EventsOf(Event::Kind kind) const {
        std::vector<Event> found;
        std::copy_if(events_.begin(), events_.end(), std::back_inserter(found),
                     [kind](const Event& event) { return event.kind == kind; });
        return found;
    }

    // The waits requested so far, in order.
    std::vector<unsigned> Sleeps() const {
        std::vector<unsigned> sleeps;
        for (const Event& event : EventsOf(Event::Kind::Sleep)) {
            sleeps.push_back(event.value);
        }
        return sleeps;
    }

    // An item never touched reads as unchecked, enabled, with no text.
    MenuItem Item(unsigned commandId) const {
        auto found = menu_.find(commandId);
        return found == menu_.end() ? MenuItem{} : found->second;
    }

    // Timers started and not stopped.
    const std::set<unsigned>& RunningTimers() const { return timers_; }

    // Hotkeys registered, in order, and the id a combination triggers.
    const std::vector<Hotkey>& Hotkeys() const { return hotkeys_; }
    std::optional<int> HotkeyIdFor(unsigned modifiers, unsigned keyCode) const {
        for (const Hotkey& hotkey : hotkeys_) {
            if (hotkey.modifiers == modifiers && hotkey.keyCode == keyCode) {
                return hotkey.id;
            }
        }
        return std::nullopt;
    }
    // The combination belongs to another program: registering it fails.
    void TakenByOtherProgram(unsigned modifiers, unsigned keyCode) {
        taken_.insert({modifiers, keyCode});
    }

    // Message boxes open now, and the most that were open at one time.
    int OpenBoxes() const { return openBoxes_; }
    int MostBoxesOpenAtOnce() const { return mostBoxesOpen_; }

    // The resource module's strings; a missing id loads as "".
    std::map<unsigned, std::string> strings;
    // What StartTimer gives back; nullopt: the requested id.
    std::optional<unsigned> startTimerResult;

    // Called after recording, to observe the caller's state at that moment:
    // onEvent for every event; onMessageBox while the box is "open", so a test
    // can run what the thread would dispatch meanwhile.
    std::function<void(const Event&)> onEvent;
    std::function<void(unsigned milliseconds)> onSleep;
    // Hands the switch's queued answers over during SleepHandlingReports.
    std::function<void()> onHandleReports;
    std::function<void()> onUpdateStatus;
    std::function<void(const std::string& text, const std::string& caption)> onMessageBox;

  private:
    void Record(const Event& event) {
        events_.push_back(event);
        if (onEvent) {
            onEvent(event);
        }
    }

    std::vector<Event> events_;
    std::map<unsigned, MenuItem> menu_;
    std::set<unsigned> timers_;
    std::vector<Hotkey> hotkeys_;
    std::set<std::pair<unsigned, unsigned>> taken_;
    int openBoxes_ = 0;
    int mostBoxesOpen_ = 0;
};
