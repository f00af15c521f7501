// Playing allocates nothing per frame: every buffer exists from the start.
// Counted at operator new, which every allocation of ours goes through.
#include <atomic>
#include <cstdlib>
#include <new>

#include "engine_harness.h"

namespace {
std::atomic<long> allocations {0};
}  // namespace

void* operator new(std::size_t size)
{
    allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

using engine_test::EngineTest;

TEST_F(EngineTest, TicksWithinASecondAllocateNothing)
{
    Open(0);
    engine->ToggleSound();
    engine->PlayForward();
    timer->Fire(3);  // first pictures through the presenter's scalers
    const long before = allocations.load();
    timer->Fire(20);
    EXPECT_EQ(allocations.load() - before, 0) << "frames 4 to 23 of the first second";
    EXPECT_EQ(engine->Position(), 0);
}

}  // namespace
