// A GL and GLUT that draw nothing, linked into the test programs that run
// under Node in place of emscripten's, which need a page and WebGL. Names
// are handed out by counting; the few values the game reads back are
// answered as a GL would. The browser's display lists
// (render/LegacyGLWeb.cpp) record as they do in the page and replay into
// the emscripten_gl* calls here, which do nothing either.

#include "render/LegacyGLEmulation.h"

#include <GL/freeglut.h>
#include <GL/gl.h>
#include <GL/glu.h>

namespace {
GLuint nextTexture = 1;
GLint unpackAlignment = 4;
GLint matrixMode = GL_MODELVIEW;
} // namespace

extern "C" {
// What the game and the tests read back: any largest texture above the
// game's own cap on a picture's side, and the identity for a matrix.
void glGetIntegerv(GLenum name, GLint* value) {
    *value = name == GL_UNPACK_ALIGNMENT   ? unpackAlignment
             : name == GL_MATRIX_MODE      ? matrixMode
             : name == GL_MAX_TEXTURE_SIZE ? 16384
                                           : 0;
}
void glGetFloatv(GLenum, GLfloat* matrix) {
    for (int i = 0; i < 16; ++i) {
        matrix[i] = i % 5 == 0 ? 1.0f : 0.0f;
    }
}
void glPixelStorei(GLenum name, GLint value) {
    unpackAlignment = name == GL_UNPACK_ALIGNMENT ? value : unpackAlignment;
}
void glMatrixMode(GLenum mode) { matrixMode = static_cast<GLint>(mode); }
void glGenTextures(GLsizei n, GLuint* names) {
    for (GLsizei i = 0; i < n; ++i) {
        names[i] = nextTexture++;
    }
}
void glReadPixels(GLint, GLint, GLsizei, GLsizei, GLenum, GLenum, GLvoid*) {}

// What draws, and does nothing here.
void glAlphaFunc(GLenum, GLclampf) {}
void glBlendFunc(GLenum, GLenum) {}
void glClear(GLbitfield) {}
void glClearColor(GLclampf, GLclampf, GLclampf, GLclampf) {}
void glColor4f(GLfloat, GLfloat, GLfloat, GLfloat) {}
void glColor4fv(const GLfloat*) {}
void glCullFace(GLenum) {}
void glDeleteTextures(GLsizei, const GLuint*) {}
void glDepthFunc(GLenum) {}
void glDisable(GLenum) {}
void glDrawBuffer(GLenum) {}
void glEnable(GLenum) {}
void glFrontFace(GLenum) {}
void glHint(GLenum, GLenum) {}
void glLoadIdentity() {}
void glMultMatrixf(const GLfloat*) {}
void glPolygonMode(GLenum, GLenum) {}
void glReadBuffer(GLenum) {}
void glScalef(GLfloat, GLfloat, GLfloat) {}
void glShadeModel(GLenum) {}
void glViewport(GLint, GLint, GLsizei, GLsizei) {}
void gluPerspective(GLdouble, GLdouble, GLdouble, GLdouble) {}

// The emulation's entry points, where render/LegacyGLWeb.cpp carries out
// what it records.
void emscripten_glGetIntegerv(GLenum name, GLint* value) { glGetIntegerv(name, value); }
void emscripten_glMatrixMode(GLenum mode) { glMatrixMode(mode); }
GLboolean emscripten_glIsEnabled(GLenum) { return GL_FALSE; }
void emscripten_glBindTexture(GLenum, GLuint) {}
void emscripten_glPushMatrix() {}
void emscripten_glPopMatrix() {}
void emscripten_glTranslatef(GLfloat, GLfloat, GLfloat) {}
void emscripten_glBegin(GLenum) {}
void emscripten_glEnd() {}
void emscripten_glTexCoord2f(GLfloat, GLfloat) {}
void emscripten_glNormal3f(GLfloat, GLfloat, GLfloat) {}
void emscripten_glVertex3f(GLfloat, GLfloat, GLfloat) {}
void emscripten_glEnable(GLenum) {}
void emscripten_glDisable(GLenum) {}
void emscripten_glClearDepthf(GLfloat) {}
void emscripten_glTexParameteri(GLenum, GLenum, GLint) {}
void emscripten_glTexImage2D(GLenum, GLint, GLint, GLsizei, GLsizei, GLint, GLenum, GLenum,
                             const GLvoid*) {}

// A window that is never shown; the tests keep their own clock.
void glutInit(int*, char**) {}
void glutInitDisplayMode(unsigned int) {}
void glutInitWindowSize(int, int) {}
int glutCreateWindow(const char*) { return 1; }
void glutReshapeWindow(int, int) {}
void glutPostRedisplay() {}
void glutSwapBuffers() {}
int glutGet(GLenum) { return 0; }
}
