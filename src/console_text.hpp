// What the root console shows, as text, for a screen reader: the rows that
// hold any, without the blanks around them, in one line, as UTF-8.
#pragma once

#include <libtcod.h>

#include <array>
#include <string>

#include "sdl.hpp"

inline std::string zan_console_text() {
  std::string text;
  for (int y = 0; y < TCOD_console_get_height(nullptr); ++y) {
    std::string row;
    for (int x = 0; x < TCOD_console_get_width(nullptr); ++x) {
      const int c = TCOD_console_get_char(nullptr, x, y);
      std::array<char, 4> utf8{};
      const int length = zan_sdl_utf8(static_cast<Uint32>(c == 0 ? ' ' : c), utf8.data());
      row.append(utf8.data(), static_cast<size_t>(length));
    }
    const auto first = row.find_first_not_of(' ');
    if (first != std::string::npos) {
      text += (text.empty() ? "" : " ") + row.substr(first, row.find_last_not_of(' ') - first + 1);
    }
  }
  return text;
}
