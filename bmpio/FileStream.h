// A standard I/O stream that closes itself, for the paths that return early.
#pragma once

#include <cstdio>

namespace quarvel {

class FileStream {
 public:
  // A null path is a failed open, never a call into fopen.
  FileStream(const char* path, const char* mode)
      : stream(path != nullptr ? std::fopen(path, mode) : nullptr) {}
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;
  ~FileStream() { Close(); }

  bool IsOpen() const { return stream != nullptr; }
  std::FILE* Get() const { return stream; }

  // False when the final flush or the close failed (a full disk shows here).
  bool Close() {
    if (stream == nullptr) return true;
    const bool closed = std::fclose(stream) == 0;
    stream = nullptr;
    return closed;
  }

 private:
  std::FILE* stream;
};

}  // namespace quarvel
