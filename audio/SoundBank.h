#pragma once

// Sample indices of the eight sound effects.
enum SampleIndex : int {
    BellSample = 0,
    MenuSample = 1,
    CashSample = 2,
    FreeHatSample = 3,
    WindowSample = 4,
    FootstepsSample = 5,
    InflateSample = 6,
    HeySample = 7,
};

// Every sound of the game: eight effects and the looping music.
// Silent, never failing, when there is no device or a file is missing.
struct SoundBank {
    static SoundBank& instance();

    // Opens the output at 44100 Hz and loads the eight effects.
    void load();
    // Plays effect index from its start; a fifth copy restarts the oldest.
    void playSample(int index);
    // Replaces the music with the file at path, looping for ever.
    void playMusic(const char* path);

  private:
    SoundBank();
};
