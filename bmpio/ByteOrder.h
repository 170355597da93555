// Host byte order, decided at compile time.
#pragma once

namespace quarvel {

#if defined(__BYTE_ORDER__) && defined(__ORDER_BIG_ENDIAN__) && \
    __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
constexpr bool kHostIsBigEndian = true;
#else
constexpr bool kHostIsBigEndian = false;
#endif

}  // namespace quarvel
