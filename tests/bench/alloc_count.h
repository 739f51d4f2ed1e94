// Counts heap allocations while a scope is open: malloc, calloc and realloc
// through the linker's --wrap, operator new through replacement. Link with
// alloc_count.cpp and the options of the ovt_alloc_count target.
#ifndef OVTOUCH_TESTS_BENCH_ALLOC_COUNT_H
#define OVTOUCH_TESTS_BENCH_ALLOC_COUNT_H

namespace ovt::test {

unsigned long AllocationsCounted();

class CountAllocations {
  public:
    CountAllocations();
    ~CountAllocations();
    unsigned long Count() const;

  private:
    unsigned long before_;
};

}  // namespace ovt::test

#endif
