/* The tileset, linked into the page's program: the page has no file system
   (cmake/web.cmake), and the program's fopen gives the library this copy
   (src/platform_web.cpp). C23's #embed takes the build's terminal.png. */
#include <stddef.h>

const unsigned char zan_tileset_png[] = {
#embed "terminal.png"
};
const size_t zan_tileset_png_size = sizeof zan_tileset_png;
