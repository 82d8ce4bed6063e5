// The eight bytes every PNG file begins with, which zan-tileset checks in
// what it wrote and the tests in the tileset they read.
#pragma once

inline constexpr unsigned char png_signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
