#pragma once
// Counts the program's allocations at operator new, which every allocation of
// ours goes through, so a test can show a path makes none. Include it in one
// source file of a test binary only: it replaces the global operator new.
#include <atomic>
#include <cstdlib>
#include <new>

namespace testing_support {
inline std::atomic<long> allocations{0};
}  // namespace testing_support

// Plain malloc and free behind new and delete; GCC cannot tell they pair.
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    testing_support::allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
