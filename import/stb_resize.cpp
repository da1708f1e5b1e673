// The one translation unit that compiles stb_image_resize (Debian's libstb-dev ships it as
// a header holding its own implementation). It parses no files: it only filters pixels.
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb_image_resize.h>
