// The demo is built on libtcod's classic interface, deprecated since 1.19;
// these bracket the code that calls it. libtcod's own
// TCODLIB_BEGIN_IGNORE_DEPRECATIONS misses most of it on 1.24.
#pragma once

#ifdef _MSC_VER
#define ZAN_BEGIN_CLASSIC_INTERFACE __pragma(warning(push)) __pragma(warning(disable : 4996))
#define ZAN_END_CLASSIC_INTERFACE __pragma(warning(pop))
#else
#define ZAN_BEGIN_CLASSIC_INTERFACE \
  _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wdeprecated-declarations\"")
#define ZAN_END_CLASSIC_INTERFACE _Pragma("GCC diagnostic pop")
#endif
