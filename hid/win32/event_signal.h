// IowKit2Signal over a manual-reset event, for alertable and message waits.
#pragma once

#include <windows.h>

#include <memory>

#include "hid/platform.h"
#include "hid/win32/unique_handles.h"

class IowKit2EventSignal final : public IowKit2Signal {
  public:
    // A lowered signal, or nullptr when the event cannot be created.
    static std::unique_ptr<IowKit2EventSignal> Create();

    void Raise() override;
    bool IsRaised() const override;
    HANDLE Event() const { return event_.get(); }

    // The event behind a signal made by Create, or nullptr for any other kind.
    static HANDLE EventOf(IowKit2Signal& signal);

    explicit IowKit2EventSignal(iowkit2_win32::UniqueHandle event) : event_(std::move(event)) {}

  private:
    iowkit2_win32::UniqueHandle event_;
};
