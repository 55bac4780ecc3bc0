#pragma once

#include <cstddef>

namespace tavlin::test {

// Counts the heap allocations (operator new) made by the calling thread while
// an AllocationCounting object lives on it; other threads are not counted.
class AllocationCounting {
  public:
    AllocationCounting();
    ~AllocationCounting();
    AllocationCounting(const AllocationCounting&) = delete;
    AllocationCounting& operator=(const AllocationCounting&) = delete;

    std::size_t Count() const;
};

}  // namespace tavlin::test
