#pragma once

// The screens the window shows, in the order the player meets them.
enum GameStateValue : int { Title = 0, Instructions = 1, Playing = 2 };

// Which screen is up: 0 title, 1 instructions, 2 playing. Only moves forward.
extern int GameState;
