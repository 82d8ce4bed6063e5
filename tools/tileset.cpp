// zan-tileset: turns a gzip-compressed PCF bitmap font into the tileset
// libtcod loads by default, terminal.png, and that tileset into an icon.
//
//   zan-tileset FONT.pcf.gz OUT.png
//   zan-tileset --icon TILESET.png ICON.png
//
// The icon is the tileset's '@' scaled up by whole pixels and centred on a
// black square of icon_size pixels.
//
// With no font set, libtcod 1.18 reads terminal.png from the working
// directory as 16 x 16 tiles in its ASCII_INCOL layout: code page 437's
// character c is the tile in column c / 16, row c % 16. A tile in shades of
// grey without alpha is taken as a mask (black transparent, white the text
// colour), so glyphs are drawn white on black and nothing in between.
// Characters the font lacks stay blank. Every failure is one line on stderr
// and status 1.

#include <zlib.h>
#include <libtcod.hpp>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int grid = 16;       // tiles per row and per column
constexpr int icon_size = 48;  // pixels; installed as hicolor/48x48
constexpr int icon_glyph = '@';

// Unicode for each character of code page 437, as libtcod numbers its tiles.
// 0 is left blank; 0x20 to 0x7e are ASCII.
std::array<char32_t, 256> cp437() {
  std::array<char32_t, 256> table{};
  const char32_t low[32] = {0x0000, 0x263a, 0x263b, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022,
                            0x25d8, 0x25cb, 0x25d9, 0x2642, 0x2640, 0x266a, 0x266b, 0x263c,
                            0x25ba, 0x25c4, 0x2195, 0x203c, 0x00b6, 0x00a7, 0x25ac, 0x21a8,
                            0x2191, 0x2193, 0x2192, 0x2190, 0x221f, 0x2194, 0x25b2, 0x25bc};
  const char32_t high[128] = {
      0x00c7, 0x00fc, 0x00e9, 0x00e2, 0x00e4, 0x00e0, 0x00e5, 0x00e7, 0x00ea, 0x00eb, 0x00e8,
      0x00ef, 0x00ee, 0x00ec, 0x00c4, 0x00c5, 0x00c9, 0x00e6, 0x00c6, 0x00f4, 0x00f6, 0x00f2,
      0x00fb, 0x00f9, 0x00ff, 0x00d6, 0x00dc, 0x00a2, 0x00a3, 0x00a5, 0x20a7, 0x0192, 0x00e1,
      0x00ed, 0x00f3, 0x00fa, 0x00f1, 0x00d1, 0x00aa, 0x00ba, 0x00bf, 0x2310, 0x00ac, 0x00bd,
      0x00bc, 0x00a1, 0x00ab, 0x00bb, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562,
      0x2556, 0x2555, 0x2563, 0x2551, 0x2557, 0x255d, 0x255c, 0x255b, 0x2510, 0x2514, 0x2534,
      0x252c, 0x251c, 0x2500, 0x253c, 0x255e, 0x255f, 0x255a, 0x2554, 0x2569, 0x2566, 0x2560,
      0x2550, 0x256c, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256b,
      0x256a, 0x2518, 0x250c, 0x2588, 0x2584, 0x258c, 0x2590, 0x2580, 0x03b1, 0x00df, 0x0393,
      0x03c0, 0x03a3, 0x03c3, 0x00b5, 0x03c4, 0x03a6, 0x0398, 0x03a9, 0x03b4, 0x221e, 0x03c6,
      0x03b5, 0x2229, 0x2261, 0x00b1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00f7, 0x2248, 0x00b0,
      0x2219, 0x00b7, 0x221a, 0x207f, 0x00b2, 0x25a0, 0x00a0};
  for (int c = 0; c < 32; ++c) {
    table[c] = low[c];
  }
  for (int c = 32; c < 127; ++c) {
    table[c] = static_cast<char32_t>(c);
  }
  table[127] = 0x2302;
  for (int c = 0; c < 128; ++c) {
    table[128 + c] = high[c];
  }
  return table;
}

