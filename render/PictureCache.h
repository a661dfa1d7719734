#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "render/PngDecode.h"

// Decoded pictures kept while the game loads, so that the many textures built
// from one file (every customer's hats and bags) are all uploaded from one
// decode of it, and, once copies are no longer made, all share the file's
// first texture. pngBind uses the cache while one is open; when the object
// goes it is freed, memory pages included, and each use decodes its file
// again.
class PictureCache {
  public:
    // One file as the cache knows it.
    struct Picture {
        // its texture levels (see decodeTextureLevels); empty once let go
        std::vector<PngImage> levels;
        // the first texture made from it while the cache is open, 0 before
        unsigned int texture = 0;
        // the part of the texture that can show: of its full-size level
        // (see visibleBox) until the first texture says otherwise
        TextureBox visible;
    };

    // Opens the cache; an inner one stands in for an outer one until it goes.
    PictureCache();
    ~PictureCache();
    PictureCache(const PictureCache&) = delete;
    PictureCache& operator=(const PictureCache&) = delete;

    // The open cache, or null.
    static PictureCache* current();

    // The file's entry, decoded at the first ask; null for a file that
    // cannot be decoded, which is not kept and is tried again at its next
    // use. maxSize must not change while the cache is open (it is the
    // largest texture side).
    Picture* picture(const std::string& path, int maxSize);
    // The file's entry if it has one, without decoding; null otherwise.
    Picture* find(const std::string& path);
    // Frees the entry's levels (no more textures are made from them); its
    // texture stays known.
    void letGo(Picture& entry);
    // Bytes of decoded levels held.
    std::uint64_t heldBytes() const { return held; }

  private:
    // files by path
    std::map<std::string, Picture> pictures;
    // bytes of their levels
    std::uint64_t held = 0;
    // the cache that was open before this one, null for none
    PictureCache* outer;
};
