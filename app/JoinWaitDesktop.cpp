#include "app/JoinWait.h"

#include "base/Platform.h"
#include "net/Lockstep.h"

int startWhenJoined(int (*start)()) {
    Lockstep& room = Lockstep::instance();
    while (!room.hearAnswer(100)) {
    }
    if (!room.joined) {
        tellPlayer(room.why);
        return 2;
    }
    return start();
}
