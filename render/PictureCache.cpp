#include "render/PictureCache.h"

#include <utility>

#include "app/Platform.h"

namespace {

// the cache pngBind uses, null while none is open
PictureCache* openCache = nullptr;

} // namespace

PictureCache::PictureCache() : outer(openCache) { openCache = this; }

PictureCache::~PictureCache() {
    openCache = outer;
    // The decoded pictures go, and so do the pages they leave free, so that
    // the frames after loading do not run on top of them (peak memory).
    pictures.clear();
    releaseFreeMemory();
}

PictureCache* PictureCache::current() { return openCache; }

const std::vector<PngImage>* PictureCache::textureLevels(const std::string& path, int maxSize) {
    const auto found = pictures.find(path);
    if (found != pictures.end()) {
        return &found->second;
    }
    std::vector<PngImage> levels;
    if (!decodeTextureLevels(path.c_str(), maxSize, levels)) {
        return nullptr;
    }
    return &pictures.emplace(path, std::move(levels)).first->second;
}
