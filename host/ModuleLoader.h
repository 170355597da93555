// Loading the BMPChecker module at run time and finding its export.
#pragma once

#include <cstdint>
#include <string>

namespace quarvel {
namespace host {

#ifdef _WIN32
constexpr const char* kModuleFileName = "ZIDUVIDEZUDIZADUV.dll";
#else
constexpr const char* kModuleFileName = "ZIDUVIDEZUDIZADUV.so";
#endif

using CheckerFunction = std::int32_t (*)(const char16_t*, const char16_t*);

class Module {
 public:
  Module() = default;
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  ~Module();

  // Loads `path` (UTF-8), or, when it is empty, the module beside this
  // program or in ../lib beside it. On failure `error` says why.
  bool Load(const std::string& path, std::string& error);
  std::int32_t Call(const char16_t* input, const char16_t* output) const {
    return entry(input, output);
  }

 private:
  void* handle = nullptr;
  CheckerFunction entry = nullptr;
};

}  // namespace host
}  // namespace quarvel
