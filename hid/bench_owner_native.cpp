#include "hid/bench_owner.h"

std::unique_ptr<BenchOwner> MakeBenchOwner() {
    return MakeOwnerLoopBenchOwner();
}
