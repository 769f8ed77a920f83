// Counts every global allocation of the test program that includes it, and
// refuses them while `refuse` is set, as an exhausted heap would. It
// replaces operator new and delete, so exactly one source file of a test
// program may include it.
#pragma once

#include <atomic>
#include <cstdlib>
#include <new>

namespace allocation_counter {
inline std::atomic<long> count{0};
inline std::atomic<bool> refuse{false};
}

void* operator new(std::size_t size)
{
    ++allocation_counter::count;
    if (allocation_counter::refuse)
        throw std::bad_alloc();
    if (void* p = std::malloc(size == 0 ? 1 : size))
        return p;
    throw std::bad_alloc();
}

// Objects made with new (std::nothrow) are freed by the same operator
// delete, so they must come from the counting malloc too.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    ++allocation_counter::count;
    return allocation_counter::refuse ? nullptr : std::malloc(size == 0 ? 1 : size);
}

// The counting operator new is malloc underneath, so free() is right here;
// GCC cannot see that.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
#pragma GCC diagnostic pop
