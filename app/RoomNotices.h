#pragma once

#include "net/Lockstep.h"

// The room's notices over the street: who came and left, a link being
// mended, and a street that went its own way.
void drawRoomNotices(const Lockstep& room);
