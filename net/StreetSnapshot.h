#pragma once

#include <string>

// MaxStreetBytes: the longest street a snapshot may hold
#include "protocol/Message.h"

struct Market;

// The whole street as bytes, exactly: the market with its shops, sidebar,
// shoppers and day clock, the random generator and the clock. A machine
// that joins late loads a recent one in place of replaying the room's game
// from its start. The bytes begin with the format's version.
std::string writeStreet(const Market& street);
// Loads what writeStreet wrote into street (and the generator and clock):
// true, or false with why and nothing changed, for bytes that are no street.
bool readStreet(const std::string& bytes, Market& street, std::string& why);
