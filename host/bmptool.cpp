// bmptool: the image library's operations from a shell.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/BmpImage.h"

namespace {

using quarvel::BmpImage;
using quarvel::Pixel;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

using Args = std::vector<std::string>;

bool WantsHelp(const Args& args) {
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") return true;
  }
  return false;
}

// Parses a whole decimal int32; false on anything else.
bool ParseInt(const std::string& text, int& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (*end != '\0' || parsed < -2147483647L - 1 || parsed > 2147483647L) return false;
  value = static_cast<int>(parsed);
  return true;
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

int TestCard(const Args& args) {
  if (WantsHelp(args) || args.empty()) {
    std::printf(
        "Usage: bmptool testcard OUT [--bits 1|4|8|16|24|32] [--size WIDTHxHEIGHT]\n"
        "Writes a colourful test card (default 24 bits, 320x240).\n");
    return args.empty() ? kUsage : kOk;
  }
  int bits = 24;
  int width = 320;
  int height = 240;
  std::string out;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--bits" && i + 1 < args.size()) {
      if (!ParseInt(args[++i], bits)) bits = -1;
    } else if (args[i] == "--size" && i + 1 < args.size()) {
      const std::string& size = args[++i];
      const std::size_t cross = size.find('x');
      if (cross == std::string::npos || !ParseInt(size.substr(0, cross), width) ||
          !ParseInt(size.substr(cross + 1), height)) {
        std::fprintf(stderr, "bmptool testcard: --size wants WIDTHxHEIGHT\n");
        return kUsage;
      }
    } else if (out.empty() && args[i].rfind("--", 0) != 0) {
      out = args[i];
    } else {
      std::fprintf(stderr, "bmptool testcard: unexpected argument %s\n", args[i].c_str());
      return kUsage;
    }
  }
  BmpImage image;
  if (!image.SetColorDepth(bits)) {
    std::fprintf(stderr, "bmptool testcard: --bits must be 1, 4, 8, 16, 24 or 32\n");
    return kUsage;
  }
  if (!image.SetDimensions(width, height)) {
    std::fprintf(stderr, "bmptool testcard: cannot make a %dx%d image\n", width, height);
    return kUsage;
  }
  PaintTestCard(image);
  if (!image.SaveFile(out.c_str())) {
    std::fprintf(stderr, "bmptool testcard: could not write %s\n", out.c_str());
    return kFailed;
  }
  return kOk;
}

struct Command {
  const char* name;
  int (*run)(const Args&);
  const char* summary;
};

const Command kCommands[] = {
    {"testcard", TestCard, "write a colourful test card at any depth"},
};

void PrintUsage(std::FILE* to) {
  std::fprintf(to, "Usage: bmptool COMMAND [ARGS]  (bmptool COMMAND --help for details)\n\n");
  for (const Command& command : kCommands) {
    std::fprintf(to, "  %-10s %s\n", command.name, command.summary);
  }
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
    if (name == command.name) return command.run(args);
  }
  std::fprintf(stderr, "bmptool: unknown command %s\n", name.c_str());
  PrintUsage(stderr);
  return kUsage;
}
