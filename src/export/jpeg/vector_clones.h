#pragma once
// Hot loops are written plainly so that the compiler vectorises them; on
// x86-64 they are also compiled for AVX2 and picked at load time when the
// processor has it.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(__SANITIZE_ADDRESS__)
#define JPEG_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define JPEG_VECTOR_CLONES
#endif
