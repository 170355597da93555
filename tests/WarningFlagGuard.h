// The warning flag is process-wide: a test that switches it puts it back.
#pragma once

#include "image/BmpImage.h"

namespace quarvel {
namespace test {

class WarningFlagGuard {
 public:
  WarningFlagGuard() : wasEnabled(WarningsEnabled()) {}
  WarningFlagGuard(const WarningFlagGuard&) = delete;
  WarningFlagGuard& operator=(const WarningFlagGuard&) = delete;
  ~WarningFlagGuard() { wasEnabled ? EnableWarnings() : DisableWarnings(); }

 private:
  bool wasEnabled;
};

}  // namespace test
}  // namespace quarvel
