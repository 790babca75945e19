#pragma once

// Waiting in the event loop, and what the waiting thread costs meanwhile.

namespace velmoran::test {

// Runs the event loop, without spinning ourselves, for `ms` milliseconds.
void idleFor(int ms);

// CPU time this thread has used, in seconds.
double threadCpuSeconds();

} // namespace velmoran::test
