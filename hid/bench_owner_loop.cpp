#include "hid/bench_owner.h"
#include "hid/owner_loop.h"

namespace {

class OwnerLoopBenchOwner final : public BenchOwner {
  public:
    const char* Name() const override { return "owner loop"; }
    std::unique_ptr<IowKit2Carrier> MakeCarrier() override { return loop_->MakeCarrier(); }
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) override {
        return loop_->RunUntil(done, limit);
    }

  private:
    std::shared_ptr<IowKit2OwnerLoop> loop_ = IowKit2OwnerLoop::Make();
};

}  // namespace

std::unique_ptr<BenchOwner> MakeOwnerLoopBenchOwner() {
    return std::make_unique<OwnerLoopBenchOwner>();
}
