// The frame assembler over a recorded device stream, in the chunks that receive events deliver.
#include <benchmark/benchmark.h>

#include "BenchStreams.h"
#include "Frames.h"

namespace {

// A quarter megabyte: several hundred automatic tests' worth of device output.
constexpr std::size_t kStreamBytes = 256 * 1024;

void BM_FrameAssembler(benchmark::State& state) {
    const mv62bench::RecordedStream stream = mv62bench::MakeRecordedStream(kStreamBytes, 62);
    mv62::FrameAssembler assembler;
    mv62::DeviceFrame latest;
    std::int64_t events = 0;
    std::int64_t applied = 0;
    for (auto _ : state) {
        for (std::span<const std::uint8_t> chunk : stream.chunks) {
            applied += assembler.Feed(chunk, latest) ? 1 : 0;
        }
        events += std::int64_t(stream.chunks.size());
        benchmark::DoNotOptimize(latest);
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(stream.bytes.size()));
    state.counters["events/s"] = benchmark::Counter(double(events), benchmark::Counter::kIsRate);
    state.counters["frames_in_stream"] = stream.framesWritten;
    state.counters["events_applying"] = double(applied) / double(state.iterations());
}
BENCHMARK(BM_FrameAssembler)->Unit(benchmark::kMicrosecond);

// The same stream with every byte in a receive event of its own: the per-call overhead.
void BM_FrameAssemblerByteByByte(benchmark::State& state) {
    const mv62bench::RecordedStream stream = mv62bench::MakeRecordedStream(kStreamBytes, 62);
    mv62::FrameAssembler assembler;
    mv62::DeviceFrame latest;
    for (auto _ : state) {
        for (std::size_t i = 0; i < stream.bytes.size(); ++i) {
            benchmark::DoNotOptimize(assembler.Feed({&stream.bytes[i], 1}, latest));
        }
    }
    state.SetBytesProcessed(state.iterations() * std::int64_t(stream.bytes.size()));
}
BENCHMARK(BM_FrameAssemblerByteByByte)->Unit(benchmark::kMicrosecond);

}  // namespace
