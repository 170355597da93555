// bmptool: the image library's operations from a shell.
//
// Every command takes positional files and --options; one parser checks them
// against the command's table entry, so each command only states what it
// accepts and does its work. Exit codes: 0 done, 1 a file could not be read
// or written or the library refused, 2 a usage error.
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "bmpio/BmpHeaders.h"
#include "image/BmpImage.h"
#include "transform/RegionCopy.h"
#include "transform/Rescale.h"

namespace {

using quarvel::BmpImage;
using quarvel::Pixel;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

using Args = std::vector<std::string>;

// One --option of a command: a flag (no value), or an option followed by a
// value of the form `value` names.
struct Option {
  const char* name;
  const char* value;
  bool required;
};

struct Command;

// A command line checked against its command: the positional arguments in
// order, and the options that were given with their values.
struct Invocation {
  struct Given {
    std::string name;
    std::string value;
  };

  explicit Invocation(const Command& which) : command(which) {}

  const std::string& Positional(std::size_t index) const { return positional[index]; }
  bool Has(const std::string& name) const { return Find(name) != nullptr; }
  // The value of an option; empty when it was not given.
  std::string Value(const std::string& name) const {
    const Given* given = Find(name);
    return given != nullptr ? given->value : std::string();
  }
  const Given* Find(const std::string& name) const {
    for (const Given& given : options) {
      if (given.name == name) return &given;
    }
    return nullptr;
  }

  const Command& command;
  std::vector<std::string> positional;
  std::vector<Given> options;
};

struct Command {
  const char* name;
  const char* summary;
  const char* usage;  // the --help text, starting with the synopsis line
  std::vector<const char*> positional;
  std::vector<Option> options;
  int (*run)(const Invocation&);
};

// Prints "bmptool COMMAND: message" on standard error and returns `code`.
int Fail(const Invocation& call, int code, const char* format, ...) {
  std::fprintf(stderr, "bmptool %s: ", call.command.name);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
  if (code == kUsage) std::fprintf(stderr, "(see bmptool %s --help)\n", call.command.name);
  return code;
}

bool WantsHelp(const Args& args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

const Option* FindOption(const Command& command, const std::string& name) {
  for (const Option& option : command.options) {
    if (name == option.name) return &option;
  }
  return nullptr;
}

// Sorts the arguments into positionals and options; false after reporting
// the first problem.
bool Parse(const Args& args, Invocation& call) {
  const Command& command = call.command;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
      const Option* option = FindOption(command, arg);
      if (option == nullptr) {
        Fail(call, kUsage, "unknown option %s", arg.c_str());
        return false;
      }
      if (call.Has(arg)) {
        Fail(call, kUsage, "%s given twice", arg.c_str());
        return false;
      }
      std::string value;
      if (option->value != nullptr) {
        if (i + 1 >= args.size()) {
          Fail(call, kUsage, "%s needs a value", arg.c_str());
          return false;
        }
        value = args[++i];
      }
      call.options.push_back({arg, value});
    } else if (call.positional.size() < command.positional.size()) {
      call.positional.push_back(arg);
    } else {
      Fail(call, kUsage, "unexpected argument %s", arg.c_str());
      return false;
    }
  }
  if (call.positional.size() < command.positional.size()) {
    Fail(call, kUsage, "missing %s", command.positional[call.positional.size()]);
    return false;
  }
  for (const Option& option : command.options) {
    if (option.required && !call.Has(option.name)) {
      Fail(call, kUsage, "missing %s", option.name);
      return false;
    }
  }
  return true;
}

// A whole decimal number within [low, high]; false on anything else.
bool ParseNumber(const std::string& text, long low, long high, std::int32_t& value) {
  // strtol alone would also take leading blanks and an empty string.
  if (text.empty() || std::isspace(static_cast<unsigned char>(text[0]))) return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
  value = static_cast<std::int32_t>(parsed);
  return true;
}

// An option's value as exactly `count` numbers within [low, high], separated
// by `separator`; reports and returns false otherwise.
bool NumbersOf(const Invocation& call, const char* option, std::size_t count, char separator,
               long low, long high, std::vector<std::int32_t>& numbers) {
  const Option* known = FindOption(call.command, option);
  const std::string text = call.Value(option);
  numbers.clear();
  std::size_t start = 0;
  while (true) {
    const std::size_t stop = text.find(separator, start);
    std::int32_t number = 0;
    if (!ParseNumber(text.substr(start, stop - start), low, high, number)) break;
    numbers.push_back(number);
    if (stop == std::string::npos) {
      if (numbers.size() == count) return true;
      break;
    }
    start = stop + 1;
  }
  Fail(call, kUsage, "%s wants %s, whole numbers from %ld to %ld, not '%s'", option,
       known != nullptr ? known->value : "numbers", low, high, text.c_str());
  return false;
}

