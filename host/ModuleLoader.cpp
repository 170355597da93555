#include "host/ModuleLoader.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace quarvel {
namespace host {
namespace {

namespace fs = std::filesystem;

fs::path ProgramDirectory() {
#ifdef _WIN32
  wchar_t buffer[32768];
  const DWORD length = GetModuleFileNameW(nullptr, buffer, 32768);
  if (length == 0 || length >= 32768) return fs::path();
  return fs::path(std::wstring(buffer, length)).parent_path();
#else
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : self.parent_path();
#endif
}

// The module beside the program first, then in ../lib for an installed tree.
fs::path DefaultModulePath() {
  const fs::path directory = ProgramDirectory();
  std::error_code error;
  const fs::path beside = directory / kModuleFileName;
  if (fs::exists(beside, error)) return beside;
  const fs::path installed = directory.parent_path() / "lib" / kModuleFileName;
  if (fs::exists(installed, error)) return installed;
  return beside;
}

}  // namespace

Module::~Module() {
#ifdef _WIN32
  if (handle != nullptr) FreeLibrary(static_cast<HMODULE>(handle));
#else
  if (handle != nullptr) dlclose(handle);
#endif
}

bool Module::Load(const std::string& path, std::string& error) {
  const fs::path modulePath = path.empty() ? DefaultModulePath() : fs::u8path(path);
#ifdef _WIN32
  HMODULE module = LoadLibraryW(modulePath.wstring().c_str());
  if (module == nullptr) {
    error = "cannot load the module " + modulePath.u8string() + " (error " +
            std::to_string(GetLastError()) + ")";
    return false;
  }
  handle = module;
  // By name, and by ordinal 1: both must lead to the same function.
  auto byName = reinterpret_cast<CheckerFunction>(
      reinterpret_cast<void*>(GetProcAddress(module, "BMPChecker")));
  auto byOrdinal = reinterpret_cast<CheckerFunction>(
      reinterpret_cast<void*>(GetProcAddress(module, MAKEINTRESOURCEA(1))));
  if (byName == nullptr || byName != byOrdinal) {
    error = "the module " + modulePath.u8string() + " does not export BMPChecker as ordinal 1";
    return false;
  }
  entry = byName;
#else
  handle = dlopen(modulePath.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* reason = dlerror();
    error = "cannot load the module " + modulePath.string() + ": " +
            (reason != nullptr ? reason : "unknown error");
    return false;
  }
  void* symbol = dlsym(handle, "BMPChecker");
  if (symbol == nullptr) {
    error = "the module " + modulePath.string() + " does not export BMPChecker";
    return false;
  }
  entry = reinterpret_cast<CheckerFunction>(symbol);
#endif
  return true;
}

}  // namespace host
}  // namespace quarvel
