// The benchmark's owner thread: the carrier the layer uses and how the owner
// thread dispatches. The native build uses the portable owner loop; a Windows
// build may provide the hidden-window carrier in bench_owner_win32.cpp.
#pragma once

#include <chrono>
#include <functional>
#include <memory>

#include "hid/carrier.h"

class BenchOwner {
  public:
    virtual ~BenchOwner() = default;
    virtual const char* Name() const = 0;
    virtual std::unique_ptr<IowKit2Carrier> MakeCarrier() = 0;
    // Dispatches on the calling (owner) thread until done() holds or the
    // limit passes.
    virtual bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) = 0;
};

// The build's own carrier: the owner loop natively, the window on Windows.
std::unique_ptr<BenchOwner> MakeBenchOwner();
// The portable owner loop, in every build.
std::unique_ptr<BenchOwner> MakeOwnerLoopBenchOwner();
