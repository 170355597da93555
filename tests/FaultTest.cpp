// Hostile inputs and failing outputs: every one must end in a defined result,
// without a crash, a hang, or memory beyond what the image needs.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bmpio/BmpHeaders.h"
#include "checker/CheckerPattern.h"
#include "image/BmpImage.h"
#include "image/StandardPalettes.h"
#include "tests/TestSupport.h"

#if !defined(_WIN32)
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

extern char** environ;
#endif

// Sanitizer runtimes reserve terabytes of address space, so an address-space
// limit cannot measure what the library itself takes there.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUARVEL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || \
    __has_feature(memory_sanitizer)
#define QUARVEL_SANITIZED 1
#endif
#endif

namespace quarvel {
namespace {

using test::Bytes;
using test::TempDir;

constexpr std::int32_t kDepths[] = {1, 4, 8, 16, 24, 32};

// A small image whose every pixel and palette entry can be told apart from
// the white and the standard colours a damaged file falls back to.
BmpImage MakeImage(std::int32_t depth, std::int32_t width, std::int32_t height) {
  BmpImage image;
  image.SetColorDepth(depth);
  image.SetDimensions(width, height);
  for (std::int32_t i = 0; i < image.PaletteSize() && image.HasPalette(); ++i) {
    image.SetPaletteEntry(
        i, Pixel{static_cast<std::uint8_t>(i * 7 + 1), static_cast<std::uint8_t>(200 - i % 100),
                 static_cast<std::uint8_t>(i * 3 + 2), 0});
  }
  for (std::int32_t x = 0; x < width; ++x) {
    for (std::int32_t y = 0; y < height; ++y) {
      // Palette colours at the indexed depths, so a load gives them back.
      const Pixel colour = image.HasPalette()
                               ? image.PaletteEntry((x + 3 * y) % image.PaletteSize())
                               : test::Distinct(x, y);
      image.WritePixel(x, y, colour);
    }
  }
  return image;
}

// What a reader that got only `prefix` bytes of `whole`'s file must hold:
// rows and palette entries the prefix holds completely come from the file;
// entries it lacks keep the standard colour; rows it lacks stay white, except
// at 16 bits, where pixels after the end repeat the last complete word.
::testing::AssertionResult MatchesPrefix(const BmpImage& loaded, const BmpImage& whole,
                                         std::size_t prefix) {
  const std::int32_t depth = whole.ColorDepth();
  if (loaded.ColorDepth() != depth || loaded.Width() != whole.Width() ||
      loaded.Height() != whole.Height()) {
    return ::testing::AssertionFailure() << "wrong depth or size";
  }
  const std::size_t paletteBytes = whole.HasPalette()
                                       ? 4 * static_cast<std::size_t>(whole.PaletteSize())
                                   : depth == 16 ? 12
                                                 : 0;
  const Pixel* standard = StandardPalette(depth);
  for (std::int32_t i = 0; whole.HasPalette() && i < whole.PaletteSize(); ++i) {
    const bool present = 54 + 4 * static_cast<std::size_t>(i + 1) <= prefix;
    const Pixel expected = present ? whole.PaletteEntry(i) : standard[i];
    if (loaded.PaletteEntry(i) != expected) {
      return ::testing::AssertionFailure() << "palette entry " << i;
    }
  }
  const std::size_t rowSize =
      depth == 16 ? (2 * whole.Width() + 3) / 4 * 4 : (depth * whole.Width() + 31) / 32 * 4;
  Pixel last = kWhite;
  for (std::int32_t row = 0; row < whole.Height(); ++row) {
    const std::int32_t y = whole.Height() - 1 - row;
    for (std::int32_t x = 0; x < whole.Width(); ++x) {
      const std::size_t start = 54 + paletteBytes + row * rowSize;
      const std::size_t end = depth == 16 ? start + 2 * (x + 1) : start + rowSize;
      if (end <= prefix) {
        last = whole.ReadPixel(x, y);
      } else if (depth != 16) {
        last = kWhite;
      }
      if (loaded.ReadPixel(x, y) != last) {
        return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is "
                                             << ::testing::PrintToString(loaded.ReadPixel(x, y))
                                             << ", expected " << ::testing::PrintToString(last);
      }
    }
  }
  return ::testing::AssertionSuccess();
}

TEST(FaultTest, FileCutAtEveryOffsetLoadsWhatArrived) {
  TempDir dir;
  const std::string path = dir.File("cut.bmp");
  for (const std::int32_t depth : kDepths) {
    SCOPED_TRACE("depth " + std::to_string(depth));
    // Width 5 leaves pad bytes in every row at every depth but 32.
    const BmpImage original = MakeImage(depth, 5, 3);
    const Bytes file = test::SaveBytes(original);
    BmpImage whole;
    ASSERT_TRUE(test::LoadBytes(whole, file));
    for (std::size_t length = 0; length <= file.size(); ++length) {
      SCOPED_TRACE("first " + std::to_string(length) + " bytes");
      test::WriteFile(path,
                      Bytes(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(length)));
      BmpImage image;
      const bool loaded = image.LoadFile(path.c_str());
      if (length < 54) {
        // Not even the headers: the reader's refusal, a white 1 x 1 at 1 bit.
        ASSERT_FALSE(loaded);
        ASSERT_TRUE(test::ImageIs(image, 1, 1, 1, {{0, 0, kWhite}}));
      } else {
        ASSERT_TRUE(loaded);
        ASSERT_TRUE(MatchesPrefix(image, whole, length));
      }
    }
  }
}

#if !defined(_WIN32)

// Headers that ask for more memory than any image may have are refused before
// anything is allocated.
struct HugeHeader {
  const char* name;
  std::int32_t width;
  std::int32_t height;
  std::uint16_t depth;
  // Within the pixel bound: refused only because the memory limit below
  // makes the allocation fail, which needs that limit to be in force.
  bool refusedOnlyUnderLimit;
};

const HugeHeader kHugeHeaders[] = {
    {"3000000 x 2000000 at 24 bits", 3000000, 2000000, 24, false},
    {"30000 x 30000 at 24 bits", 30000, 30000, 24, false},
    {"30000 x 30000 at 1 bit", 30000, 30000, 1, false},
    {"one pixel past the bound", 16384, 16385, 8, false},
    {"a row whose size passes 32 bits", 134217728, 1, 32, false},
    {"2^28 pixels, 1 GiB of storage", 16384, 16384, 24, true},
};

// Runs `body` in a child process, which ends with its result or is killed
// after `seconds`; true when the child exited normally with `body` true.
// `addressSpace` (bytes, 0 for none) caps the child's memory.
::testing::AssertionResult InChild(const std::function<bool()>& body, unsigned seconds,
                                   rlim_t addressSpace = 0) {
  std::fflush(nullptr);  // or the child's exit may print the parent's buffers again
  const pid_t child = fork();
  if (child < 0) return ::testing::AssertionFailure() << "fork failed";
  if (child == 0) {
    alarm(seconds);
    if (addressSpace != 0) {
      const rlimit limit{addressSpace, addressSpace};
      if (setrlimit(RLIMIT_AS, &limit) != 0) _exit(3);
    }
    _exit(body() ? 0 : 1);
  }
  int status = 0;
  if (waitpid(child, &status, 0) != child) return ::testing::AssertionFailure() << "waitpid";
  if (WIFSIGNALED(status)) {
    return ::testing::AssertionFailure() << "child killed by signal " << WTERMSIG(status)
                                         << (WTERMSIG(status) == SIGALRM ? " (hung)" : "");
  }
  if (WEXITSTATUS(status) != 0) {
    return ::testing::AssertionFailure() << "child exited with " << WEXITSTATUS(status);
  }
  return ::testing::AssertionSuccess();
}

#if !defined(QUARVEL_SANITIZED)
// Whether an address-space limit makes allocations fail. qemu's user-mode
// emulator, which runs the ARM and s390x suites, accepts the limit but does
// not enforce it.
bool LimitIsEnforced(rlim_t addressSpace) {
  return static_cast<bool>(InChild(
      [&] {
        void* volatile probe = std::malloc(static_cast<std::size_t>(2 * addressSpace));
        const bool refused = probe == nullptr;
        std::free(probe);
        return refused;
      },
      10, addressSpace));
}
#endif

TEST(FaultTest, HugeDeclaredSizesAreRefusedWithLittleMemory) {
  TempDir dir;
  for (const HugeHeader& huge : kHugeHeaders) {
    SCOPED_TRACE(huge.name);
#if defined(QUARVEL_SANITIZED)
    if (huge.refusedOnlyUnderLimit) continue;
    const rlim_t limit = 0;
#else
    // The test process is small; the image would need far more than this.
    const rlim_t limit = rlim_t{256} << 20;
    if (huge.refusedOnlyUnderLimit && !LimitIsEnforced(limit)) continue;
#endif
    test::HeaderFields fields;
    fields.width = huge.width;
    fields.height = huge.height;
    fields.bitCount = huge.depth;
    fields.offBits = huge.depth <= 8 ? 54 + (4u << huge.depth) : 54;
    const std::string path = dir.File("huge.bmp");
    test::WriteFile(path, test::Headers(fields).Get());
    EXPECT_TRUE(InChild(
        [&] {
          BmpImage image;
          return !image.LoadFile(path.c_str()) && image.Width() == 1 && image.Height() == 1 &&
                 image.ColorDepth() == 1;
        },
        60, limit));
  }
}

// Runs a program with its output discarded; its exit status, or -1 when it
// did not exit normally.
int RunProgram(const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

// Output places that cannot take a file, for root as for anyone: a full
// device, a folder that is a regular file, a missing folder, and /proc.
std::vector<std::string> UnwritablePaths(const TempDir& dir) {
  test::WriteFile(dir.File("plain-file"), Bytes{1, 2, 3});
  std::vector<std::string> paths = {dir.File("plain-file") + "/out.bmp",
                                    dir.File("missing") + "/out.bmp", "/proc/quarvel-out.bmp"};
  if (test::FileExists("/dev/full")) paths.push_back("/dev/full");
  return paths;
}

TEST(FaultTest, SaveFileReportsOutputsThatCannotBeWritten) {
  TempDir dir;
  for (const std::string& path : UnwritablePaths(dir)) {
    for (const std::int32_t depth : kDepths) {
      SCOPED_TRACE(path + " at " + std::to_string(depth) + " bits");
      // A small image fails only when the stream is flushed at the close, a
      // large one already in the row writes.
      EXPECT_FALSE(MakeImage(depth, 3, 2).SaveFile(path.c_str()));
      EXPECT_FALSE(MakeImage(depth, 300, 200).SaveFile(path.c_str()));
    }
  }
  EXPECT_TRUE(test::ReadFile(dir.File("plain-file")) == (Bytes{1, 2, 3}));
}

TEST(FaultTest, SaveFileIntoAReadOnlyFolderFails) {
  if (geteuid() == 0) {
    GTEST_SKIP() << "root writes into read-only folders; the unwritable-path test covers root";
  }
  TempDir dir;
  const std::string folder = dir.File("read-only");
  ASSERT_EQ(mkdir(folder.c_str(), 0555), 0);
  EXPECT_FALSE(MakeImage(24, 3, 2).SaveFile((folder + "/out.bmp").c_str()));
  chmod(folder.c_str(), 0755);
}

// An input whose bytes come through a named pipe, from a writer that sends
// `bytes` and closes: the reader must finish, never wait for more.
::testing::AssertionResult LoadThroughFifo(const Bytes& bytes, bool expectLoaded,
                                           const BmpImage* expected) {
  TempDir dir;
  const std::string fifo = dir.File("pipe.bmp");
  if (mkfifo(fifo.c_str(), 0600) != 0) return ::testing::AssertionFailure() << "mkfifo";
  std::fflush(nullptr);
  const pid_t writer = fork();
  if (writer == 0) {
    const int fd = open(fifo.c_str(), O_WRONLY);
    std::size_t done = 0;
    while (fd >= 0 && done < bytes.size()) {
      const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
      if (wrote <= 0) break;
      done += static_cast<std::size_t>(wrote);
    }
    _exit(fd >= 0 && done == bytes.size() ? 0 : 1);
  }
  const ::testing::AssertionResult result = InChild(
      [&] {
        BmpImage image;
        if (image.LoadFile(fifo.c_str()) != expectLoaded) return false;
        return expected == nullptr || static_cast<bool>(test::SamePixels(image, *expected));
      },
      20);
  // A reader that never opened the pipe would leave the writer blocked.
  kill(writer, SIGKILL);
  waitpid(writer, nullptr, 0);
  return result;
}

TEST(FaultTest, InputsThatAreNotRegularFilesEndWithoutHanging) {
  TempDir dir;
  BmpImage fromFolder;
  EXPECT_FALSE(fromFolder.LoadFile(dir.Path().c_str()));
  EXPECT_TRUE(test::ImageIs(fromFolder, 1, 1, 1));
  // Whether a folder opens at all is the platform's affair; nothing is read.
  const std::uint16_t type = ReadFileHeaderOf(dir.Path().c_str()).bfType;
  EXPECT_TRUE(type == 0 || type == kBmpSignature);
  EXPECT_EQ(ColorDepthOf(dir.Path().c_str()), BmpInfoHeader().biBitCount);

  const Bytes card = test::SaveBytes(MakeImage(24, 60, 40));
  BmpImage fromFile;
  ASSERT_TRUE(test::LoadBytes(fromFile, card));
  EXPECT_TRUE(LoadThroughFifo(card, true, &fromFile));
  EXPECT_TRUE(LoadThroughFifo(Bytes{}, false, nullptr));
}

#if defined(QUARVEL_BMPCHECKER_PATH)

TEST(FaultTest, HostReportsOutputsThatCannotBeWritten) {
  TempDir dir;
  const std::string input = dir.File("in.bmp");
  ASSERT_TRUE(MakeImage(8, 30, 20).SaveFile(input.c_str()));
  for (const std::string& output : UnwritablePaths(dir)) {
    SCOPED_TRACE(output);
    EXPECT_EQ(RunProgram({QUARVEL_BMPCHECKER_PATH, input, output}), 2);
  }
}

TEST(FaultTest, HostReportsInputsThatCannotBeReadAndTouchesNoOutput) {
  TempDir dir;
  const std::string notBmp = dir.File("not.bmp");
  test::WriteFile(notBmp, Bytes{'P', '6', '\n', '1', ' ', '1'});
  const std::string existing = dir.File("existing.bmp");
  test::WriteFile(existing, Bytes{7, 7, 7});
  for (const std::string& input : {notBmp, dir.File("missing.bmp"), dir.Path().string()}) {
    SCOPED_TRACE(input);
    EXPECT_EQ(RunProgram({QUARVEL_BMPCHECKER_PATH, input, dir.File("new.bmp")}), 1);
    EXPECT_FALSE(test::FileExists(dir.File("new.bmp")));
    EXPECT_EQ(RunProgram({QUARVEL_BMPCHECKER_PATH, input, existing}), 1);
    EXPECT_TRUE(test::ReadFile(existing) == (Bytes{7, 7, 7}));
  }
  // The same path twice: a failed read must not cost the file.
  EXPECT_EQ(RunProgram({QUARVEL_BMPCHECKER_PATH, notBmp, notBmp}), 1);
  EXPECT_TRUE(test::ReadFile(notBmp) == (Bytes{'P', '6', '\n', '1', ' ', '1'}));
}

TEST(FaultTest, HostPaintsAFileOverItself) {
  TempDir dir;
  for (const std::int32_t depth : {8, 24}) {
    SCOPED_TRACE(std::to_string(depth) + " bits");
    const std::string path = dir.File("self.bmp");
    BmpImage painted = MakeImage(depth, 45, 50);
    ASSERT_TRUE(painted.SaveFile(path.c_str()));
    // The input is read and closed before the output is opened.
    ASSERT_TRUE(painted.LoadFile(path.c_str()));
    PaintCheckerPattern(painted);
    ASSERT_EQ(RunProgram({QUARVEL_BMPCHECKER_PATH, path, path}), 0);
    EXPECT_TRUE(test::ReadFile(path) == test::SaveBytes(painted));
  }
}

#endif  // QUARVEL_BMPCHECKER_PATH
#endif  // !_WIN32

}  // namespace
}  // namespace quarvel
