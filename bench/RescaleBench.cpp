// RescaleImage from 4096 x 4096 to 8192 x 8192, in output pixels per second.
#include <benchmark/benchmark.h>

#include <cstdint>

#include "bench/BenchImages.h"
#include "image/BmpImage.h"
#include "transform/Rescale.h"

namespace quarvel {
namespace bench {
namespace {

void BM_RescaleImage(benchmark::State& state) {
  const auto from = static_cast<std::int32_t>(state.range(0));
  const auto to = static_cast<std::int32_t>(state.range(1));
  BmpImage source;
  source.SetDimensions(from, from);
  FillImage(source);
  for (auto _ : state) {
    // The rescale works in place, so every round starts from a fresh copy.
    state.PauseTiming();
    BmpImage image(source);
    state.ResumeTiming();
    benchmark::DoNotOptimize(RescaleImage(image, 'W', to));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * to * to);
}

BENCHMARK(BM_RescaleImage)
    ->Args({4096, 8192})
    ->ArgNames({"from", "to"})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace bench
}  // namespace quarvel
