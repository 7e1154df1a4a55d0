#include <benchmark/benchmark.h>

// Every other file of this folder only registers benchmarks.
BENCHMARK_MAIN();
