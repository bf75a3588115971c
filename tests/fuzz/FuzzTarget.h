#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// A fuzz target is libFuzzer's entry point in the fuzz build; in the test
// build, which replays the stored corpus through every target, it is a plain
// function named after the target.
#ifdef TESSARO_FUZZ_REPLAY
#define FUZZ_TARGET(name) int fuzz_##name(const uint8_t* data, size_t size)
#else
#define FUZZ_TARGET(name) extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
#endif

// A broken promise of the code under test is said, then aborts: the fuzzer
// and the replaying test both report it as a finding.
[[noreturn]] inline void fuzz_broken(const char* file, int line, const char* what)
{
    std::fprintf(stderr, "%s:%d: broken: %s\n", file, line, what);
    std::abort();
}
#define FUZZ_CHECK(cond) ((cond) ? void() : fuzz_broken(__FILE__, __LINE__, #cond))