bool NumberOf(const Invocation& call, const char* option, long low, long high,
              std::int32_t& number) {
  std::vector<std::int32_t> numbers;
  if (!NumbersOf(call, option, 1, ',', low, high, numbers)) return false;
  number = numbers[0];
  return true;
}

bool CanOpen(const std::string& path) {
  return std::ifstream(path, std::ios::binary).is_open();
}

// Loads a BMP file, or explains why not.
bool Load(const Invocation& call, const std::string& path, BmpImage& image) {
  if (!CanOpen(path)) {
    Fail(call, kFailed, "cannot open %s", path.c_str());
    return false;
  }
  if (!image.LoadFile(path.c_str())) {
    Fail(call, kFailed, "%s is not a BMP file this library reads", path.c_str());
    return false;
  }
  return true;
}

int Save(const Invocation& call, const BmpImage& image, const std::string& path) {
  if (!image.SaveFile(path.c_str())) {
    return Fail(call, kFailed, "could not write %s", path.c_str());
  }
  return kOk;
}

// A colourful card: hue bars over the top half, a grey ramp and primaries
// below, so every depth shows what its palette does to colour.
void PaintTestCard(BmpImage& image) {
  const int width = image.Width();
  const int height = image.Height();
  for (int x = 0; x < width; ++x) {
    for (int y = 0; y < height; ++y) {
      Pixel colour{0, 0, 0, 255};
      const int hue = (x * 1536) / width;  // six 256-step sectors
      const int rise = hue % 256;
      const int fall = 255 - rise;
      const int sector = hue / 256;
      const int channels[6][3] = {{255, rise, 0}, {fall, 255, 0}, {0, 255, rise},
                                  {0, fall, 255}, {rise, 0, 255}, {255, 0, fall}};
      int red = channels[sector][0];
      int green = channels[sector][1];
      int blue = channels[sector][2];
      if (y < height / 2) {
        // Fade the bars toward white at the top.
        const int fade = (height / 2 - y) * 255 / (height / 2 > 0 ? height / 2 : 1) / 2;
        red += (255 - red) * fade / 255;
        green += (255 - green) * fade / 255;
        blue += (255 - blue) * fade / 255;
      } else if (y < (3 * height) / 4) {
        red = green = blue = (x * 255) / (width > 1 ? width - 1 : 1);
      } else {
        const int band = (x * 4) / width;
        red = band == 0 || band == 3 ? 255 : 0;
        green = band == 1 || band == 3 ? 255 : 0;
        blue = band == 2 || band == 3 ? 255 : 0;
      }
      colour.red = static_cast<std::uint8_t>(red);
      colour.green = static_cast<std::uint8_t>(green);
      colour.blue = static_cast<std::uint8_t>(blue);
      image.WritePixel(x, y, colour);
    }
  }
}

int TestCard(const Invocation& call) {
  std::int32_t bits = 24;
  std::int32_t width = 320;
  std::int32_t height = 240;
  if (call.Has("--bits") && !NumberOf(call, "--bits", 1, 32, bits)) return kUsage;
  if (call.Has("--size")) {
    std::vector<std::int32_t> size;
    if (!NumbersOf(call, "--size", 2, 'x', 1, 65535, size)) return kUsage;
    width = size[0];
    height = size[1];
  }
  BmpImage image;
  if (!image.SetColorDepth(bits)) {
    return Fail(call, kUsage, "--bits must be 1, 4, 8, 16, 24 or 32");
  }
  if (!image.SetDimensions(width, height)) {
    return Fail(call, kFailed, "cannot make a %dx%d image", width, height);
  }
  PaintTestCard(image);
  return Save(call, image, call.Positional(0));
}

