// An UpgradeView for tests: records what the upgrade showed, in order, and
// answers questions as scripted.
#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "firmware/upgrade_view.h"

class RecordingUpgradeView : public UpgradeView {
  public:
    struct Event {
        enum class Kind {
            Range,
            Position,
            Version,
            Message,
            TransferStarting,
            TransferEnded,
            TransferFinished,
        };

        Kind kind = Kind::Position;
        int value = 0;       // Range: the highest position; Position: the position
        std::string text{};  // Version: the version; Message: the text
        std::string caption{};
        MessageKind messageKind = MessageKind::Ok;

        static Event Range(int highest) { return {.kind = Kind::Range, .value = highest}; }
        static Event Position(int position) { return {.kind = Kind::Position, .value = position}; }
        static Event Version(std::string version) {
            return {.kind = Kind::Version, .text = std::move(version)};
        }
        static Event Message(std::string text, MessageKind kind,
                             std::string caption = "Firmware Upgrade") {
            return {.kind = Kind::Message,
                    .text = std::move(text),
                    .caption = std::move(caption),
                    .messageKind = kind};
        }
        static Event TransferStarting() { return {.kind = Kind::TransferStarting}; }
        static Event TransferEnded() { return {.kind = Kind::TransferEnded}; }
        static Event TransferFinished() { return {.kind = Kind::TransferFinished}; }

        bool operator==(const Event&) const = default;

        friend std::ostream& operator<<(std::ostream& out, const Event& event) {
            switch (event.kind) {
                case Kind::Range:
                    return out << "Range(0, " << event.value << ")";
                case Kind::Position:
                    return out << "Position(" << event.value << ")";
                case Kind::Version:
                    return out << "Version(\"" << event.text << "\")";
                case Kind::Message:
                    return out << "Message(\"" << event.text << "\", \"" << event.caption << "\", "
                               << static_cast<int>(event.messageKind) << ")";
                case Kind::TransferStarting:
                    return out << "TransferStarting()";
                case Kind::TransferEnded:
                    return out << "TransferEnded()";
                case Kind::TransferFinished:
                    return out << "TransferFinished()";
            }
            return out;
        }
    };

    void SetProgressRange(int lowest, int highest) override {
        lowest_ = lowest;
        Record(Event::Range(highest));
    }
    void SetProgressPosition(int position) override { Record(Event::Position(position)); }
    void ShowVersion(const std::string& version) override { Record(Event::Version(version)); }
    Answer ShowMessage(const std::string& text, const std::string& caption,
                       MessageKind kind) override {
        Record(Event::Message(text, kind, caption));
        if (onMessage) {
            onMessage(text);
        }
        return kind == MessageKind::YesNo ? answer : Answer::Ok;
    }
    void TransferStarting() override { Record(Event::TransferStarting()); }
    void TransferEnded() override { Record(Event::TransferEnded()); }
    void TransferFinished() override { Record(Event::TransferFinished()); }

    const std::vector<Event>& Events() const { return events_; }
    void ClearEvents() { events_.clear(); }
    // The events of one kind, in order.
    std::vector<Event> EventsOf(Event::Kind kind) const {
        std::vector<Event> found;
        for (const Event& event : events_) {
            if (event.kind == kind) {
                found.push_back(event);
            }
        }
        return found;
    }
    // The lowest position of the last range set.
    int Lowest() const { return lowest_; }

    // What the user answers to a question.
    Answer answer = Answer::No;
    // Called while a message box is "open", to act as the thread would.
    std::function<void(const std::string& text)> onMessage;

  private:
    void Record(Event event) { events_.push_back(std::move(event)); }

    std::vector<Event> events_;
    int lowest_ = 0;
};
