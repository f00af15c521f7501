// Playing allocates nothing per frame: every buffer exists from the start.
// Counted at operator new, which every allocation of ours goes through.
#include "engine_harness.h"
#include "support/allocation_counter.h"

namespace {

using engine_test::EngineTest;

TEST_F(EngineTest, TicksWithinASecondAllocateNothing)
{
    Open(0);
    engine->ToggleSound();
    engine->PlayForward();
    timer->Fire(3);  // first pictures through the presenter's scalers
    const long before = testing_support::allocations.load();
    timer->Fire(20);
    EXPECT_EQ(testing_support::allocations.load() - before, 0) << "frames 4 to 23 of the first second";
    EXPECT_EQ(engine->Position(), 0);
}

}  // namespace
