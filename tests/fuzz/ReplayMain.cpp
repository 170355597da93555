// The driver of a fuzz target built without libFuzzer: runs the target once
// per file named on the command line, and once per file inside a named
// folder, so a corpus or a saved crash can be replayed under any compiler.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

bool Replay(const std::filesystem::path& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    return false;
  }
  const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                        std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  int replayed = 0;
  bool ok = true;
  for (int i = 1; i < argc; ++i) {
    std::error_code error;
    if (fs::is_directory(argv[i], error)) {
      for (const fs::directory_entry& entry : fs::recursive_directory_iterator(argv[i], error)) {
        if (!entry.is_regular_file()) continue;
        ok = Replay(entry.path()) && ok;
        ++replayed;
      }
    } else {
      ok = Replay(argv[i]) && ok;
      ++replayed;
    }
  }
  std::printf("replayed %d inputs\n", replayed);
  return ok ? 0 : 1;
}
