// The public bmpsuite corpus: every file read or refused as the checked-in
// verdict table says, and BMPChecker run on each. The pixels of the files
// read are compared with an independent decoder by interop/bmpsuite.py.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "checker/CheckerPattern.h"
#include "image/BmpImage.h"
#include "tests/TestSupport.h"

namespace quarvel {
namespace {

namespace fs = std::filesystem;

struct Verdict {
  bool read = false;
  std::string loaded;  // WIDTHxHEIGHTxDEPTH
};

#if defined(QUARVEL_BMPSUITE_DIR) && defined(QUARVEL_TEST_SOURCE_DIR)
const char* const kSuiteDir = QUARVEL_BMPSUITE_DIR;
const char* const kVerdictTable = QUARVEL_TEST_SOURCE_DIR "/bmpsuite-verdicts.tsv";
#else
const char* const kSuiteDir = "";
const char* const kVerdictTable = "";
#endif

std::map<std::string, Verdict> ReadVerdicts() {
  std::map<std::string, Verdict> verdicts;
  std::ifstream table(kVerdictTable);
  std::string line;
  while (std::getline(table, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> fields;
    std::istringstream split(line);
    for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
    if (fields.size() < 5) {
      ADD_FAILURE() << "malformed verdict line: " << line;
      continue;
    }
    EXPECT_TRUE(fields[1] == "read" || fields[1] == "refused") << line;
    verdicts[fields[0]] = Verdict{fields[1] == "read", fields[2]};
  }
  return verdicts;
}

// Paths relative to the corpus, for every BMP file in it.
std::vector<std::string> CorpusFiles() {
  std::vector<std::string> files;
  std::error_code error;
  for (fs::recursive_directory_iterator it(kSuiteDir, error), end; !error && it != end;
       it.increment(error)) {
    if (it->is_regular_file() && it->path().extension() == ".bmp") {
      files.push_back(it->path().lexically_relative(kSuiteDir).generic_string());
    }
  }
  return files;
}

class BmpSuiteTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!test::FileExists(std::string(kSuiteDir) + "/MANIFEST.tsv")) {
      GTEST_SKIP() << "no bmpsuite corpus at " << kSuiteDir;
    }
    verdicts = ReadVerdicts();
    ASSERT_FALSE(verdicts.empty()) << "cannot read " << kVerdictTable;
    files = CorpusFiles();
  }

  std::string PathOf(const std::string& file) const { return std::string(kSuiteDir) + "/" + file; }

  std::map<std::string, Verdict> verdicts;
  std::vector<std::string> files;
};

TEST_F(BmpSuiteTest, EveryFileHasAVerdictAndEveryVerdictAFile) {
  ASSERT_FALSE(files.empty());
  for (const std::string& file : files) EXPECT_EQ(verdicts.count(file), 1u) << file;
  for (const auto& entry : verdicts) {
    EXPECT_TRUE(test::FileExists(PathOf(entry.first))) << entry.first;
  }
}

TEST_F(BmpSuiteTest, ReaderFollowsTheVerdicts) {
  for (const std::string& file : files) {
    const auto found = verdicts.find(file);
    if (found == verdicts.end()) continue;
    SCOPED_TRACE(file);
    BmpImage image;
    const bool read = image.LoadFile(PathOf(file).c_str());
    EXPECT_EQ(read, found->second.read);
    if (read) {
      EXPECT_EQ(std::to_string(image.Width()) + "x" + std::to_string(image.Height()) + "x" +
                    std::to_string(image.ColorDepth()),
                found->second.loaded);
    }
  }
}

// BMPChecker on every file: 1 and no output for the refused ones; for the
// others 999 and exactly the bytes of the loaded image painted and saved.
TEST_F(BmpSuiteTest, CheckerRunsOnEveryFile) {
  const test::CheckerModule module;
  if (!module.skip.empty()) GTEST_SKIP() << module.skip;
  ASSERT_TRUE(module.error.empty()) << module.error;
  const test::CheckerFunction checker = module.entry;
  test::TempDir dir;
  const std::string output = dir.File("out.bmp");
  const std::string expected = dir.File("expected.bmp");
  for (const std::string& file : files) {
    const auto found = verdicts.find(file);
    if (found == verdicts.end()) continue;
    SCOPED_TRACE(file);
    const std::string input = PathOf(file);
    // Corpus paths are ASCII.
    const std::u16string wideInput(input.begin(), input.end());
    const std::u16string wideOutput(output.begin(), output.end());
    fs::remove(output);
    const std::int32_t result = checker(wideInput.c_str(), wideOutput.c_str());
    if (!found->second.read) {
      EXPECT_EQ(result, 1);
      EXPECT_FALSE(test::FileExists(output));
      continue;
    }
    EXPECT_EQ(result, 999);
    BmpImage image;
    ASSERT_TRUE(image.LoadFile(input.c_str()));
    PaintCheckerPattern(image);
    ASSERT_TRUE(image.SaveFile(expected.c_str()));
    EXPECT_EQ(test::ReadFile(output), test::ReadFile(expected));
  }
}

}  // namespace
}  // namespace quarvel
