#pragma once

// Large-buffer reuse for camera frames and their image copies.
//
// A still is 20 MB (2592 × 1936 BGRA) and its image copy as much again. glibc serves blocks of
// that size from the heap only once it has freed a mapping that large, and gives the top of the
// heap back to the kernel when more than twice that is free there. Which of the two a still's
// buffers meet depends on where earlier, unrelated allocations landed — even the size of the
// process environment moves them — and when the top is given back, every still faults its pages
// in afresh (about 15 ms of a 2 ms enhancement on one core). Fixing both thresholds makes every
// session reuse the pages of the last frames.
//
// Threads: call once from main() before other threads start.

namespace platform {

void reuseFrameMemory();

} // namespace platform
