// Reading, writing, the checker pass and nearest-colour matching, each in
// pixels per second (items_per_second). Sides are 4096 unless the name says.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/BenchImages.h"
#include "checker/CheckerPattern.h"
#include "image/BmpImage.h"

namespace quarvel {
namespace bench {
namespace {

// A painted image at `depth`, as the checker job has it just before saving.
void PrepareImage(BmpImage& image, std::int32_t depth, std::int32_t side) {
  image.SetColorDepth(depth);
  image.SetDimensions(side, side);
  FillImage(image);
  PaintCheckerPattern(image);
}

std::string ScratchName(const char* what, std::int32_t depth, std::int32_t side) {
  return std::string(what) + "-" + std::to_string(depth) + "-" + std::to_string(side);
}

void SetPixelsProcessed(benchmark::State& state, std::int64_t pixelsPerIteration) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()) * pixelsPerIteration);
}

void BM_LoadFile(benchmark::State& state) {
  const auto depth = static_cast<std::int32_t>(state.range(0));
  const auto side = static_cast<std::int32_t>(state.range(1));
  const ScratchFile file(ScratchName("load", depth, side));
  {
    BmpImage image;
    PrepareImage(image, depth, side);
    image.SaveFile(file.Path());
  }
  for (auto _ : state) {
    BmpImage image;
    benchmark::DoNotOptimize(image.LoadFile(file.Path()));
    benchmark::ClobberMemory();
  }
  SetPixelsProcessed(state, std::int64_t{side} * side);
}

void BM_SaveFile(benchmark::State& state) {
  const auto depth = static_cast<std::int32_t>(state.range(0));
  const auto side = static_cast<std::int32_t>(state.range(1));
  const ScratchFile file(ScratchName("save", depth, side));
  BmpImage image;
  PrepareImage(image, depth, side);
  for (auto _ : state) {
    benchmark::DoNotOptimize(image.SaveFile(file.Path()));
  }
  SetPixelsProcessed(state, std::int64_t{side} * side);
}

// Load, paint and save in one process: the module's work without start-up.
void BM_CheckerJob(benchmark::State& state) {
  const auto depth = static_cast<std::int32_t>(state.range(0));
  const auto side = static_cast<std::int32_t>(state.range(1));
  const ScratchFile input(ScratchName("job-in", depth, side));
  const ScratchFile output(ScratchName("job-out", depth, side));
  {
    BmpImage image;
    image.SetColorDepth(depth);
    image.SetDimensions(side, side);
    FillImage(image);
    image.SaveFile(input.Path());
  }
  for (auto _ : state) {
    BmpImage image;
    image.LoadFile(input.Path());
    PaintCheckerPattern(image);
    benchmark::DoNotOptimize(image.SaveFile(output.Path()));
  }
  SetPixelsProcessed(state, std::int64_t{side} * side);
}

void BM_CheckerPattern(benchmark::State& state) {
  const auto side = static_cast<std::int32_t>(state.range(0));
  BmpImage image;
  image.SetDimensions(side, side);
  FillImage(image);
  for (auto _ : state) {
    PaintCheckerPattern(image);
    benchmark::ClobberMemory();
  }
  SetPixelsProcessed(state, std::int64_t{side} * side);
}

// The colours a painted indexed image holds: every palette colour, and every
// palette colour with blue and green cleared.
void BM_NearestPaletteIndex(benchmark::State& state) {
  const auto depth = static_cast<std::int32_t>(state.range(0));
  BmpImage image;
  image.SetColorDepth(depth);
  std::vector<Pixel> colours;
  for (std::int32_t i = 0; i < image.PaletteSize(); ++i) {
    Pixel colour = image.PaletteEntry(i);
    colours.push_back(colour);
    colour.blue = 0;
    colour.green = 0;
    colours.push_back(colour);
  }
  for (auto _ : state) {
    for (const Pixel& colour : colours) {
      benchmark::DoNotOptimize(image.NearestPaletteIndex(colour));
    }
  }
  SetPixelsProcessed(state, static_cast<std::int64_t>(colours.size()));
}

void AllDepths(benchmark::internal::Benchmark* benchmark) {
  for (const std::int64_t depth : {1, 4, 8, 16, 24, 32}) benchmark->Args({depth, 4096});
  benchmark->Args({24, 1024})->Args({24, 8192});
  benchmark->ArgNames({"bits", "side"})->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_LoadFile)->Apply(AllDepths);
BENCHMARK(BM_SaveFile)->Apply(AllDepths);
BENCHMARK(BM_CheckerJob)->Apply(AllDepths);
BENCHMARK(BM_CheckerPattern)->Arg(4096)->ArgName("side")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NearestPaletteIndex)->Arg(1)->Arg(4)->Arg(8)->ArgName("bits");

}  // namespace
}  // namespace bench
}  // namespace quarvel
