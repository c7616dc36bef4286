#include "hid/win32/event_signal.h"

std::unique_ptr<IowKit2EventSignal> IowKit2EventSignal::Create() {
    iowkit2_win32::UniqueHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (!event) {
        return nullptr;
    }
    return std::make_unique<IowKit2EventSignal>(std::move(event));
}

void IowKit2EventSignal::Raise() {
    SetEvent(event_.get());
}

bool IowKit2EventSignal::IsRaised() const {
    return WaitForSingleObject(event_.get(), 0) == WAIT_OBJECT_0;
}

HANDLE IowKit2EventSignal::EventOf(IowKit2Signal& signal) {
    auto* eventSignal = dynamic_cast<IowKit2EventSignal*>(&signal);
    return eventSignal ? eventSignal->Event() : nullptr;
}
