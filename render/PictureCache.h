#pragma once

#include <map>
#include <string>
#include <vector>

#include "render/PngBind.h"

// Decoded pictures kept while the game loads, so that the many textures built
// from one file (every customer's hats and bags) are all uploaded from one
// decode of it. pngBind uses the cache while one is open; when the object goes
// it is freed, memory pages included, and each use decodes its file again.
class PictureCache {
  public:
    // Opens the cache; an inner one stands in for an outer one until it goes.
    PictureCache();
    ~PictureCache();
    PictureCache(const PictureCache&) = delete;
    PictureCache& operator=(const PictureCache&) = delete;

    // The open cache, or null.
    static PictureCache* current();

    // The file's texture levels (see decodeTextureLevels), decoded at the
    // first ask; null for a file that cannot be decoded, which is not kept
    // and is tried again at its next use. maxSize must not change while the
    // cache is open (it is the GL context's largest texture).
    const std::vector<PngImage>* textureLevels(const std::string& path, int maxSize);

  private:
    // decoded files by path
    std::map<std::string, std::vector<PngImage>> pictures;
    // the cache that was open before this one, null for none
    PictureCache* outer;
};
