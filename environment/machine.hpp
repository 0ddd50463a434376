// What the machine offers a run: memory and processor cores.
#pragma once

#include <cstdint>

namespace xk {

// The memory this process may use, in bytes: the machine's physical memory,
// or the limit of the control group it runs in when that is smaller.
// 0 when neither can be read.
std::uint64_t usable_memory_bytes();

// The number of threads for a request of `requested`: the request itself,
// or for 0 one per processor core this process may run on (at least 1).
unsigned thread_count(unsigned requested);

}  // namespace xk
