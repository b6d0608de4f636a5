#pragma once

// Marks a plain loop for an AVX2 copy chosen at run time on x86-64 CPUs that have it. Not under
// ThreadSanitizer: the clones' resolver runs while the program is loaded, before the sanitizer's
// runtime is set up, and crashes there.

#if defined(__x86_64__) && !defined(__SANITIZE_THREAD__)
#define LUMIVUE_AVX2_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define LUMIVUE_AVX2_CLONES
#endif
