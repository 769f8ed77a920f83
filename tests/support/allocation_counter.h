// Counts global allocations, refusing them while `refuse` is set; one source file per program only.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

namespace allocation_counter {
inline std::atomic<long> count{0};
inline std::atomic<bool> refuse{false};
}  // namespace allocation_counter

void* operator new(std::size_t size)
{
    ++allocation_counter::count;
    if (void* p = allocation_counter::refuse ? nullptr : std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

// Objects made with new (std::nothrow) go through the same delete.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    ++allocation_counter::count;
    return allocation_counter::refuse ? nullptr : std::malloc(size == 0 ? 1 : size);
}

// malloc underneath, which GCC cannot see.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept
{
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}
#pragma GCC diagnostic pop
