#include "render/PictureCache.h"

#include <utility>

#include "base/Platform.h"

namespace {

// the cache pngBind uses, null while none is open
PictureCache* openCache = nullptr;

// Bytes the levels take in memory.
std::uint64_t levelBytes(const std::vector<PngImage>& levels) {
    std::uint64_t bytes = 0;
    for (const PngImage& level : levels) {
        bytes += level.pixels.size();
    }
    return bytes;
}

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

PictureCache::Picture* PictureCache::picture(const std::string& path, int maxSize) {
    Picture* const known = find(path);
    if (known != nullptr) {
        return known;
    }
    Picture decoded;
    if (!decodeTextureLevels(path.c_str(), maxSize, decoded.levels)) {
        return nullptr;
    }
    decoded.visible = visibleBox(decoded.levels.front());
    held += levelBytes(decoded.levels);
    return &pictures.emplace(path, std::move(decoded)).first->second;
}

PictureCache::Picture* PictureCache::find(const std::string& path) {
    const auto found = pictures.find(path);
    return found != pictures.end() ? &found->second : nullptr;
}

void PictureCache::letGo(Picture& entry) {
    held -= levelBytes(entry.levels);
    std::vector<PngImage>().swap(entry.levels);
}
