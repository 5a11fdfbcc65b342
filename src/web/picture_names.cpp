#include "web/picture_names.h"

#include <strings.h>

namespace plover::web {

bool IsPictureName(const std::string& name) {
    static const char* const kExtensions[] = {"jpg", "jpeg", "jpe", "jfif", "png", "gif", "bmp", "dib", "tif",
                                              "tiff", "tga", "pcx", "webp", "avif"};
    size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0) return false;
    const char* ext = name.c_str() + dot + 1;
    for (const char* e : kExtensions)
        if (strcasecmp(ext, e) == 0) return true;
    return false;
}

}  // namespace plover::web
