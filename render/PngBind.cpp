#include "render/PngBind.h"

#include <GL/gl.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "render/PictureCache.h"
#include "render/UnpackAlignment.h"

namespace {

// Picture memory, bytes: the textures made so far (four bytes a texel,
// mipmaps included) plus the decoded pictures the open cache holds. The
// game's own 689 textures take about 100 MiB, its cache 14 MiB more while
// the street loads. Every customer builds its own texture of each of its
// hats and bags, so one big hat file is loaded 69 times over:
// a copy of a file already made into a texture gets a texture of its own
// only while the memory stays within this; after that it gets the file's
// first texture again, which looks the same.
constexpr std::uint64_t CopyLimit = 160ull << 20;
// A file never made into a texture before gets its full size while the
// memory stays within this, so copies never take the room of the pictures
// after them (the sidebar, the mouse player's only controls, loads last).
constexpr std::uint64_t FullSizeLimit = 224ull << 20;
// Past the full-size limit a new file gets at most FloorSide a side (its
// mipmap levels from there down), while the memory stays within this; only
// then is it refused and drawn as a plain square. The room between the two
// limits holds 96 such pictures; the game names 49 picture files.
constexpr std::uint64_t HardLimit = 256ull << 20;
constexpr int FloorSide = 256;

// textures made so far, bytes at four a texel
std::uint64_t texturesMade = 0;

// the files asked for so far (see pngBindFiles)
std::set<std::string> filesAsked;

// Texture memory of a full mipmap chain from a width by height level,
// bytes at four a texel.
std::uint64_t chainBytes(std::uint64_t width, std::uint64_t height) {
    std::uint64_t bytes = 4 * width * height;
    while (width > 1 || height > 1) {
        width = std::max<std::uint64_t>(width / 2, 1);
        height = std::max<std::uint64_t>(height / 2, 1);
        bytes += 4 * width * height;
    }
    return bytes;
}

// Uploads one mipmap level of the bound texture.
void uploadLevel(int level, const PngImage& image) {
    const GLenum format = image.channels == 4 ? GL_RGBA : GL_RGB;
    glTexImage2D(GL_TEXTURE_2D, level, static_cast<GLint>(format), image.width, image.height, 0,
                 format, GL_UNSIGNED_BYTE, image.pixels.data());
}

// The first level a new file's texture starts from when its full size no
// longer fits: the first one at most FloorSide a side.
size_t floorLevel(const std::vector<PngImage>& levels) {
    size_t first = 0;
    while (first + 1 < levels.size() &&
           (levels[first].width > FloorSide || levels[first].height > FloorSide)) {
        ++first;
    }
    return first;
}

} // namespace

unsigned int pngBind(const char* path, int mipmap, int /*trans*/, TextureBox* visible, int wrapst,
                     int minfilter, int magfilter) {
    filesAsked.insert(path);
    // levels uploaded from a chain of n
    const auto uploadedOf = [mipmap](size_t n) { return mipmap == PNG_BUILDMIPMAPS ? n : 1; };
    PictureCache* const cache = PictureCache::current();
    const auto memory = [cache] {
        return texturesMade + (cache != nullptr ? cache->heldBytes() : 0);
    };
    // what the caller is told of the texture returned
    const auto returned = [visible](unsigned int texture, const TextureBox& shown) {
        if (visible != nullptr) {
            *visible = shown;
        }
        return texture;
    };

    // A file already made into a texture while the cache is open: a copy of
    // its own while copies fit, else that same texture again.
    PictureCache::Picture* known = cache != nullptr ? cache->find(path) : nullptr;
    if (known != nullptr && known->texture != 0 &&
        (known->levels.empty() ||
         memory() + textureBytes(known->levels, 0, uploadedOf(known->levels.size())) > CopyLimit)) {
        cache->letGo(*known);
        return returned(known->texture, known->visible);
    }
    const bool firstTexture = known == nullptr || known->texture == 0;
    // Not even a small texture fits: refused before anything is decoded.
    if (firstTexture && memory() + chainBytes(FloorSide, FloorSide) > HardLimit) {
        return 0;
    }

    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrapst);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrapst);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minfilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magfilter);

    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    maxSize = std::min(static_cast<int>(maxSize), PictureCap);
    std::vector<PngImage> ownLevels;
    PictureCache::Picture* const picture =
        cache != nullptr ? cache->picture(path, maxSize) : nullptr;
    if (picture == nullptr &&
        (cache != nullptr || !decodeTextureLevels(path, maxSize, ownLevels))) {
        return 0;
    }
    const std::vector<PngImage>& levels = picture != nullptr ? picture->levels : ownLevels;
    // A new file past the full-size limit starts from a smaller level.
    const size_t first =
        firstTexture &&
                memory() + textureBytes(levels, 0, uploadedOf(levels.size())) > FullSizeLimit
            ? floorLevel(levels)
            : 0;
    const size_t uploaded = uploadedOf(levels.size() - first);
    const TextureBox shown = first > 0            ? TextureBox{}
                             : picture != nullptr ? picture->visible
                                                  : visibleBox(levels.front());
    texturesMade += textureBytes(levels, first, uploaded);
    const UnpackAlignment unpadded;
    // Mesa gives a texture room for its whole mipmap chain at the first
    // upload only while the minification filter uses mipmaps; under
    // GL_LINEAR every further level got an allocation of its own (about
    // 70 MB more at start-up, and slower). The filter asked for is set back
    // once the levels are in; what is drawn does not change.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    uploaded > 1 ? GL_LINEAR_MIPMAP_LINEAR : minfilter);
    for (size_t index = 0; index < uploaded; ++index) {
        uploadLevel(static_cast<int>(index), levels[first + index]);
    }
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minfilter);
    if (picture != nullptr) {
        if (picture->texture == 0) {
            picture->texture = name;
            picture->visible = shown;
        }
        // Past the copy limit no further copy is made of this file.
        if (memory() > CopyLimit) {
            cache->letGo(*picture);
        }
    }
    return returned(name, shown);
}

const std::set<std::string>& pngBindFiles() { return filesAsked; }
