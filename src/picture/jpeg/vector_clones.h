#pragma once
// Hot loops are written plainly so that the compiler vectorises them; on
// x86-64 they are also compiled for AVX2 and picked at load time when the
// processor has it. Not under the sanitizers: their run-time is not up yet
// when the loader runs the clone resolvers.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define JPEG_NO_CLONES
#endif
#if defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define JPEG_NO_CLONES
#endif
#endif
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(JPEG_NO_CLONES)
#define JPEG_VECTOR_CLONES __attribute__((target_clones("avx2", "default")))
#else
#define JPEG_VECTOR_CLONES
#endif