std::vector<unsigned char> read_gzip(const std::string& path) {
  gzFile file = gzopen(path.c_str(), "rb");
  if (file == nullptr) {
    throw std::runtime_error("cannot open " + path);
  }
  std::vector<unsigned char> bytes;
  unsigned char buffer[65536];
  int n;
  while ((n = gzread(file, buffer, sizeof buffer)) > 0) {
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  const bool failed = n < 0;
  gzclose(file);
  if (failed) {
    throw std::runtime_error("cannot decompress " + path);
  }
  return bytes;
}

// The PCF format, as X.Org's bdftopcf writes it: a table of contents, then
// tables that each start with a format word giving their byte order.
class Pcf {
 public:
  explicit Pcf(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {
    if (bytes_.size() < 8 || bytes_[0] != 1 || bytes_[1] != 'f' || bytes_[2] != 'c' ||
        bytes_[3] != 'p') {
      throw std::runtime_error("not a PCF font");
    }
    const std::uint32_t count = word(4, false);
    for (std::uint32_t i = 0; i < count; ++i) {
      const size_t entry = 8 + 16 * static_cast<size_t>(i);
      tables_.push_back({word(entry, false), word(entry + 4, false), word(entry + 12, false)});
    }
    read_accelerators();
    read_metrics();
    read_bitmaps();
    read_encodings();
  }

  int cell_width() const { return cell_width_; }
  int cell_height() const { return ascent_ + descent_; }

  // Calls ink(x, y) for every set pixel of the glyph for `code`, in cell
  // coordinates; false if the font has no glyph for it.
  template <typename Ink>
  bool draw(char32_t code, Ink ink) const {
    const int glyph = glyph_of(code);
    if (glyph < 0) {
      return false;
    }
    const Metric& m = metrics_.at(static_cast<size_t>(glyph));
    const int width = m.right - m.left;
    const int height = m.ascent + m.descent;
    const size_t stride = ((static_cast<size_t>(width) + 7) / 8 + pad_ - 1) / pad_ * pad_;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const size_t at = offsets_.at(static_cast<size_t>(glyph)) + y * stride + x / 8;
        if (bitmap_.at(at) & (0x80 >> (x % 8))) {
          ink(m.left + x, ascent_ - m.ascent + y);
        }
      }
    }
    return true;
  }

 private:
  struct Table {
    std::uint32_t type;
    std::uint32_t format;
    std::uint32_t offset;
  };
  struct Metric {
    int left;
    int right;
    int width;
    int ascent;
    int descent;
  };
  enum : std::uint32_t {
    accelerators = 1 << 1,
    metrics_table = 1 << 2,
    bitmaps_table = 1 << 3,
    encodings_table = 1 << 5,
    bdf_accelerators = 1 << 8,
  };
  static constexpr std::uint32_t compressed_metrics = 0x100;
  static bool big_endian(std::uint32_t format) { return (format & (1 << 2)) != 0; }

  std::uint32_t word(size_t at, bool big) const {
    if (at + 4 > bytes_.size()) {
      throw std::runtime_error("truncated PCF font");
    }
    const unsigned char* b = &bytes_[at];
    return big ? (std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 |
                  b[3])
               : (std::uint32_t{b[3]} << 24 | std::uint32_t{b[2]} << 16 | std::uint32_t{b[1]} << 8 |
                  b[0]);
  }
  int half(size_t at, bool big) const {
    if (at + 2 > bytes_.size()) {
      throw std::runtime_error("truncated PCF font");
    }
    const unsigned char* b = &bytes_[at];
    return static_cast<std::int16_t>(big ? (b[0] << 8 | b[1]) : (b[1] << 8 | b[0]));
  }
  int byte(size_t at) const {
    if (at >= bytes_.size()) {
      throw std::runtime_error("truncated PCF font");
    }
    return bytes_[at] - 0x80;
  }

  // The table of `type`; its data starts with its own format word.
  const Table& find(std::uint32_t type) const {
    for (const Table& table : tables_) {
      if (table.type == type) {
        return table;
      }
    }
    throw std::runtime_error("the PCF font lacks table " + std::to_string(type));
  }

  void read_accelerators() {
    bool found = false;
    for (const std::uint32_t type : {bdf_accelerators, accelerators}) {
      for (const Table& table : tables_) {
        if (table.type == type && !found) {
          const bool big = big_endian(table.format);
          ascent_ = static_cast<int>(word(table.offset + 12, big));
          descent_ = static_cast<int>(word(table.offset + 16, big));
          found = true;
        }
      }
    }
    if (!found || ascent_ <= 0 || descent_ < 0) {
      throw std::runtime_error("the PCF font has no usable ascent and descent");
    }
  }

  void read_metrics() {
    const Table& table = find(metrics_table);
    const bool big = big_endian(table.format);
    size_t at = table.offset + 4;
    if (table.format & compressed_metrics) {
      const int count = half(at, big);
      at += 2;
      for (int i = 0; i < count; ++i, at += 5) {
        metrics_.push_back({byte(at), byte(at + 1), byte(at + 2), byte(at + 3), byte(at + 4)});
      }
    } else {
      const auto count = word(at, big);
      at += 4;
      for (std::uint32_t i = 0; i < count; ++i, at += 12) {
        metrics_.push_back({half(at, big), half(at + 2, big), half(at + 4, big), half(at + 6, big),
                            half(at + 8, big)});
      }
    }
    for (const Metric& m : metrics_) {
      if (m.width > cell_width_) {
        cell_width_ = m.width;
      }
    }
  }

  void read_bitmaps() {
    const Table& table = find(bitmaps_table);
    const bool big = big_endian(table.format);
    const bool msb_bit_first = (table.format & (1 << 3)) != 0;
    pad_ = size_t{1} << (table.format & 3);
    const size_t unit = size_t{1} << ((table.format >> 4) & 3);
    const auto count = word(table.offset + 4, big);
    size_t at = table.offset + 8;
    for (std::uint32_t i = 0; i < count; ++i, at += 4) {
      offsets_.push_back(word(at, big));
    }
    const size_t size = word(at + 4 * (table.format & 3), big);
    at += 16;
    if (at + size > bytes_.size()) {
      throw std::runtime_error("truncated PCF font");
    }
    bitmap_.assign(bytes_.begin() + static_cast<std::ptrdiff_t>(at),
                   bytes_.begin() + static_cast<std::ptrdiff_t>(at + size));
    // Bring every row to most significant byte and bit first.
    if (big != msb_bit_first && unit > 1) {
      for (size_t i = 0; i + unit <= bitmap_.size(); i += unit) {
        for (size_t j = 0; j < unit / 2; ++j) {
          std::swap(bitmap_[i + j], bitmap_[i + unit - 1 - j]);
        }
      }
    }
    if (!msb_bit_first) {
      for (unsigned char& b : bitmap_) {
        unsigned char r = 0;
        for (int bit = 0; bit < 8; ++bit) {
          r = static_cast<unsigned char>(r | (((b >> bit) & 1) << (7 - bit)));
        }
        b = r;
      }
    }
  }

  void read_encodings() {
    const Table& table = find(encodings_table);
    const bool big = big_endian(table.format);
    const size_t at = table.offset + 4;
    min_byte2_ = half(at, big);
    max_byte2_ = half(at + 2, big);
    min_byte1_ = half(at + 4, big);
    max_byte1_ = half(at + 6, big);
    const int count = (max_byte2_ - min_byte2_ + 1) * (max_byte1_ - min_byte1_ + 1);
    for (int i = 0; i < count; ++i) {
      glyphs_.push_back(
          static_cast<std::uint16_t>(half(at + 10 + 2 * static_cast<size_t>(i), big)));
    }
  }

  int glyph_of(char32_t code) const {
    const int byte1 = static_cast<int>(code >> 8);
    const int byte2 = static_cast<int>(code & 0xff);
    if (code > 0xffff || byte1 < min_byte1_ || byte1 > max_byte1_ || byte2 < min_byte2_ ||
        byte2 > max_byte2_) {
      return -1;
    }
    const auto index = static_cast<size_t>((byte1 - min_byte1_) * (max_byte2_ - min_byte2_ + 1) +
                                           byte2 - min_byte2_);
    const std::uint16_t glyph = glyphs_.at(index);
    return glyph == 0xffff || glyph >= metrics_.size() ? -1 : glyph;
  }

  std::vector<unsigned char> bytes_;
  std::vector<Table> tables_;
  std::vector<Metric> metrics_;
  std::vector<size_t> offsets_;
  std::vector<unsigned char> bitmap_;
  std::vector<std::uint16_t> glyphs_;
  size_t pad_ = 1;
  int ascent_ = 0;
  int descent_ = 0;
  int cell_width_ = 0;
  int min_byte1_ = 0;
  int max_byte1_ = 0;
  int min_byte2_ = 0;
  int max_byte2_ = 0;
};

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

