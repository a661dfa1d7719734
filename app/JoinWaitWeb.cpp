#include "app/JoinWait.h"

#include <emscripten.h>

#include "base/Platform.h"
#include "net/Lockstep.h"

namespace {

// what starts the game once the room has welcomed this page
int (*startGame)() = nullptr;

// A frame of the wait: the answer taken if it has come.
void hearAnswer() {
    Lockstep& room = Lockstep::instance();
    if (!room.hearAnswer(0)) {
        return;
    }
    emscripten_cancel_main_loop();
    if (!room.joined) {
        tellPlayer(room.why);
        return;
    }
    startGame();
}

} // namespace

int startWhenJoined(int (*start)()) {
    startGame = start;
    emscripten_set_main_loop(hearAnswer, 0, 0);
    return 0;
}
