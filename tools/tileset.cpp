// zan-tileset: turns a bitmap font into the tileset libtcod loads by default,
// terminal.png, and that tileset into an icon.
//
//   zan-tileset FONT OUT.png     FONT: a bitmap font, such as 8x13.pcf.gz
//   zan-tileset --icon TILESET.png ICON.png
//
// With no font set, libtcod reads terminal.png from the working directory as
// 16 x 16 tiles in its ASCII_INCOL layout: code page 437's character c is the
// tile in column c / 16, row c % 16. A tile in shades of grey without alpha
// is taken as a mask (black transparent, white the text colour), so glyphs
// are drawn white on black and nothing in between. The icon is the tileset's
// '@' scaled up by whole pixels and centred on a black square. Every failure
// is one line on stderr and status 1.

#include <ft2build.h>
#include FT_FREETYPE_H
#include <libtcod.hpp>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>

namespace {

constexpr int grid = 16;       // tiles per row and per column
constexpr int icon_size = 48;  // pixels; installed as hicolor/48x48
constexpr int icon_glyph = '@';

// Paints the whole image black: a new TCODImage's pixels are not set.
void paint_black(TCODImage& image) {
  int width = 0;
  int height = 0;
  image.getSize(&width, &height);
  for (int x = 0; x < width; ++x) {
    for (int y = 0; y < height; ++y) {
      image.putPixel(x, y, TCODColor(0, 0, 0));
    }
  }
}

// Saves `image` to `path`, making sure that a file was written.
void save(TCODImage& image, const char* path) {
  std::remove(path);  // so that a stale file cannot pass for a written one
  image.save(path);
  std::FILE* written = std::fopen(path, "rb");
  if (written == nullptr) {
    throw std::runtime_error(std::string("cannot write ") + path);
  }
  std::fclose(written);
}

void make_tileset(const char* font_path, const char* tileset_path) {
  FT_Library freetype = nullptr;
  FT_Face face = nullptr;
  if (FT_Init_FreeType(&freetype) != 0 || FT_New_Face(freetype, font_path, 0, &face) != 0) {
    throw std::runtime_error("FreeType cannot read it as a font");
  }
  if (FT_Select_Charmap(face, FT_ENCODING_UNICODE) != 0) {
    throw std::runtime_error("the font has no Unicode character map");
  }
  if (face->num_fixed_sizes < 1 || FT_Select_Size(face, 0) != 0) {
    throw std::runtime_error("not a bitmap font");
  }
  const int ascent = static_cast<int>(face->size->metrics.ascender >> 6);
  const int w = static_cast<int>(face->size->metrics.max_advance >> 6);
  const int h = ascent - static_cast<int>(face->size->metrics.descender >> 6);
  if (w <= 0 || h <= 0) {
    throw std::runtime_error("the font has no usable cell size");
  }
  TCODImage image(grid * w, grid * h);
  paint_black(image);
  for (int c = 1; c < 256; ++c) {
    // libtcod's own table, but for 0x7F: releases before 1.23.1 map it to
    // U+007F, which no font draws, where the code page has a house, U+2302.
    const auto code = static_cast<FT_ULong>(c == 0x7f ? 0x2302 : TCOD_CHARMAP_CP437[c]);
    if (FT_Get_Char_Index(face, code) == 0 ||
        FT_Load_Char(face, code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) {
      char what[64];
      std::snprintf(what, sizeof what, "no glyph for U+%04lX, code page 437's %d", code, c);
      throw std::runtime_error(what);
    }
    const FT_GlyphSlot glyph = face->glyph;
    const FT_Bitmap& bitmap = glyph->bitmap;
    const int left = glyph->bitmap_left;
    const int top = ascent - glyph->bitmap_top;
    if ((glyph->advance.x >> 6) != w || left < 0 || top < 0 ||
        left + static_cast<int>(bitmap.width) > w || top + static_cast<int>(bitmap.rows) > h) {
      throw std::runtime_error("code page 437's " + std::to_string(c) + " does not fit the " +
                               std::to_string(w) + " x " + std::to_string(h) + " cell");
    }
    for (int y = 0; y < static_cast<int>(bitmap.rows); ++y) {
      const unsigned char* row = bitmap.buffer + y * bitmap.pitch;
      for (int x = 0; x < static_cast<int>(bitmap.width); ++x) {
        if ((row[x / 8] & (0x80 >> (x % 8))) != 0) {
          image.putPixel(c / grid * w + left + x, c % grid * h + top + y, TCODColor(255, 255, 255));
        }
      }
    }
  }
  FT_Done_Face(face);
  FT_Done_FreeType(freetype);
  save(image, tileset_path);
  std::printf("%s: %d x %d cells, 255 characters\n", tileset_path, w, h);
}

void make_icon(const char* tileset_path, const char* icon_path) {
  TCODImage tileset(tileset_path);
  int width = 0;
  int height = 0;
  tileset.getSize(&width, &height);
  const int w = width / grid;
  const int h = height / grid;
  if (w <= 0 || h <= 0 || w > icon_size || h > icon_size) {
    throw std::runtime_error("cannot read it as a tileset of 16 x 16 tiles that fit the icon");
  }
  const int scale = icon_size / std::max(w, h);
  const int left = (icon_size - scale * w) / 2;
  const int top = (icon_size - scale * h) / 2;
  TCODImage icon(icon_size, icon_size);
  paint_black(icon);
  for (int x = 0; x < scale * w; ++x) {
    for (int y = 0; y < scale * h; ++y) {
      const TCODColor pixel =
          tileset.getPixel(icon_glyph / grid * w + x / scale, icon_glyph % grid * h + y / scale);
      icon.putPixel(left + x, top + y, pixel);
    }
  }
  save(icon, icon_path);
}

}  // namespace

int main(int argc, char** argv) {
  const bool icon = argc == 4 && std::string(argv[1]) == "--icon";
  if (!icon && argc != 3) {
    std::fprintf(stderr,
                 "usage: zan-tileset FONT OUT.png | zan-tileset --icon TILESET.png ICON.png\n");
    return 1;
  }
  try {
    icon ? make_icon(argv[2], argv[3]) : make_tileset(argv[1], argv[2]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zan-tileset: %s: %s\n", argv[icon ? 2 : 1], error.what());
    return 1;
  }
  return 0;
}
