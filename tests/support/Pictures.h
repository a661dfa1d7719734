#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "render/PngDecode.h"

// PNG files as the tests read and write them (libpng's simplified API, apart
// from the game's own decoder), and the golden-frame comparison.

// The first byte of pixel (x, row) of a picture, row 0 at the top.
inline const unsigned char* pixelBytes(const PngImage& picture, std::size_t x, std::size_t row) {
    return &picture.pixels[(row * static_cast<std::size_t>(picture.width) + x) *
                           static_cast<std::size_t>(picture.channels)];
}

// The PNG file at path as RGBA rows (channels 4) or RGB rows (channels 3),
// through libpng's simplified API; no pixels when it cannot be read.
PngImage readPng(const std::string& path, int channels = 4);

// The game's picture data/images/<name>.png as RGBA rows.
PngImage readGamePicture(const std::string& name);

// Writes RGB rows, top row first, as a width by height PNG file; false on failure.
bool writePng(const std::string& path, const std::vector<unsigned char>& rgbRows, unsigned width,
              unsigned height);

// Mesa's software renderer draws the game's frames bit for bit alike from run
// to run, process to process, with one rendering thread or many and with
// 128-bit vectors; the margins below only absorb a last-bit rounding change
// in a blended texel or a few edge pixels. The smallest fault they must show,
// a money text left up, changes hundreds of pixels by more than 100.
// A pixel matches when no channel differs from the reference by more than this.
constexpr int ChannelTolerance = 2;
// A frame matches when no more than this many pixels differ.
constexpr int PixelTolerance = 16;

// The golden frame tests/app/frames/<name>.png.
std::string goldenFramePath(const std::string& name);

// How a 1024 by 768 frame (RGB rows, top row first) differs from a golden frame.
struct FrameDifference {
    // false when the golden frame is missing or of another size
    bool readable = false;
    // pixels off by more than ChannelTolerance, and the largest channel difference
    int differing = 0;
    int worst = 0;
    // the differing pixels red on the greyed golden frame
    std::vector<unsigned char> image;

    bool matches(int pixelTolerance = PixelTolerance) const {
        return readable && differing <= pixelTolerance;
    }
};
FrameDifference compareWithGoldenFrame(const std::vector<unsigned char>& rgbRows,
                                       const std::string& name);

// Writes the frame and its difference image into frame-mismatches/ under
// the working directory, and says what differs and where they are.
std::string keepMismatch(const std::vector<unsigned char>& rgbRows, const std::string& name,
                         const FrameDifference& difference);

// Compares a 1024 by 768 frame (RGB rows, top row first) with the golden
// frame tests/app/frames/<name>.png; with PELLUCANE_UPDATE_FRAMES set it
// writes the reference instead. On a mismatch it writes the actual frame and
// a difference image (differing pixels red on the greyed reference) into
// frame-mismatches/ under the working directory and names them.
void expectGoldenFrame(const std::vector<unsigned char>& rgbRows, const std::string& name,
                       int pixelTolerance = PixelTolerance);
