// The benchmarks' main: the render pools get every core, as in a program that sets its
// thread allowance at its start.

#include <benchmark/benchmark.h>

#include "render/render_pool.h"

int main(int argc, char** argv) {
    const ThreadAllowance allowance(RenderPool::CoreCount());
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) {
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
