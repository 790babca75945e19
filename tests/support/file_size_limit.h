#pragma once

// Writes that fail for want of room, made on purpose: the file-size limit a shell's `ulimit -f`
// sets.

#include <sys/resource.h>

#include <functional>

namespace velmoran::test {

// Runs `action` with writes past `bytes` failing (EFBIG) instead of killing the process.
void withFileSizeLimit(rlim_t bytes, const std::function<void()>& action);

} // namespace velmoran::test
