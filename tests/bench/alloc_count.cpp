#include "alloc_count.h"

#include <cstddef>
#include <cstdlib>
#include <new>

namespace {
thread_local bool g_counting = false;
thread_local unsigned long g_count = 0;

inline void Note() {
    if (g_counting) ++g_count;
}
}  // namespace

extern "C" {
void* __real_malloc(size_t);
void* __real_calloc(size_t, size_t);
void* __real_realloc(void*, size_t);
void* __wrap_malloc(size_t n) {
    Note();
    return __real_malloc(n);
}
void* __wrap_calloc(size_t n, size_t m) {
    Note();
    return __real_calloc(n, m);
}
void* __wrap_realloc(void* p, size_t n) {
    Note();
    return __real_realloc(p, n);
}
}

// Operator new may live in the shared C++ runtime, out of --wrap's reach.
void* operator new(size_t n) {
    Note();
    if (void* p = __real_malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new(size_t n, const std::nothrow_t&) noexcept {
    Note();
    return __real_malloc(n ? n : 1);
}
void* operator new[](size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }

namespace ovt::test {

unsigned long AllocationsCounted() { return g_count; }

CountAllocations::CountAllocations() : before_(g_count) { g_counting = true; }
CountAllocations::~CountAllocations() { g_counting = false; }
unsigned long CountAllocations::Count() const { return g_count - before_; }

}  // namespace ovt::test
