#pragma once

#include <set>
#include <string>

#include "render/PngDecode.h"

// PNG files into GL textures: our own small stand-in for glpng's pngBind,
// on the decoder beside it.

// mipmap mode: build every level down to 1 by 1
constexpr int PNG_BUILDMIPMAPS = -1;
// transparency mode: keep the file's alpha channel when it has one
constexpr int PNG_ALPHA = -2;

// Makes a new texture and loads the file into it; returns the texture name,
// or 0 when the file cannot be decoded or the texture budget refuses it.
// While a PictureCache is open the file is decoded only at its first use,
// and once the budget for copies is spent a file already made into a
// texture gets that texture again. In place of glpng's info record, visible
// (unless null) is set to the part of the returned texture that can show
// (see visibleBox), and left alone when 0 is returned. A texture started
// from a smaller level (see FullSizeLimit) is said to show whole.
unsigned int pngBind(const char* path, int mipmap, int trans, TextureBox* visible, int wrapst,
                     int minfilter, int magfilter);

// Every file pngBind has been asked for in this process, as it was named,
// whether it could be loaded or not: the game's pictures once it has started.
const std::set<std::string>& pngBindFiles();
