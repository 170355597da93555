#include "platform/PathConversion.h"

#include <cstdint>
#include <new>

#ifdef _WIN32
#include <windows.h>
#endif

namespace quarvel {

std::size_t WideLength(const char16_t* wide) {
  std::size_t length = 0;
  while (wide[length] != 0) ++length;
  return length;
}

#ifdef _WIN32

std::unique_ptr<char[]> ToMultibytePath(const char16_t* wide) {
  if (wide == nullptr) {
    return nullptr;
  }
  // Two bytes per unit plus the terminator, in the default ANSI code page.
  const std::size_t capacity = (WideLength(wide) + 1) * 2;
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[capacity]);
  if (!buffer) {
    return nullptr;
  }
  buffer[0] = 0;  // a conversion that writes nothing leaves the empty string
  WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(wide), -1, buffer.get(),
                      static_cast<int>(capacity), nullptr, nullptr);
  return buffer;
}

#else

namespace {

// Appends the UTF-8 form of one code point; `out` has room for 4 bytes.
char* AppendUtf8(char32_t codePoint, char* out) {
  if (codePoint < 0x80) {
    *out++ = static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    *out++ = static_cast<char>(0xC0 | (codePoint >> 6));
    *out++ = static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    *out++ = static_cast<char>(0xE0 | (codePoint >> 12));
    *out++ = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    *out++ = static_cast<char>(0xF0 | (codePoint >> 18));
    *out++ = static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    *out++ = static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (codePoint & 0x3F));
  }
  return out;
}

}  // namespace

std::unique_ptr<char[]> ToMultibytePath(const char16_t* wide) {
  if (wide == nullptr) {
    return nullptr;
  }
  // UTF-8 takes at most 3 bytes per 16-bit unit (a surrogate pair, two
  // units, takes 4), plus the terminator.
  const std::size_t units = WideLength(wide);
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[units * 3 + 1]);
  if (!buffer) {
    return nullptr;
  }
  char* out = buffer.get();
  for (std::size_t i = 0; i < units; ++i) {
    char32_t codePoint = wide[i];
    if (codePoint >= 0xD800 && codePoint <= 0xDBFF && i + 1 < units && wide[i + 1] >= 0xDC00 &&
        wide[i + 1] <= 0xDFFF) {
      codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (wide[i + 1] - 0xDC00);
      ++i;
    } else if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
      buffer[0] = 0;  // an unpaired surrogate has no UTF-8 form
      return buffer;
    }
    out = AppendUtf8(codePoint, out);
  }
  *out = 0;
  return buffer;
}

#endif

bool Utf8ToUtf16(const std::string& utf8, std::u16string& utf16) {
  utf16.clear();
  std::size_t i = 0;
  while (i < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    int extra = 0;
    char32_t codePoint = 0;
    if (lead < 0x80) {
      codePoint = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      extra = 1;
      codePoint = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      extra = 2;
      codePoint = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      extra = 3;
      codePoint = lead & 0x07;
    } else {
      return false;
    }
    if (i + static_cast<std::size_t>(extra) >= utf8.size()) {
      return false;  // truncated sequence
    }
    for (int k = 1; k <= extra; ++k) {
      const auto next = static_cast<unsigned char>(utf8[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      codePoint = (codePoint << 6) | (next & 0x3F);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not UTF-8.
    if ((extra == 2 && codePoint < 0x800) || (extra == 3 && codePoint < 0x10000) ||
        (codePoint >= 0xD800 && codePoint <= 0xDFFF) || codePoint > 0x10FFFF) {
      return false;
    }
    if (codePoint >= 0x10000) {
      codePoint -= 0x10000;
      utf16.push_back(static_cast<char16_t>(0xD800 + (codePoint >> 10)));
      utf16.push_back(static_cast<char16_t>(0xDC00 + (codePoint & 0x3FF)));
    } else {
      utf16.push_back(static_cast<char16_t>(codePoint));
    }
    i += static_cast<std::size_t>(extra) + 1;
  }
  return true;
}

}  // namespace quarvel
