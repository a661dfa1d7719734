// The browser only, picked by CMake for emscripten: the calls of OpenGL 1.1
// the game makes that emscripten's legacy GL emulation lacks. Display lists
// are recorded here and replayed through the emulation's immediate mode;
// glPushAttrib and glPopAttrib keep what the text drawing changes; the calls
// with doubles go to their float counterparts; and two texture calls are
// given what WebGL takes in place of what it refuses.
//
// The recorder holds what the game's lists hold (a sprite's and a glyph's):
// a texture bind, matrix pushes, pops and translations, and one
// glBegin/glEnd with texture coordinates, normals and vertices. While a list
// is recorded, those calls are kept instead of carried out; every other call
// is carried out at once, as none other is made then. The emulation takes a
// glBegin's vertices as records alike, each with the same attributes: a
// normal given once in a glBegin is kept before each of its vertices.

#include "render/LegacyGLEmulation.h"

#include <GL/gl.h>
#include <emscripten.h>

#include <functional>
#include <unordered_map>
#include <vector>

namespace {

// Whether texturing is on: the emulation keeps that for itself and answers
// glIsEnabled(GL_TEXTURE_2D) with false.
EM_JS(int, textureEnabled, (), {
    return GLImmediate.TexEnvJIT.getTexUnitType(GLImmediate.TexEnvJIT.getActiveTexture()) != 0;
});

// A call kept in a list: the emulation's entry point with its arguments.
using Command = std::function<void()>;

std::unordered_map<GLuint, std::vector<Command>> lists;
GLuint nextList = 1;
GLuint listBase = 0;

// The list being recorded, its name and whether it is carried out as well.
bool recording = false;
bool executing = true;
GLuint recordedList = 0;
std::vector<Command> recorded;
// the normal given in the glBegin being recorded, if one was
bool normalGiven = false;
Command normal;

// Keeps a call while a list is recorded, and carries it out unless the list
// is only compiled.
template <typename Call> void record(Call call) {
    if (recording) {
        recorded.emplace_back(call);
    }
    if (executing) {
        call();
    }
}

void callList(GLuint list) {
    const auto found = lists.find(list);
    if (found == lists.end()) {
        return;
    }
    for (const Command& command : found->second) {
        command();
    }
}

// The capabilities the game turns on and off, which GL_ENABLE_BIT keeps.
constexpr GLenum KeptCapabilities[] = {GL_TEXTURE_2D, GL_BLEND,    GL_ALPHA_TEST,
                                       GL_DEPTH_TEST, GL_LIGHTING, GL_CULL_FACE};
constexpr unsigned CapabilityCount = sizeof KeptCapabilities / sizeof KeptCapabilities[0];

struct Attributes {
    GLbitfield mask;
    GLuint listBase;
    GLint matrixMode;
    bool enabled[CapabilityCount];
};

std::vector<Attributes> attributeStack;

} // namespace

