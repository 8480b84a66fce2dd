// The single-file libraries' code, compiled once.
#include <cstring>  // stb_dxt uses memcpy without including it

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_DXT_IMPLEMENTATION
#include <stb_dxt.h>
#include <stb_image_write.h>
