#pragma once

#include <initializer_list>

// How the owner draws a picture: by the alpha test (beginSpriteDrawing),
// or opaque whatever its alpha holds (the title and the instructions).
enum class SpriteDrawing { AlphaTested, Opaque };

// Builds a picture as one display list: its texture and a unit square
// centred on the origin. A list of 0 or more is left alone; a texture of -1
// is loaded from pngPath (a missing file binds texture 0: a plain square).
// A picture loaded here and drawn by the alpha test is drawn only within the
// window pixels round the part of its square that can show (see visibleBox
// and drawSpriteQuad): the same pixels at a fraction of the fill.
void buildSpriteQuad(int& list, int& texture, const char* pngPath,
                     SpriteDrawing drawing = SpriteDrawing::AlphaTested);

// A picture file and the list it is built into.
struct SpriteQuadFile {
    // the owner's list variable, -1 until built
    int* list;
    // the PNG file, relative to the working directory
    const char* pngPath;
    // how the owner draws it
    SpriteDrawing drawing = SpriteDrawing::AlphaTested;
};

// Whether pictures drawn by the alpha test and built from now on are
// scissored to what they show (the default); the benchmark builds them
// unscissored too, to compare.
void scissorSpriteQuads(bool scissor);

// Builds each picture in order, each from its file into a texture of its own.
void loadSpriteQuads(std::initializer_list<SpriteQuadFile> files);

// Draws a built picture centred on (x, y, z), width by height, between its
// own push and pop of the modelview matrix; a picture still -1 draws nothing.
// A scissored picture is drawn with the scissor test round the part of it
// that can show, where the camera's view puts it, and leaves the test off.
void drawSpriteQuad(int list, float x, float y, float z, float width, float height);

// Turns on what drawing pictures needs: texturing, blending by the picture's
// alpha, and fully transparent pixels discarded.
void beginSpriteDrawing();

// Turns texturing, blending and the alpha test off again.
void endSpriteDrawing();
