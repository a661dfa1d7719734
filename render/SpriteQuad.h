#pragma once

// Builds a picture as one display list: its texture and a unit square
// centred on the origin. A list of 0 or more is left alone; a texture of -1
// is loaded from pngPath (a missing file binds texture 0: a plain square).
void buildSpriteQuad(int& list, int& texture, const char* pngPath);
