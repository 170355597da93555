// BMPChecker as hosts call it: the built module loaded at run time, and the
// UTF-16 path conversion in front of the file layer.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "checker/CheckerPattern.h"
#include "image/BmpImage.h"
#include "platform/PathConversion.h"
#include "tests/TestSupport.h"

namespace quarvel {
namespace {

using test::Bytes;
using test::FileExists;
using test::TempDir;

std::u16string Wide(const std::string& utf8) {
  std::u16string wide;
  EXPECT_TRUE(Utf8ToUtf16(utf8, wide)) << utf8;
  return wide;
}

class ModuleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!module.skip.empty()) GTEST_SKIP() << module.skip;
    ASSERT_TRUE(module.error.empty()) << module.error;
    checker = module.entry;
  }

  std::int32_t Check(const std::string& input, const std::string& output) {
    return checker(Wide(input).c_str(), Wide(output).c_str());
  }

  // What BMPChecker must write for `input`: the file as loaded, painted, saved.
  static Bytes ExpectedOutput(const std::string& input, const TempDir& dir) {
    BmpImage image;
    EXPECT_TRUE(image.LoadFile(input.c_str()));
    PaintCheckerPattern(image);
    const std::string path = dir.File("expected.bmp");
    EXPECT_TRUE(image.SaveFile(path.c_str()));
    return test::ReadFile(path);
  }

  static std::string WriteInput(const TempDir& dir, std::int32_t depth, std::int32_t width,
                                std::int32_t height, const std::string& name = "input.bmp") {
    BmpImage image;
    EXPECT_TRUE(image.SetColorDepth(depth));
    EXPECT_TRUE(image.SetDimensions(width, height));
    test::FillDistinct(image);
    image.xPelsPerMeter = 2000 + depth;
    const std::string path = dir.File(name);
    EXPECT_TRUE(image.SaveFile(path.c_str()));
    return path;
  }

  test::CheckerModule module;
  test::CheckerFunction checker = nullptr;
};

TEST_F(ModuleTest, EveryDepthIsPaintedAndWrittenAtItsOwnDepth) {
  for (const std::int32_t depth : {1, 4, 8, 16, 24, 32}) {
    SCOPED_TRACE(depth);
    TempDir dir;
    const std::string input = WriteInput(dir, depth, 45, 43);
    const std::string output = dir.File("output.bmp");
    ASSERT_EQ(Check(input, output), 999);
    EXPECT_EQ(test::ReadFile(output), ExpectedOutput(input, dir));
    BmpImage painted;
    ASSERT_TRUE(painted.LoadFile(output.c_str()));
    EXPECT_EQ(painted.ColorDepth(), depth);
    EXPECT_EQ(painted.Width(), 45);
    EXPECT_EQ(painted.Height(), 43);
    EXPECT_EQ(painted.xPelsPerMeter, 2000 + depth);
    if (depth >= 24) {
      const Pixel corner = painted.ReadPixel(0, 0);
      EXPECT_EQ(corner.blue, 0);
      EXPECT_EQ(corner.green, 0);
      EXPECT_EQ(corner.red, test::Distinct(0, 0).red);
      EXPECT_EQ(
          painted.ReadPixel(30, 5),
          (Pixel{test::Distinct(30, 5).blue, test::Distinct(30, 5).green, test::Distinct(30, 5).red,
                 depth == 32 ? test::Distinct(30, 5).alpha : std::uint8_t{0}}));
    }
  }
}

// A refused input leaves the output alone: not created, or not changed.
TEST_F(ModuleTest, UnreadableInputReturnsOneAndTouchesNoOutput) {
  TempDir dir;
  const std::string notBmp = dir.File("not.bmp");
  test::WriteFile(notBmp, Bytes{'P', '6', '\n', '1', ' ', '1', '\n'});
  const std::string topDown = dir.File("top-down.bmp");
  test::HeaderFields fields;
  fields.height = -1;
  test::WriteFile(topDown, test::Headers(fields).Append({1, 2, 3, 0}).Get());
  const std::string empty = dir.File("empty.bmp");
  test::WriteFile(empty, {});
  const std::string existing = dir.File("existing.bmp");
  test::WriteFile(existing, Bytes{1, 2, 3});

  for (const std::string& input : {notBmp, topDown, empty, dir.File("absent.bmp")}) {
    SCOPED_TRACE(input);
    EXPECT_EQ(Check(input, dir.File("new.bmp")), 1);
    EXPECT_FALSE(FileExists(dir.File("new.bmp")));
    EXPECT_EQ(Check(input, existing), 1);
    EXPECT_EQ(test::ReadFile(existing), (Bytes{1, 2, 3}));
  }
}

// A 54-byte file declaring 30000 x 30000 pixels is refused before any
// storage is asked for.
TEST_F(ModuleTest, HugeDeclaredSizeIsRefusedWithoutOutput) {
  TempDir dir;
  test::HeaderFields fields;
  fields.width = 30000;
  fields.height = 30000;
  const std::string input = dir.File("huge.bmp");
  test::WriteFile(input, test::Headers(fields).Get());
  ASSERT_EQ(test::ReadFile(input).size(), 54u);
  EXPECT_EQ(Check(input, dir.File("out.bmp")), 1);
  EXPECT_FALSE(FileExists(dir.File("out.bmp")));
}

TEST_F(ModuleTest, NullPathsAreFailedOpens) {
  TempDir dir;
  const std::string input = WriteInput(dir, 24, 3, 3);
  EXPECT_EQ(checker(nullptr, Wide(dir.File("out.bmp")).c_str()), 1);
  EXPECT_EQ(checker(nullptr, nullptr), 1);
  EXPECT_EQ(checker(Wide(input).c_str(), nullptr), 999);
  EXPECT_FALSE(FileExists(dir.File("out.bmp")));
}

