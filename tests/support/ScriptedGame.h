#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// A scripted game: what a player does, frame by frame, written down as text
// (the files under tests/games/) and played through the game's own input
// callbacks and Engine under the test clock. One step a line; '#' starts a
// comment.
//
//   street SEED          a new street from this seed, the test clock at 0,
//                        the title screen up, no key held and the cursor at 0, 0
//   frames N MS          N frames, the clock moving MS ms each ("16ms"); the
//                        engine measures each frame's step, as in the game
//   frames N MS STEP     the same with each frame's step forced to STEP
//                        ("20ms", "3us"): a clock that jumps under short steps
//   type KEYS [TIMES]    each key of KEYS pressed and released, in order; the
//                        whole run TIMES times (default once)
//   hover MENU           the cursor rests on a menu's band: signs, sales or
//                        promotions
//   point BUTTON         the cursor onto a sidebar button where it stands now,
//                        named by its trace line ("point 10% BUTTON")
//   move X Y             the cursor onto a game point
//   down / up            the left mouse button pressed / let go
//   click                pressed and let go at once (turns a still screen's page)
//   money SHOP AMOUNT    a shortcut: shop SHOP's money set to AMOUNT
//   product SHOP AMOUNT  a shortcut: shop SHOP's stock set to AMOUNT
//   frame NAME           a mark: the test looks at the game here (a golden
//                        frame, say)
//
// A networked room's game, as the server records it, in steps of its own:
//   ticks N              N ticks of the room's clock (60 a second, counted
//                        from the street's start), whatever the screen
//   key SEAT CODE        a key (by its character code) of seat 1 or 2
//   cursor X Y           the mouse seat's cursor to a game point, exactly
//                        ("%a": 0x1.2cp+0)
//   press X Y / release X Y  its left button down / up there
//   state TICK HEX       the street as a room kept it after that tick, its
//                        bytes in hexadecimal: the ticks go on from it
//   digest TICK HEX      the street after that tick must have this digest,
//                        as the room's clients agreed; a replay that differs throws
struct ScriptStep {
    enum Kind {
        Street,
        Frames,
        Type,
        Hover,
        Point,
        Move,
        Down,
        Up,
        Click,
        Money,
        Product,
        Mark,
        Ticks,
        SeatKey,
        Cursor,
        Press,
        Release,
        State,
        Digest
    };
    Kind kind;
    // frames: how many; type: how many times; money, product: the shop
    int count = 1;
    // frames: the test clock's move a frame, ms
    int clockMs = 0;
    // frames: each frame's step, seconds, or below 0 for the engine's own measure
    double stepSeconds = -1.0;
    // move: the game point; money, product: the amount (in x)
    float x = 0.0f;
    float y = 0.0f;
    // type: the keys; hover: the menu; point: the button's trace line; frame: the name
    std::string text;
    // street: the seed; key: the seat (in count) and the character code;
    // digest: the tick (in count) and the digest
    unsigned int code = 0;
    std::uint64_t digest = 0;
};

// The step one line of a script gives; a line it cannot read throws.
ScriptStep scriptStep(const std::string& line);

// The steps of a script file under tests/games/ (name without the folder).
// A line it cannot read throws, naming the file and the line.
std::vector<ScriptStep> readScript(const std::string& name);
// The same for a script anywhere (a room's recording, say).
std::vector<ScriptStep> readScriptFile(const std::string& path);

// Plays steps on the game's one street (`market`) through the input
// callbacks, the Engine and the test clock, which it owns while it plays.
struct ScriptedGame {
    // Called after each update of the street; returning false ends the play.
    std::function<bool()> afterUpdate = [] { return true; };
    // Called at each "frame NAME" mark with the name.
    std::function<void(const std::string&)> atMark = [](const std::string&) {};
    // the test clock, ms since the street began
    int nowMs = 0;
    // false once afterUpdate has ended the play
    bool playing = true;
    // a room's ticks played since the street began
    std::uint32_t roomTicksPlayed = 0;

    // Plays each step in order, until afterUpdate says stop.
    void play(const std::vector<ScriptStep>& steps);
    void play(const ScriptStep& step);
    // Sets the test clock to 0 and starts the engine's frame clock there.
    void restartClock();

  private:
    void frames(const ScriptStep& step);
    void roomTicks(int count);
    void cursorTo(float gx, float gy);
    // the left button is down: cursor moves are drags
    bool buttonDown = false;
    // where the pointer stands, game units: button events happen there
    float pointerX = 0.0f;
    float pointerY = 0.0f;
};
