#include "host/OutputCheck.h"

#include <fstream>
#include <system_error>

namespace quarvel {
namespace host {
namespace fs = std::filesystem;

OutputSnapshot Snapshot(const std::string& utf8Path) {
  OutputSnapshot snapshot;
  std::error_code error;
  const fs::path path = fs::u8path(utf8Path);
  if (!fs::is_regular_file(path, error)) return snapshot;
  snapshot.existed = true;
  snapshot.size = fs::file_size(path, error);
  snapshot.modified = fs::last_write_time(path, error);
  return snapshot;
}

bool WasWrittenCompletely(const std::string& utf8Path, const OutputSnapshot& before) {
  std::error_code error;
  const fs::path path = fs::u8path(utf8Path);
  if (!fs::is_regular_file(path, error)) return false;
  const OutputSnapshot after = Snapshot(utf8Path);
  if (before.existed && after.size == before.size && after.modified == before.modified) {
    return false;
  }
  std::ifstream file(path, std::ios::binary);
  unsigned char header[6] = {};
  if (!file.read(reinterpret_cast<char*>(header), sizeof header)) return false;
  if (header[0] != 'B' || header[1] != 'M') return false;
  const std::uint32_t declared =
      static_cast<std::uint32_t>(header[2]) | (static_cast<std::uint32_t>(header[3]) << 8) |
      (static_cast<std::uint32_t>(header[4]) << 16) | (static_cast<std::uint32_t>(header[5]) << 24);
  return after.size == declared;
}

}  // namespace host
}  // namespace quarvel