extern "C" {

GLuint glGenLists(GLsizei range) {
    if (range <= 0) {
        return 0;
    }
    const GLuint first = nextList;
    nextList += static_cast<GLuint>(range);
    return first;
}

void glDeleteLists(GLuint list, GLsizei range) {
    for (GLsizei k = 0; k < range; ++k) {
        lists.erase(list + static_cast<GLuint>(k));
    }
}

void glNewList(GLuint list, GLenum mode) {
    if (recording || list == 0) {
        return;
    }
    recording = true;
    executing = mode == GL_COMPILE_AND_EXECUTE;
    recordedList = list;
    recorded.clear();
}

void glEndList() {
    if (!recording) {
        return;
    }
    lists[recordedList] = recorded;
    recording = false;
    executing = true;
}

void glCallList(GLuint list) { callList(list); }

void glListBase(GLuint base) { listBase = base; }

// The game calls lists by bytes (the characters of a text) alone.
void glCallLists(GLsizei n, GLenum type, const GLvoid* names) {
    if (type != GL_UNSIGNED_BYTE) {
        return;
    }
    const GLubyte* bytes = static_cast<const GLubyte*>(names);
    for (GLsizei k = 0; k < n; ++k) {
        callList(listBase + bytes[k]);
    }
}

void glBindTexture(GLenum target, GLuint texture) {
    record([=] { emscripten_glBindTexture(target, texture); });
}

void glPushMatrix() {
    record([] { emscripten_glPushMatrix(); });
}

void glPopMatrix() {
    record([] { emscripten_glPopMatrix(); });
}

void glTranslatef(GLfloat x, GLfloat y, GLfloat z) {
    record([=] { emscripten_glTranslatef(x, y, z); });
}

void glBegin(GLenum mode) {
    normalGiven = false;
    record([=] { emscripten_glBegin(mode); });
}

void glEnd() {
    record([] { emscripten_glEnd(); });
}

void glTexCoord2f(GLfloat s, GLfloat t) {
    record([=] { emscripten_glTexCoord2f(s, t); });
}

void glTexCoord2d(GLdouble s, GLdouble t) {
    glTexCoord2f(static_cast<GLfloat>(s), static_cast<GLfloat>(t));
}

void glClearDepth(GLclampd depth) { emscripten_glClearDepthf(static_cast<GLfloat>(depth)); }

// WebGL has no GL_CLAMP, whose edge texels blend with the (transparent)
// border: its nearest is GL_CLAMP_TO_EDGE. Refused, it would leave the
// texture repeating, the opposite edge bleeding in.
void glTexParameteri(GLenum target, GLenum name, GLint value) {
    emscripten_glTexParameteri(target, name, value == GL_CLAMP ? GL_CLAMP_TO_EDGE : value);
}

// WebGL takes pixels only into a texture of their own format: a glyph's
// luminance and alpha become a luminance-alpha texture rather than an RGBA
// one, which reads the same (the luminance in red, green and blue).
void glTexImage2D(GLenum target, GLint level, GLint, GLsizei width, GLsizei height, GLint border,
                  GLenum format, GLenum type, const GLvoid* pixels) {
    emscripten_glTexImage2D(target, level, static_cast<GLint>(format), width, height, border,
                            format, type, pixels);
}

// Kept for the vertices that follow, instead of in its place.
void glNormal3f(GLfloat x, GLfloat y, GLfloat z) {
    const auto call = [=] { emscripten_glNormal3f(x, y, z); };
    if (recording) {
        normal = call;
        normalGiven = true;
    }
    if (executing) {
        call();
    }
}

void glVertex2f(GLfloat x, GLfloat y) { glVertex3f(x, y, 0.0f); }

void glVertex3f(GLfloat x, GLfloat y, GLfloat z) {
    if (recording && normalGiven) {
        recorded.push_back(normal);
    }
    record([=] { emscripten_glVertex3f(x, y, z); });
}

// Keeps the list base, the matrix mode and the capabilities above; the
// current colour (GL_CURRENT_BIT) is left as it is, as the text drawing
// sets none.
void glPushAttrib(GLbitfield mask) {
    Attributes kept{mask, listBase, 0, {}};
    emscripten_glGetIntegerv(GL_MATRIX_MODE, &kept.matrixMode);
    for (unsigned k = 0; k < CapabilityCount; ++k) {
        kept.enabled[k] = KeptCapabilities[k] == GL_TEXTURE_2D
                              ? textureEnabled() != 0
                              : emscripten_glIsEnabled(KeptCapabilities[k]) != GL_FALSE;
    }
    attributeStack.push_back(kept);
}

void glPopAttrib() {
    if (attributeStack.empty()) {
        return;
    }
    const Attributes kept = attributeStack.back();
    attributeStack.pop_back();
    if ((kept.mask & GL_LIST_BIT) != 0) {
        listBase = kept.listBase;
    }
    if ((kept.mask & GL_TRANSFORM_BIT) != 0) {
        emscripten_glMatrixMode(static_cast<GLenum>(kept.matrixMode));
    }
    if ((kept.mask & GL_ENABLE_BIT) != 0) {
        for (unsigned k = 0; k < CapabilityCount; ++k) {
            if (kept.enabled[k]) {
                emscripten_glEnable(KeptCapabilities[k]);
            } else {
                emscripten_glDisable(KeptCapabilities[k]);
            }
        }
    }
}

} // extern "C"