int Info(const Invocation& call) {
  const std::string& path = call.Positional(0);
  if (!CanOpen(path)) return Fail(call, kFailed, "cannot open %s", path.c_str());
  const quarvel::BmpFileHeader file = quarvel::ReadFileHeaderOf(path.c_str());
  const quarvel::BmpInfoHeader info = quarvel::ReadInfoHeaderOf(path.c_str());
  // Every header field fits 64 bits signed, whatever its own width and sign.
  auto field = [](const char* name, std::int64_t value) {
    std::printf("%s: %" PRId64 "\n", name, value);
  };
  std::printf("bfType: 0x%04X\n", static_cast<unsigned>(file.bfType));
  field("bfSize", file.bfSize);
  field("bfReserved1", file.bfReserved1);
  field("bfReserved2", file.bfReserved2);
  field("bfOffBits", file.bfOffBits);
  field("biSize", info.biSize);
  field("biWidth", info.biWidth);
  field("biHeight", info.biHeight);
  field("biPlanes", info.biPlanes);
  field("biBitCount", info.biBitCount);
  field("biCompression", info.biCompression);
  field("biSizeImage", info.biSizeImage);
  field("biXPelsPerMeter", info.biXPelsPerMeter);
  field("biYPelsPerMeter", info.biYPelsPerMeter);
  field("biClrUsed", info.biClrUsed);
  field("biClrImportant", info.biClrImportant);
  field("colorDepth", quarvel::ColorDepthOf(path.c_str()));
  // Inspection reads whatever is there; say so when it was not a BMP file.
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  const std::streamoff length = in.tellg();
  if (file.bfType != quarvel::kBmpSignature || length < quarvel::kHeadersSize) {
    return Fail(call, kFailed, "%s is not a BMP file (no signature or shorter than %d bytes)",
                path.c_str(), static_cast<int>(quarvel::kHeadersSize));
  }
  return kOk;
}

int Rescale(const Invocation& call) {
  const std::string mode = call.Value("--mode");
  if (mode.size() != 1 || std::string("PWHFpwhf").find(mode[0]) == std::string::npos) {
    return Fail(call, kUsage, "--mode must be P, W, H or F, not '%s'", mode.c_str());
  }
  std::int32_t size = 0;
  if (!NumberOf(call, "--size", 1, 2147483647L, size)) return kUsage;
  BmpImage image;
  if (!Load(call, call.Positional(0), image)) return kFailed;
  if (!quarvel::RescaleImage(image, mode[0], size)) {
    return Fail(call, kFailed,
                "cannot rescale %dx%d that way: the result would exceed 2^28 pixels or 2^31 - 1 "
                "on a side, or memory ran out",
                image.Width(), image.Height());
  }
  return Save(call, image, call.Positional(1));
}

int Depth(const Invocation& call) {
  std::int32_t bits = 0;
  if (!NumberOf(call, "--bits", 1, 32, bits)) return kUsage;
  if (!quarvel::IsSupportedDepth(bits)) {
    return Fail(call, kUsage, "--bits must be 1, 4, 8, 16, 24 or 32");
  }
  const bool gray = call.Has("--gray");
  if (gray && !quarvel::IsIndexedDepth(bits)) {
    return Fail(call, kUsage, "--gray needs --bits 1, 4 or 8");
  }
  BmpImage image;
  if (!Load(call, call.Positional(0), image)) return kFailed;
  image.SetColorDepth(bits);
  if (gray) image.FillGrayPalette();
  return Save(call, image, call.Positional(1));
}

int Paste(const Invocation& call) {
  constexpr long kLow = -2147483647L - 1;
  constexpr long kHigh = 2147483647L;
  std::vector<std::int32_t> rect;
  std::vector<std::int32_t> at;
  std::vector<std::int32_t> colour;
  if (!NumbersOf(call, "--rect", 4, ',', kLow, kHigh, rect) ||
      !NumbersOf(call, "--at", 2, ',', kLow, kHigh, at) ||
      (call.Has("--transparent") && !NumbersOf(call, "--transparent", 3, ',', 0, 255, colour))) {
    return kUsage;
  }
  BmpImage source;
  BmpImage target;
  if (!Load(call, call.Positional(0), source) || !Load(call, call.Positional(1), target)) {
    return kFailed;
  }
  if (colour.empty()) {
    quarvel::CopyRegion(source, rect[0], rect[1], rect[2], rect[3], target, at[0], at[1]);
  } else {
    const Pixel transparent{static_cast<std::uint8_t>(colour[2]),
                            static_cast<std::uint8_t>(colour[1]),
                            static_cast<std::uint8_t>(colour[0]), 0};
    quarvel::CopyRegionUnlessColor(source, rect[0], rect[1], rect[2], rect[3], target, at[0], at[1],
                                   transparent);
  }
  return Save(call, target, call.Positional(2));
}

