// Marks a row loop to be compiled once more for 256-bit vectors (AVX2); the
// processor's best version is picked when the library loads. Only for loops
// whose every version gives the same results: integer arithmetic, or
// floating point without fused multiply-add.
// The versions are chosen while the library is relocated, before a
// sanitizer's runtime has started, so sanitized builds keep the default one.
#pragma once

#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__ELF__) && \
    !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define QVX_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define QVX_VECTOR_CLONES
#endif
