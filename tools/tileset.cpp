// zan-tileset: turns a bitmap font into the tileset libtcod loads by default,
// terminal.png, and that tileset into an icon.
//
//   zan-tileset FONT OUT.png     FONT: a bitmap font, such as 8x13.pcf.gz
//   zan-tileset --icon SIZE TILESET.png ICON.png    a SIZE x SIZE icon
//
// With no font set, libtcod reads terminal.png from the working directory as
// 16 x 16 tiles in its ASCII_INCOL layout: code page 437's character c is the
// tile in column c / 16, row c % 16. A tile in shades of grey without alpha
// is taken as a mask (black transparent, white the text colour), so glyphs
// are drawn white on black and nothing in between. The icon is the tileset's
// '@' scaled up by whole pixels and centred on a black square. Every failure
// is one line on stderr that names the file it concerns, and status 1.

#include <ft2build.h>
#include FT_FREETYPE_H
#include <libtcod.hpp>

#include "png.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <stdexcept>
#include <string>

namespace {

constexpr int grid = 16;  // tiles per row and per column
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

// A failure that concerns one file: main prints it as "FILE: WHAT".
struct Failure : std::runtime_error {
  Failure(const std::string& file, const std::string& what)
      : std::runtime_error(file + ": " + what) {}
};

// Saves `image` to `path` as a PNG, making sure that one was written.
// libtcod reports a failed write in its own words, over several lines on
// some releases, or not at all on others; the check below covers both, and
// a file that does not begin as a PNG does, which the program would not load.
void save(TCODImage& image, const char* path) {
  std::remove(path);  // so that a stale file cannot pass for a written one
  try {
    image.save(path);
  } catch (const std::exception&) {
    throw Failure(path, "cannot write it");
  }
  std::FILE* written = std::fopen(path, "rb");
  if (written == nullptr) {
    throw Failure(path, "cannot write it");
  }
  unsigned char start[sizeof png_signature] = {};
  const size_t read = std::fread(start, 1, sizeof start, written);
  std::fclose(written);
  if (read != sizeof start ||
      !std::equal(std::begin(png_signature), std::end(png_signature), start)) {
    throw Failure(path, "was written, but not as a PNG");
  }
}

struct FreeTypeDone {
  void operator()(FT_Library library) const { FT_Done_FreeType(library); }
};
struct FaceDone {
  void operator()(FT_Face face) const { FT_Done_Face(face); }
};
using FreeType = std::unique_ptr<FT_LibraryRec_, FreeTypeDone>;
using Face = std::unique_ptr<FT_FaceRec_, FaceDone>;

void make_tileset(const char* font_path, const char* tileset_path) {
  FT_Library library = nullptr;
  if (FT_Init_FreeType(&library) != 0) {
    throw Failure(font_path, "FreeType cannot start");
  }
  const FreeType freetype(library);
  FT_Face opened = nullptr;
  if (FT_New_Face(freetype.get(), font_path, 0, &opened) != 0) {
    throw Failure(font_path, "FreeType cannot read it as a font");
  }
  const Face face(opened);
  if (FT_Select_Charmap(face.get(), FT_ENCODING_UNICODE) != 0) {
    throw Failure(font_path, "the font has no Unicode character map");
  }
  if (face->num_fixed_sizes < 1 || FT_Select_Size(face.get(), 0) != 0) {
    throw Failure(font_path, "not a bitmap font");
  }
  const int ascent = static_cast<int>(face->size->metrics.ascender >> 6);
  const int w = static_cast<int>(face->size->metrics.max_advance >> 6);
  const int h = ascent - static_cast<int>(face->size->metrics.descender >> 6);
  if (w <= 0 || h <= 0) {
    throw Failure(font_path, "the font has no usable cell size");
  }
  TCODImage image(grid * w, grid * h);
  paint_black(image);
  for (int c = 1; c < 256; ++c) {
    // libtcod's own table, but for 0x7F: releases before 1.23.1 map it to
    // U+007F, which no font draws, where the code page has a house, U+2302.
    const auto code = static_cast<FT_ULong>(c == 0x7f ? 0x2302 : TCOD_CHARMAP_CP437[c]);
    if (FT_Get_Char_Index(face.get(), code) == 0 ||
        FT_Load_Char(face.get(), code, FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) {
      char what[64];
      std::snprintf(what, sizeof what, "no glyph for U+%04lX, code page 437's %d", code, c);
      throw Failure(font_path, what);
    }
    const FT_GlyphSlot glyph = face->glyph;
    const FT_Bitmap& bitmap = glyph->bitmap;
    // The bits below are read one per pixel; a strike in shades of grey
    // would be read as noise.
    if (bitmap.pixel_mode != FT_PIXEL_MODE_MONO) {
      throw Failure(font_path, "code page 437's " + std::to_string(c) + " is not a 1-bit glyph");
    }
    const int left = glyph->bitmap_left;
    const int top = ascent - glyph->bitmap_top;
    if ((glyph->advance.x >> 6) != w || left < 0 || top < 0 ||
        left + static_cast<int>(bitmap.width) > w || top + static_cast<int>(bitmap.rows) > h) {
      throw Failure(font_path, "code page 437's " + std::to_string(c) + " does not fit the " +
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
  save(image, tileset_path);
  std::printf("%s: %d x %d cells, 255 characters\n", tileset_path, w, h);
}

// The tileset's '@' scaled up by whole pixels, centred on a black square.
TCODImage icon_of(const TCODImage& tileset, const char* tileset_path, int size) {
  int width = 0;
  int height = 0;
  tileset.getSize(&width, &height);
  const int w = width / grid;
  const int h = height / grid;
  if (w <= 0 || h <= 0 || w > size || h > size) {
    throw Failure(tileset_path, "cannot read it as a tileset of 16 x 16 tiles that fit the icon");
  }
  const int scale = size / std::max(w, h);
  const int left = (size - scale * w) / 2;
  const int top = (size - scale * h) / 2;
  TCODImage icon(size, size);
  paint_black(icon);
  for (int x = 0; x < scale * w; ++x) {
    for (int y = 0; y < scale * h; ++y) {
      const TCODColor pixel =
          tileset.getPixel(icon_glyph / grid * w + x / scale, icon_glyph % grid * h + y / scale);
      icon.putPixel(left + x, top + y, pixel);
    }
  }
  return icon;
}

void make_icon(const char* size, const char* tileset_path, const char* icon_path) {
  const int pixels = std::atoi(size);
  if (pixels < 1 || pixels > 1024) {
    throw Failure(size, "is no icon size: give one from 1 to 1024 pixels");
  }
  std::unique_ptr<TCODImage> loaded;
  try {
    loaded = std::make_unique<TCODImage>(tileset_path);
  } catch (const std::exception&) {
    throw Failure(tileset_path, "cannot read it as an image");
  }
  TCODImage icon = icon_of(*loaded, tileset_path, pixels);
  save(icon, icon_path);
}

}  // namespace

int main(int argc, char** argv) {
  const bool icon = argc == 5 && std::string(argv[1]) == "--icon";
  if (!icon && argc != 3) {
    std::fprintf(
        stderr, "usage: zan-tileset FONT OUT.png | zan-tileset --icon SIZE TILESET.png ICON.png\n");
    return 1;
  }
  try {
    icon ? make_icon(argv[2], argv[3], argv[4]) : make_tileset(argv[1], argv[2]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zan-tileset: %s\n", error.what());
    return 1;
  }
  return 0;
}
