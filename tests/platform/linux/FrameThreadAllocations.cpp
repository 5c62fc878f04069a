// Counts the allocations made on display clock threads, where frames run; in a
// file of its own so the replaced operators are not inlined into the tests.
#include <sys/prctl.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {
std::atomic<long> count{0};
bool onDisplayClockThread() {
    char name[16] = {};
    prctl(PR_GET_NAME, name);
    return std::strcmp(name, "gm-displaylink") == 0;
}
}  // namespace

long frameThreadAllocations() { return count.load(); }

void* operator new(std::size_t size) {
    if (onDisplayClockThread()) count.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
