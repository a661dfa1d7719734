#include "app/GameState.h"

int GameState = Title;
