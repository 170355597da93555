// bmpchecker: loads the BMPChecker module at run time and calls it on two
// paths, then checks what the call left on disk and says so in one line.
#include <cstdint>
#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "host/ModuleLoader.h"
#include "host/OutputCheck.h"
#include "platform/PathConversion.h"

namespace {

constexpr const char* kVersion = "1.0.0.1";

enum ExitStatus : int {
  kPainted = 0,
  kInputNotRead = 1,
  kOutputNotWritten = 2,
  kUsageOrSetupError = 3,
};

void PrintUsage(std::FILE* to) {
  std::fprintf(to,
               "Usage: bmpchecker [--module PATH] INPUT OUTPUT\n"
               "\n"
               "Paints a red checker pattern over the BMP file INPUT and writes the result\n"
               "to OUTPUT at the same colour depth (1, 4, 8, 16, 24 or 32 bits per pixel).\n"
               "The work is done by the module %s, loaded at run time from\n"
               "beside this program (or ../lib), or from PATH when --module is given.\n"
               "\n"
               "Exit status: 0 painted, 1 INPUT could not be read, 2 OUTPUT was not\n"
               "written, 3 usage or module error.\n"
               "\n"
               "  --module PATH  load the module from PATH\n"
               "  --help         show this text\n"
               "  --version      show the version\n",
               quarvel::host::kModuleFileName);
}

}  // namespace

int HostMain(const std::vector<std::string>& argv) {
  const int argc = static_cast<int>(argv.size());
  std::string modulePath;
  std::string paths[2];
  int pathCount = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string& arg = argv[i];
    if (arg == "--help" || arg == "-h") {
      PrintUsage(stdout);
      return kPainted;
    }
    if (arg == "--version") {
      std::printf("bmpchecker %s\n", kVersion);
      return kPainted;
    }
    if (arg == "--module") {
      if (i + 1 >= argc) {
        std::fprintf(stderr, "bmpchecker: --module needs a path\n");
        return kUsageOrSetupError;
      }
      modulePath = argv[++i];
      continue;
    }
    if (arg.size() > 1 && arg[0] == '-' && arg != "--") {
      std::fprintf(stderr, "bmpchecker: unknown option %s (try --help)\n", arg.c_str());
      return kUsageOrSetupError;
    }
    if (arg == "--") {
      for (++i; i < argc && pathCount < 3; ++i, ++pathCount) {
        if (pathCount < 2) paths[pathCount] = argv[i];
      }
      break;
    }
    if (pathCount < 2) paths[pathCount] = arg;
    ++pathCount;
  }
  if (pathCount != 2) {
    std::fprintf(stderr, "bmpchecker: expected INPUT and OUTPUT (try --help)\n");
    return kUsageOrSetupError;
  }
  const std::string& input = paths[0];
  const std::string& output = paths[1];

  std::u16string wideInput;
  std::u16string wideOutput;
  if (!quarvel::Utf8ToUtf16(input, wideInput) || !quarvel::Utf8ToUtf16(output, wideOutput)) {
    std::fprintf(stderr, "bmpchecker: paths must be valid UTF-8\n");
    return kUsageOrSetupError;
  }

  quarvel::host::Module module;
  std::string error;
  if (!module.Load(modulePath, error)) {
    std::fprintf(stderr, "bmpchecker: %s\n", error.c_str());
    return kUsageOrSetupError;
  }

  const quarvel::host::OutputSnapshot before = quarvel::host::Snapshot(output);
  const std::int32_t result = module.Call(wideInput.c_str(), wideOutput.c_str());
  if (result == 1) {
    std::fprintf(stderr, "could not read %s as a BMP file this library supports\n", input.c_str());
    return kInputNotRead;
  }
  if (result != 999) {
    std::fprintf(stderr, "bmpchecker: the module returned %d, which it never should\n",
                 static_cast<int>(result));
    return kUsageOrSetupError;
  }
  if (!quarvel::host::WasWrittenCompletely(output, before)) {
    std::fprintf(stderr, "could not write %s\n", output.c_str());
    return kOutputNotWritten;
  }
  std::printf("painted %s into %s\n", input.c_str(), output.c_str());
  return kPainted;
}

#ifdef _WIN32
// shellapi.h needs the definitions of windows.h first.
#include <windows.h>

#include <shellapi.h>

int main() {
  // The command line as UTF-16, so that any file name reaches the module.
  int argc = 0;
  wchar_t** wideArgv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (wideArgv == nullptr) {
    std::fprintf(stderr, "bmpchecker: cannot read the command line\n");
    return kUsageOrSetupError;
  }
  std::vector<std::string> argv(static_cast<std::size_t>(argc));
  for (int i = 0; i < argc; ++i) {
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, wideArgv[i], -1, nullptr, 0, nullptr, nullptr);
    std::string utf8(static_cast<std::size_t>(bytes > 0 ? bytes - 1 : 0), '\0');
    if (bytes > 1) {
      WideCharToMultiByte(CP_UTF8, 0, wideArgv[i], -1, &utf8[0], bytes, nullptr, nullptr);
    }
    argv[i] = utf8;
  }
  LocalFree(wideArgv);
  return HostMain(argv);
}
#else
int main(int argc, char** argv) {
  return HostMain(std::vector<std::string>(argv, argv + argc));
}
#endif
