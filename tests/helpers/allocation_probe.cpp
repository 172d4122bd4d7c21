#include "helpers/allocation_probe.h"

#include <atomic>
#include <cstdlib>
#include <new>

// Replacing the global operator new and delete for the whole test program: the probe must
// see every allocation, including those made inside the library under test. Everything else
// behaves as the default (malloc and free underneath).

namespace {
std::atomic<size_t> largest{0};

void* Allocate(size_t size) {
    size_t seen = largest.load(std::memory_order_relaxed);
    while (size > seen && !largest.compare_exchange_weak(seen, size, std::memory_order_relaxed)) {
    }
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) throw std::bad_alloc();
    return p;
}
}  // namespace

void ResetLargestAllocation() { largest.store(0); }
size_t LargestAllocation() { return largest.load(); }

void* operator new(size_t size) { return Allocate(size); }
void* operator new[](size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
