#include "render/UnpackAlignment.h"

#include <GL/gl.h>

UnpackAlignment::UnpackAlignment() : previous(4) {
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &previous);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
}

UnpackAlignment::~UnpackAlignment() { glPixelStorei(GL_UNPACK_ALIGNMENT, previous); }
