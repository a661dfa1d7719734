#pragma once

#include <GL/gl.h>

// The browser only: the entry points of emscripten's legacy GL emulation,
// under the names it gives them beside the usual ones, which
// render/LegacyGLWeb.cpp defines over them. The test programs for Node
// (tests/web/NoDrawGL.cpp) define them as drawing nothing.
extern "C" {
void emscripten_glBindTexture(GLenum target, GLuint texture);
void emscripten_glPushMatrix();
void emscripten_glPopMatrix();
void emscripten_glTranslatef(GLfloat x, GLfloat y, GLfloat z);
void emscripten_glBegin(GLenum mode);
void emscripten_glEnd();
void emscripten_glTexCoord2f(GLfloat s, GLfloat t);
void emscripten_glNormal3f(GLfloat x, GLfloat y, GLfloat z);
void emscripten_glVertex3f(GLfloat x, GLfloat y, GLfloat z);
void emscripten_glEnable(GLenum cap);
void emscripten_glDisable(GLenum cap);
GLboolean emscripten_glIsEnabled(GLenum cap);
void emscripten_glGetIntegerv(GLenum name, GLint* value);
void emscripten_glMatrixMode(GLenum mode);
void emscripten_glClearDepthf(GLfloat depth);
void emscripten_glTexParameteri(GLenum target, GLenum name, GLint value);
void emscripten_glTexImage2D(GLenum target, GLint level, GLint internalFormat, GLsizei width,
                             GLsizei height, GLint border, GLenum format, GLenum type,
                             const GLvoid* pixels);
}
