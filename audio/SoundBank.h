#pragma once

// Sample indices of the eight sound effects, and "no effect".
enum SampleIndex : int {
    NoSample = -1,
    BellSample = 0,
    MenuSample = 1,
    CashSample = 2,
    FreeHatSample = 3,
    WindowSample = 4,
    FootstepsSample = 5,
    InflateSample = 6,
    HeySample = 7,
};

// The mixer's loaded effect and music track, kept opaque here.
struct Mix_Chunk;
struct _Mix_Music;

// Every sound of the game: eight effects and the looping music.
// Silent, never failing, when there is no device or a file is missing.
struct SoundBank {
    // number of sound effects
    static constexpr int SampleCount = 8;
    // mixer channels per effect: at most this many copies sound at once
    static constexpr int CopiesPerSample = 4;

    // the output device is open
    bool deviceOpen;
    // the music track that is playing, null if none
    _Mix_Music* musicStream;
    // the effects by index, null where the file could not be read
    Mix_Chunk* samples[SampleCount];
    // effects are asked for but not played: a networked street replaying
    // its room's past makes no sound of it
    bool silenced;

    static SoundBank& instance();

    // Opens the output at 44100 Hz and loads the eight effects.
    void load();
    // Plays effect index from its start; a fifth copy restarts the oldest.
    // NoSample, or an index without an effect, plays nothing.
    void playSample(SampleIndex index);
    // Replaces the music with the file at path, looping for ever.
    void playMusic(const char* path);

  private:
    // the tests' look inside (tests/support/SoundBankProbe.h)
    friend struct SoundBankProbe;
    // null in the game; a test may set it through the probe
    static void (*playHook)(SampleIndex index);

    SoundBank();
    // Frees the effects and the music and closes the device of an earlier load.
    void close();
};
