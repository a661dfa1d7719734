#include "app/RoomNotices.h"

#include <GL/gl.h>

#include <cstdio>

#include "render/Font.h"

namespace {

// Where the notices stand, game units: a band a line from the street's
// top down, the text's left edge and baseline in it; and the text's scale.
constexpr float NoticeTop = 75.0f;
constexpr float NoticeHeight = 3.0f;
constexpr float NoticeX = -38.0f;
constexpr float NoticeBaseline = 0.8f;
constexpr float NoticeScale = 0.05f;

} // namespace

void drawRoomNotices(const Lockstep& room) {
    char lines[2][160] = {"", ""};
    if (room.ended) {
        std::snprintf(lines[0], sizeof lines[0], "%s",
                      room.mendingFailed ? "THE GAME IS LOST: THE ROOM COULD NOT BE REACHED"
                                         : "THE ROOM IS GONE: THIS STREET STANDS");
    } else if (room.mending) {
        std::snprintf(lines[0], sizeof lines[0], "RECONNECTING: THE STREET WAITS FOR THE ROOM");
    } else if (room.outOfStep) {
        std::snprintf(lines[0], sizeof lines[0], "OUT OF STEP WITH THE ROOM AT TICK %u",
                      room.outOfStepTick);
    }
    if (!room.notice.empty() && room.receivedTicks < room.noticeUntilTick) {
        std::snprintf(lines[1], sizeof lines[1], "%s", room.notice.c_str());
    }
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    float top = NoticeTop;
    for (int i = 0; i < 2; ++i) {
        if (lines[i][0] == '\0') {
            continue;
        }
        // a dark band across the street's top, the text on it: readable
        // over the sky and the sidebar's strips alike
        glDisable(GL_TEXTURE_2D);
        glColor4f(0.0f, 0.0f, 0.0f, 0.7f);
        glBegin(GL_QUADS);
        glVertex3f(-50.0f, top - NoticeHeight, 0.0f);
        glVertex3f(50.0f, top - NoticeHeight, 0.0f);
        glVertex3f(50.0f, top, 0.0f);
        glVertex3f(-50.0f, top, 0.0f);
        glEnd();
        glEnable(GL_TEXTURE_2D);
        glPushMatrix();
        glTranslatef(NoticeX, top - NoticeHeight + NoticeBaseline, 0.0f);
        glScalef(NoticeScale, NoticeScale, NoticeScale);
        // a street gone wrong in red, a link being mended in amber, who
        // came and left in white
        const bool amber = i == 0 && room.mending && !room.ended;
        glColor4f(1.0f,
                  i == 1  ? 1.0f
                  : amber ? 0.8f
                          : 0.35f,
                  i == 1  ? 1.0f
                  : amber ? 0.3f
                          : 0.35f,
                  1.0f);
        Font::instance().print("%s", lines[i]);
        glPopMatrix();
        top -= NoticeHeight;
    }
    glDisable(GL_BLEND);
    glDisable(GL_TEXTURE_2D);
}
