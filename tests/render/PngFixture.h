#pragma once

#include <png.h>
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

// A folder under /tmp (with an images/ folder inside) for the pictures one
// test program writes; removed when the program ends.
struct FixtureFolder {
    std::string path;
    FixtureFolder() {
        char name[] = "/tmp/pellucane-png-XXXXXX";
        if (mkdtemp(name) == nullptr) {
            throw std::runtime_error("cannot make a fixture folder");
        }
        path = name;
        std::filesystem::create_directory(path + "/images");
    }
    ~FixtureFolder() { std::filesystem::remove_all(path); }
};

inline const std::string& fixtureFolder() {
    static FixtureFolder folder;
    return folder.path;
}

// Writes pixels (rows top first, laid out as format, a PNG_FORMAT_* value)
// to name inside the fixture folder and returns the file's path.
inline std::string writePng(const std::string& name, int width, int height, png_uint_32 format,
                            const std::vector<unsigned char>& pixels,
                            const void* colormap = nullptr, int entries = 0) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = width;
    image.height = height;
    image.format = format;
    image.colormap_entries = entries;
    const std::string path = fixtureFolder() + "/" + name;
    if (!png_image_write_to_file(&image, path.c_str(), 0, pixels.data(), 0, colormap)) {
        throw std::runtime_error("cannot write " + path);
    }
    return path;
}

// count copies of one pixel.
inline std::vector<unsigned char> repeated(const std::vector<unsigned char>& pixel, int count) {
    std::vector<unsigned char> pixels;
    for (int i = 0; i < count; ++i) {
        pixels.insert(pixels.end(), pixel.begin(), pixel.end());
    }
    return pixels;
}
