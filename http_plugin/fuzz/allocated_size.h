// The exact size of a heap block, as AddressSanitizer recorded it, so that a
// fuzz target can check the size of a buffer that an export returned.
// Without AddressSanitizer (the replay tests of a plain build) the size is
// unknown and allocatedSize() gives 0.
#ifndef QOLT_FUZZ_ALLOCATED_SIZE_H
#define QOLT_FUZZ_ALLOCATED_SIZE_H

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define QOLT_FUZZ_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QOLT_FUZZ_ASAN 1
#endif
#endif

#ifdef QOLT_FUZZ_ASAN
// From the sanitizer runtime's allocator interface (GCC ships no header).
extern "C" size_t __sanitizer_get_allocated_size(const volatile void *p);
inline size_t allocatedSize(const void *p) { return __sanitizer_get_allocated_size(p); }
#else
inline size_t allocatedSize(const void *) { return 0; }
#endif

#endif  // QOLT_FUZZ_ALLOCATED_SIZE_H
