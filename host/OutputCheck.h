// Whether a call left a complete BMP file at the output path. The module
// reports only that it tried to save, so the host looks at the file itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

namespace quarvel {
namespace host {

struct OutputSnapshot {
  bool existed = false;
  std::uintmax_t size = 0;
  std::filesystem::file_time_type modified{};
};

OutputSnapshot Snapshot(const std::string& utf8Path);

// True when the path now holds a regular file whose length matches the size
// its own header declares, and the file is new or was rewritten since
// `before` (a stale file from an earlier run does not count).
bool WasWrittenCompletely(const std::string& utf8Path, const OutputSnapshot& before);

}  // namespace host
}  // namespace quarvel
