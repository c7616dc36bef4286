// A Desktop for tests: records every request in order, keeps a model of the
// tray menu items it touched, and never really sleeps.
#pragma once

#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "app/desktop.h"

class RecordingDesktop : public Desktop {
  public:
    struct Event {
        enum class Kind { Sleep, Check, Text, Disable, UpdateStatus };

        Kind kind = Kind::Sleep;
        unsigned value = 0;  // milliseconds for Sleep, else the command id
        bool checked = false;
        std::string text;

        static Event Sleep(unsigned milliseconds) { return {Kind::Sleep, milliseconds, false, {}}; }
        static Event Check(unsigned commandId, bool checked) {
            return {Kind::Check, commandId, checked, {}};
        }
        static Event Text(unsigned commandId, std::string text) {
            return {Kind::Text, commandId, false, std::move(text)};
        }
        static Event Disable(unsigned commandId) { return {Kind::Disable, commandId, false, {}}; }
        static Event UpdateStatus() { return {Kind::UpdateStatus, 0, false, {}}; }

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

    void SleepFor(unsigned milliseconds) override {
        events_.push_back(Event::Sleep(milliseconds));
        if (onSleep) {
            onSleep(milliseconds);
        }
    }

    void SetMenuItemChecked(unsigned commandId, bool checked) override {
        events_.push_back(Event::Check(commandId, checked));
        menu_[commandId].checked = checked;
    }

    void SetMenuItemText(unsigned commandId, const std::string& text) override {
        events_.push_back(Event::Text(commandId, text));
        menu_[commandId].text = text;
    }

    void DisableMenuItem(unsigned commandId) override {
        events_.push_back(Event::Disable(commandId));
        menu_[commandId].disabled = true;
    }

    void SendUpdateStatus() override {
        events_.push_back(Event::UpdateStatus());
        if (onUpdateStatus) {
            onUpdateStatus();
        }
    }

    const std::vector<Event>& Events() const { return events_; }
    void ClearEvents() { events_.clear(); }

    // The waits requested so far, in order.
    std::vector<unsigned> Sleeps() const {
        std::vector<unsigned> sleeps;
        for (const Event& event : events_) {
            if (event.kind == Event::Kind::Sleep) {
                sleeps.push_back(event.value);
            }
        }
        return sleeps;
    }

    // An item never touched reads as unchecked, enabled, with no text.
    MenuItem Item(unsigned commandId) const {
        auto found = menu_.find(commandId);
        return found == menu_.end() ? MenuItem{} : found->second;
    }

    // Called during SleepFor and SendUpdateStatus, after recording, to observe
    // the caller's state at that moment.
    std::function<void(unsigned milliseconds)> onSleep;
    std::function<void()> onUpdateStatus;

  private:
    std::vector<Event> events_;
    std::map<unsigned, MenuItem> menu_;
};
