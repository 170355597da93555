// BMPChecker called from many threads at once gives, file for file, the bytes
// a single thread gives. The module is loaded as hosts load it, so what runs is
// the built export itself; ThreadSanitizer builds check these runs for races.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "image/BmpImage.h"
#include "tests/TestSupport.h"

#if defined(QUARVEL_MODULE_PATH) && !defined(_WIN32)
#include <dlfcn.h>
#endif

namespace quarvel {
namespace {

using test::Bytes;
using test::TempDir;
using CheckerFunction = std::int32_t (*)(const char16_t*, const char16_t*);

constexpr int kThreads = 8;

std::u16string Wide(const std::string& ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

class ConcurrencyTest : public ::testing::Test {
 protected:
  void SetUp() override {
#if defined(QUARVEL_MODULE_PATH) && !defined(_WIN32)
    module = dlopen(QUARVEL_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    checker = reinterpret_cast<CheckerFunction>(dlsym(module, "BMPChecker"));
    ASSERT_NE(checker, nullptr);
#else
    GTEST_SKIP() << "the module is loaded only in native builds";
#endif
  }

  void TearDown() override {
#if defined(QUARVEL_MODULE_PATH) && !defined(_WIN32)
    if (module != nullptr) dlclose(module);
#endif
  }

  // Inputs of every depth, of sizes whose rows need padding and whose
  // pattern is cut at the right and bottom edges.
  std::vector<std::string> MakeInputs() {
    std::vector<std::string> inputs;
    const std::int32_t sizes[][2] = {{45, 31}, {81, 2}, {7, 100}};
    for (const std::int32_t depth : {1, 4, 8, 16, 24, 32}) {
      for (const auto& size : sizes) {
        BmpImage image;
        image.SetColorDepth(depth);
        image.SetDimensions(size[0], size[1]);
        test::FillDistinct(image);
        inputs.push_back(dir.File("in-" + std::to_string(inputs.size()) + ".bmp"));
        EXPECT_TRUE(image.SaveFile(inputs.back().c_str()));
      }
    }
    return inputs;
  }

  // Paints `input` into `output` alone on this thread, as the reference.
  Bytes PaintAlone(const std::string& input, const std::string& output) {
    EXPECT_EQ(checker(Wide(input).c_str(), Wide(output).c_str()), 999);
    return test::ReadFile(output);
  }

  // Runs jobs [0, count) on kThreads threads that start together; thread t
  // takes the jobs t, t + kThreads, ... Returns each job's result.
  template <typename Job>
  std::vector<std::int32_t> RunTogether(int count, Job job) {
    std::vector<std::int32_t> results(static_cast<std::size_t>(count), 0);
    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
      threads.emplace_back([&, t] {
        while (!go.load()) std::this_thread::yield();
        for (int i = t; i < count; i += kThreads) results[static_cast<std::size_t>(i)] = job(i);
      });
    }
    go.store(true);
    for (std::thread& thread : threads) thread.join();
    return results;
  }

  TempDir dir;
  void* module = nullptr;
  CheckerFunction checker = nullptr;
};

TEST_F(ConcurrencyTest, DistinctFilesOnManyThreadsMatchOneThread) {
  const std::vector<std::string> inputs = MakeInputs();
  std::vector<Bytes> expected;
  for (const std::string& input : inputs) expected.push_back(PaintAlone(input, input + ".alone"));

  // Every input several times over, so threads overlap on different depths.
  const int rounds = 3;
  const int count = static_cast<int>(inputs.size()) * rounds;
  std::vector<std::u16string> in;
  std::vector<std::u16string> out;
  for (int i = 0; i < count; ++i) {
    const std::string& input = inputs[static_cast<std::size_t>(i) % inputs.size()];
    in.push_back(Wide(input));
    out.push_back(Wide(input + ".out" + std::to_string(i)));
  }
  const std::vector<std::int32_t> results =
      RunTogether(count, [&](int i) { return checker(in[i].c_str(), out[i].c_str()); });

  for (int i = 0; i < count; ++i) {
    SCOPED_TRACE("job " + std::to_string(i));
    EXPECT_EQ(results[i], 999);
    const std::string output(out[i].begin(), out[i].end());
    EXPECT_TRUE(test::ReadFile(output) == expected[static_cast<std::size_t>(i) % inputs.size()]);
  }
}

TEST_F(ConcurrencyTest, OneSharedInputOnManyThreadsMatchesOneThread) {
  const std::string input = MakeInputs()[2];  // 7 x 100 at 1 bit
  const Bytes expected = PaintAlone(input, dir.File("alone.bmp"));
  const int count = 4 * kThreads;
  std::vector<std::u16string> out;
  for (int i = 0; i < count; ++i)
    out.push_back(Wide(dir.File("shared-" + std::to_string(i) + ".bmp")));
  const std::u16string in = Wide(input);
  const std::vector<std::int32_t> results =
      RunTogether(count, [&](int i) { return checker(in.c_str(), out[i].c_str()); });

  for (int i = 0; i < count; ++i) {
    SCOPED_TRACE("job " + std::to_string(i));
    EXPECT_EQ(results[i], 999);
    EXPECT_TRUE(test::ReadFile(std::string(out[i].begin(), out[i].end())) == expected);
  }
  // A refused input is refused on every thread.
  const std::u16string missing = Wide(dir.File("missing.bmp"));
  const std::vector<std::int32_t> refused =
      RunTogether(kThreads, [&](int i) { return checker(missing.c_str(), out[i].c_str()); });
  for (const std::int32_t result : refused) EXPECT_EQ(result, 1);
}

}  // namespace
}  // namespace quarvel
