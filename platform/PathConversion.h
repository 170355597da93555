// Wide (UTF-16) paths to the multibyte paths the stream layer opens.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace quarvel {

// Number of 16-bit units before the terminator.
std::size_t WideLength(const char16_t* wide);

// Converts a zero-terminated UTF-16 path to a zero-terminated multibyte path
// in a buffer of its own. A null path gives a null buffer. A conversion that
// fails leaves the empty string. On Windows the multibyte form is the system
// ANSI code page; elsewhere it is UTF-8, where an unpaired surrogate fails.
std::unique_ptr<char[]> ToMultibytePath(const char16_t* wide);

// UTF-8 to UTF-16, for hosts that start from a command line. False when the
// input is not valid UTF-8.
bool Utf8ToUtf16(const std::string& utf8, std::u16string& utf16);

}  // namespace quarvel
