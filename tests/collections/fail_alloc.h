// Allocation failure on demand: this test program's own malloc, calloc and
// realloc pass every request to the allocator underneath (the sanitizer's when
// there is one) until a test asks for failures.
#pragma once

#include <stdint.h>

namespace zt {

// While alive: the next `skip` allocations succeed, the `count` after them fail.
class FailAllocations {
public:
    explicit FailAllocations(int64_t skip = 0, int64_t count = INT64_MAX);
    ~FailAllocations();
    FailAllocations(const FailAllocations &) = delete;
    FailAllocations &operator=(const FailAllocations &) = delete;
};

}  // namespace zt