int Dpi(const Invocation& call) {
  // The largest value whose pixels per metre still fit 32 bits.
  constexpr long kMaxDpi = 54546084L;
  std::vector<std::int32_t> dpi;
  if (!NumbersOf(call, "--dpi", 2, ',', 0, kMaxDpi, dpi)) return kUsage;
  BmpImage image;
  if (!Load(call, call.Positional(0), image)) return kFailed;
  image.SetResolutionDpi(dpi[0], dpi[1]);
  return Save(call, image, call.Positional(1));
}

const Command kCommands[] = {
    {"testcard",
     "write a colourful test card at any depth",
     "Usage: bmptool testcard OUT [--bits 1|4|8|16|24|32] [--size WIDTHxHEIGHT]\n"
     "Writes a colourful test card (default 24 bits, 320x240).\n",
     {"OUT"},
     {{"--bits", "BITS", false}, {"--size", "WIDTHxHEIGHT", false}},
     TestCard},
    {"info",
     "show a file's two headers and its colour depth",
     "Usage: bmptool info FILE\n"
     "Prints the file header, the information header and the colour depth, one\n"
     "field a line, without loading the pixels. Exits 1 when FILE is not a BMP file.\n",
     {"FILE"},
     {},
     Info},
    {"rescale",
     "resize with bilinear interpolation (saved at 24 bits)",
     "Usage: bmptool rescale IN OUT --mode P|W|H|F --size N\n"
     "Resizes IN and writes OUT at 24 bits. --mode P: N percent of both sides;\n"
     "W: new width N; H: new height N; F: longer side N. The other side keeps\n"
     "the aspect ratio.\n",
     {"IN", "OUT"},
     {{"--mode", "P|W|H|F", true}, {"--size", "N", true}},
     Rescale},
    {"depth",
     "convert to another colour depth",
     "Usage: bmptool depth IN OUT --bits 1|4|8|16|24|32 [--gray]\n"
     "Writes IN at another colour depth. At 1, 4 and 8 bits each pixel becomes its\n"
     "nearest palette colour: the standard palette, or greys with --gray.\n",
     {"IN", "OUT"},
     {{"--bits", "BITS", true}, {"--gray", nullptr, false}},
     Depth},
    {"paste",
     "copy a rectangle of one file into another",
     "Usage: bmptool paste SRC DST OUT --rect LEFT,RIGHT,TOP,BOTTOM --at X,Y\n"
     "                     [--transparent R,G,B]\n"
     "Copies the columns LEFT..RIGHT and rows TOP..BOTTOM of SRC (inclusive) into\n"
     "DST with the top-left corner at X,Y, clipped to both images, and writes OUT\n"
     "at DST's depth. With --transparent, pixels of that colour are not copied.\n",
     {"SRC", "DST", "OUT"},
     {{"--rect", "LEFT,RIGHT,TOP,BOTTOM", true},
      {"--at", "X,Y", true},
      {"--transparent", "R,G,B", false}},
     Paste},
    {"dpi",
     "set the resolution in dots per inch",
     "Usage: bmptool dpi IN OUT --dpi X,Y\n"
     "Writes IN with a horizontal resolution of X and a vertical one of Y dots per\n"
     "inch (stored in pixels per metre; 0 means unset).\n",
     {"IN", "OUT"},
     {{"--dpi", "X,Y", true}},
     Dpi},
};

void PrintUsage(std::FILE* to) {
  std::fprintf(to, "Usage: bmptool COMMAND [ARGS]  (bmptool COMMAND --help for details)\n\n");
  for (const Command& command : kCommands) {
    std::fprintf(to, "  %-10s %s\n", command.name, command.summary);
  }
}

int Run(const Command& command, const Args& args) {
  if (WantsHelp(args)) {
    std::fputs(command.usage, stdout);
    return kOk;
  }
  Invocation call(command);
  if (!Parse(args, call)) return kUsage;
  return command.run(call);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    PrintUsage(stderr);
    return kUsage;
  }
  const std::string name = argv[1];
  if (name == "--help" || name == "-h") {
    PrintUsage(stdout);
    return kOk;
  }
  if (name == "--version") {
    std::printf("bmptool 1.0.0.1\n");
    return kOk;
  }
  const Args args(argv + 2, argv + argc);
  for (const Command& command : kCommands) {
    if (name == command.name) return Run(command, args);
  }
  std::fprintf(stderr, "bmptool: unknown command %s\n", name.c_str());
  PrintUsage(stderr);
  return kUsage;
}