// The save's failure is not reported through the result: hosts rely on the
// two values. The output simply is not there (or is short).
TEST_F(ModuleTest, UnwritableOutputStillReturns999) {
  TempDir dir;
  const std::string input = WriteInput(dir, 8, 50, 50);
  EXPECT_EQ(Check(input, dir.File("missing/out.bmp")), 999);
  EXPECT_FALSE(FileExists(dir.File("missing")));
  if (FileExists("/dev/full")) {
    EXPECT_EQ(Check(input, "/dev/full"), 999);
  }
}

// The input is closed before the output is opened, so one path can be both.
TEST_F(ModuleTest, SamePathIsReplacedByThePaintedImage) {
  TempDir dir;
  const std::string path = WriteInput(dir, 24, 50, 50);
  const Bytes expected = ExpectedOutput(path, dir);
  ASSERT_NE(test::ReadFile(path), expected);
  EXPECT_EQ(Check(path, path), 999);
  EXPECT_EQ(test::ReadFile(path), expected);
}

#ifndef _WIN32
// Paths are UTF-16 on the way in and UTF-8 on the way to the file system.
TEST_F(ModuleTest, NonAsciiPathsOpen) {
  TempDir dir;
  const std::string name = "\xC3\x9Cn\xC3\xAF \xE2\x82\xAC \xF0\x9F\x98\x80";  // Üï € 😀
  const std::string input = WriteInput(dir, 4, 20, 20, name + " in.bmp");
  const std::string output = dir.File(name + " out.bmp");
  ASSERT_EQ(Check(input, output), 999);
  EXPECT_EQ(test::ReadFile(output), ExpectedOutput(input, dir));
}

// An unpaired surrogate cannot be converted: the path becomes empty, which
// no file system opens.
TEST_F(ModuleTest, UnpairedSurrogatePathsFailToOpen) {
  TempDir dir;
  const std::string input = WriteInput(dir, 24, 4, 4);
  std::u16string badOutput = Wide(dir.File("out"));
  badOutput.push_back(0xD800);
  EXPECT_EQ(checker(Wide(input).c_str(), badOutput.c_str()), 999);
  std::u16string badInput = Wide(input);
  badInput.insert(badInput.begin() + 1, static_cast<char16_t>(0xDC00));
  EXPECT_EQ(checker(badInput.c_str(), Wide(dir.File("out.bmp")).c_str()), 1);
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) {
    names.push_back(entry.path().filename().string());
  }
  EXPECT_EQ(names, std::vector<std::string>{"input.bmp"});
}
#endif

#ifndef _WIN32
TEST(PathConversionTest, WidePathsBecomeUtf8) {
  const struct {
    std::u16string wide;
    std::string expected;
  } cases[] = {
      {u"", ""},
      {u"plain/path.bmp", "plain/path.bmp"},
      {u"\u00E9", "\xC3\xA9"},
      {u"\u07FF", "\xDF\xBF"},
      {u"\u0800", "\xE0\xA0\x80"},
      {u"\u20AC", "\xE2\x82\xAC"},
      {u"\uFFFF", "\xEF\xBF\xBF"},
      {u"\U0001F600", "\xF0\x9F\x98\x80"},
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
      {u"a\u00E9\U0001F600z", "a\xC3\xA9\xF0\x9F\x98\x80z"},
      // Unpaired surrogates: the conversion fails and leaves the empty string.
      {std::u16string(u"a") + char16_t(0xD800) + u"b", ""},
      {std::u16string(u"a") + char16_t(0xDC00), ""},
      {std::u16string(1, char16_t(0xDBFF)), ""},
      {std::u16string(u"\U0001F600") + char16_t(0xDE00), ""},
  };
  for (const auto& c : cases) {
    const auto converted = ToMultibytePath(c.wide.c_str());
    ASSERT_NE(converted, nullptr);
    EXPECT_EQ(std::string(converted.get()), c.expected);
  }
  EXPECT_EQ(ToMultibytePath(nullptr), nullptr);
}

// Three bytes for every 16-bit unit is the most UTF-8 needs.
TEST(PathConversionTest, LongestExpansionFits) {
  const std::u16string wide(4000, u'\u20AC');
  std::string expected;
  for (int i = 0; i < 4000; ++i) expected += "\xE2\x82\xAC";
  const auto converted = ToMultibytePath(wide.c_str());
  ASSERT_NE(converted, nullptr);
  EXPECT_EQ(std::strlen(converted.get()), 12000u);
  EXPECT_EQ(std::string(converted.get()), expected);
}
#endif

TEST(PathConversionTest, CommandLinesMustBeUtf8) {
  const struct {
    std::string utf8;
    bool valid;
    std::u16string wide;
  } cases[] = {
      {"", true, u""},
      {"in.bmp", true, u"in.bmp"},
      {"\xC3\xA9\xE2\x82\xAC", true, u"\u00E9\u20AC"},
      {"\xF0\x9F\x98\x80", true, u"\U0001F600"},
      {"\xC0\xAF", false, u""},          // overlong '/'
      {"\xE0\x80\xAF", false, u""},      // overlong '/'
      {"\xED\xA0\x80", false, u""},      // an encoded surrogate
      {"\xF4\x90\x80\x80", false, u""},  // past U+10FFFF
      {"\xC3", false, u""},              // cut short
      {"a\x80", false, u""},             // stray continuation byte
      {"\xFF", false, u""},
  };
  for (const auto& c : cases) {
    std::u16string wide;
    EXPECT_EQ(Utf8ToUtf16(c.utf8, wide), c.valid) << c.utf8;
    if (c.valid) {
      EXPECT_EQ(wide, c.wide) << c.utf8;
    }
  }
}

}  // namespace
}  // namespace quarvel