void make_icon(const char* tileset_path, const char* icon_path) {
  if (std::FILE* file = std::fopen(tileset_path, "rb")) {
    std::fclose(file);
  } else {
    throw std::runtime_error("cannot read the tileset");
  }
  TCODImage tileset(tileset_path);
  int width = 0;
  int height = 0;
  tileset.getSize(&width, &height);
  const int w = width / grid;
  const int h = height / grid;
  if (w <= 0 || h <= 0 || w > icon_size || h > icon_size) {
    throw std::runtime_error("not a tileset of 16 x 16 tiles that fit the icon");
  }
  const int scale = icon_size / std::max(w, h);
  const int left = (icon_size - scale * w) / 2;
  const int top = (icon_size - scale * h) / 2;
  TCODImage icon(icon_size, icon_size);
  for (int x = 0; x < icon_size; ++x) {
    for (int y = 0; y < icon_size; ++y) {
      icon.putPixel(x, y, TCODColor(0, 0, 0));
    }
  }
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
  if (argc == 4 && std::string(argv[1]) == "--icon") {
    try {
      make_icon(argv[2], argv[3]);
    } catch (const std::exception& error) {
      std::fprintf(stderr, "zan-tileset: %s: %s\n", argv[2], error.what());
      return 1;
    }
    return 0;
  }
  if (argc != 3) {
    std::fprintf(stderr,
                 "usage: zan-tileset FONT.pcf.gz OUT.png\n"
                 "       zan-tileset --icon TILESET.png ICON.png\n");
    return 1;
  }
  try {
    const Pcf font(read_gzip(argv[1]));
    const int w = font.cell_width();
    const int h = font.cell_height();
    TCODImage image(grid * w, grid * h);
    for (int x = 0; x < grid * w; ++x) {
      for (int y = 0; y < grid * h; ++y) {
        image.putPixel(x, y, TCODColor(0, 0, 0));
      }
    }
    const std::array<char32_t, 256> codes = cp437();
    int drawn = 0;
    for (int c = 1; c < 256; ++c) {
      const int left = c / grid * w;
      const int top = c % grid * h;
      drawn += font.draw(codes[static_cast<size_t>(c)], [&](int x, int y) {
        if (x >= 0 && x < w && y >= 0 && y < h) {
          image.putPixel(left + x, top + y, TCODColor(255, 255, 255));
        }
      });
    }
    for (char32_t c = 0x21; c < 0x7f; ++c) {
      if (font.draw(c, [](int, int) {}) == false) {
        throw std::runtime_error("the font lacks printable ASCII");
      }
    }
    save(image, argv[2]);
    std::printf("%s: %d x %d cells, %d of 255 characters\n", argv[2], w, h, drawn);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "zan-tileset: %s: %s\n", argv[1], error.what());
    return 1;
  }
  return 0;
}
