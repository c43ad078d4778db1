#include "scan/probeframe.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <new>

using namespace keelwatch;

namespace {

// Counts heap allocations so the benchmark can show that building a frame
// allocates nothing.
std::size_t allocations = 0;

} // namespace

void *operator new(std::size_t size)
{
    ++allocations;
    if (void *p = std::malloc(size))
        return p;
    throw std::bad_alloc();
}

void operator delete(void *p) noexcept
{
    std::free(p);
}
void operator delete(void *p, std::size_t) noexcept
{
    std::free(p);
}

namespace {

void BM_BuildProbeFrame(benchmark::State &state)
{
    const MacBytes destination{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE};
    const MacBytes source{0x00, 0x11, 0x22, 0x33, 0x44, 0x53};
    const auto format = state.range(0) ? FrameFormat::Ieee8023 : FrameFormat::Ethernet2;
    ProbeFrame frame;
    std::uint32_t target = 0xC0A80001;
    const std::size_t before = allocations;
    for (auto _ : state) {
        BuildProbeFrame(frame, destination, source, 0xC0A80001, target++, format);
        benchmark::DoNotOptimize(frame);
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["allocs_per_frame"] =
        double(allocations - before) /
        double(std::max<benchmark::IterationCount>(1, state.iterations()));
}
BENCHMARK(BM_BuildProbeFrame)->Arg(0)->Arg(1)->ArgName("ieee8023");

// The text form that the settings hold, for comparison.
void BM_BuildProbeFrameFromText(benchmark::State &state)
{
    const QString destination = QStringLiteral("FF FF FF FF FF FE");
    const QString source = QStringLiteral("00 11 22 33 44 53");
    const QString own = QStringLiteral("192.168.0.1");
    const QString target = QStringLiteral("192.168.0.20");
    for (auto _ : state)
        benchmark::DoNotOptimize(
            BuildProbeFrame(destination, source, own, target, FrameFormat::Ethernet2));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_BuildProbeFrameFromText);

} // namespace

BENCHMARK_MAIN();
