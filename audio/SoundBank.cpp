#include "audio/SoundBank.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <fcntl.h>
#include <unistd.h>

#include "base/Platform.h"

namespace {

// output rate, Hz
constexpr int OutputRate = 44100;
// output channels (stereo)
constexpr int OutputChannels = 2;
// mixing buffer, sample frames
constexpr int MixBufferFrames = 1024;
// The mixer's gain for the effects and for the music, out of MIX_MAX_VOLUME
// (128): 64 is -6 dB.  The files leave headroom (the music at -20 LUFS and
// the effects peak under -7 dBFS), but copies that start within one mixing
// buffer add up sample for sample, and the mixer clips the sum: at full gain
// three cash registers and a bell started together over the music's loudest
// moment reach 1.16 times full scale, two sales and two handouts bought at
// once by both keyboard players up to 1.67 times; at 64, 0.58 and 0.84.  The
// music is lowered with the effects, so that they keep their level over it
// (lowering only the effects would sink the footsteps under the music again).
constexpr int MixVolume = 64;

// The effects' files by sample index, relative to the working directory.
constexpr const char* SampleFiles[SoundBank::SampleCount] = {
    "./sound/bell.mp3",   "./sound/menu.mp3",      "./sound/cash.mp3",    "./sound/freehat.mp3",
    "./sound/window.mp3", "./sound/footsteps.mp3", "./sound/inflate.mp3", "./sound/hey.mp3",
};

// First mixer channel of effect index's group.
int firstChannel(int index) { return index * SoundBank::CopiesPerSample; }

// Standard error sent to nowhere for the scope: the system's sound libraries
// complain there about a missing sound card, and the game stays silent then.
struct QuietStderr {
    // the real standard error, to put back
    int saved;

    QuietStderr() : saved(dup(STDERR_FILENO)) {
        const int nowhere = open(NullDevice, O_WRONLY);
        if (nowhere >= 0) {
            dup2(nowhere, STDERR_FILENO);
            close(nowhere);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;
    ~QuietStderr() {
        if (saved >= 0) {
            dup2(saved, STDERR_FILENO);
            close(saved);
        }
    }
};

// Opens the audio output; false when there is no usable device.
bool openDevice() {
    QuietStderr quiet;
    // The game ends through the window or a signal, never through SDL's events:
    // left to itself SDL would swallow SIGINT and SIGTERM.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return false;
    }
    Mix_Init(MIX_INIT_MP3);
    if (Mix_OpenAudio(OutputRate, MIX_DEFAULT_FORMAT, OutputChannels, MixBufferFrames) != 0) {
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    return true;
}

} // namespace

SoundBank::SoundBank() : deviceOpen(false), musicStream(nullptr), samples{}, silenced(false) {}

SoundBank& SoundBank::instance() {
    static SoundBank* bank = new SoundBank();
    return *bank;
}

void SoundBank::load() {
    close();
    deviceOpen = openDevice();
    if (!deviceOpen) {
        return;
    }
    // four channels of its own for each effect, tagged with its index
    Mix_AllocateChannels(SampleCount * CopiesPerSample);
    Mix_Volume(-1, MixVolume);
    Mix_VolumeMusic(MixVolume);
    for (int index = 0; index < SampleCount; ++index) {
        Mix_GroupChannels(firstChannel(index), firstChannel(index) + CopiesPerSample - 1, index);
        samples[index] = Mix_LoadWAV(SampleFiles[index]);
    }
}

void SoundBank::close() {
    if (!deviceOpen) {
        return;
    }
    if (musicStream != nullptr) {
        Mix_FreeMusic(musicStream);
        musicStream = nullptr;
    }
    for (Mix_Chunk*& sample : samples) {
        if (sample != nullptr) {
            Mix_FreeChunk(sample);
            sample = nullptr;
        }
    }
    Mix_CloseAudio();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    deviceOpen = false;
}

void (*SoundBank::playHook)(SampleIndex) = nullptr;

void SoundBank::playSample(SampleIndex index) {
    if (playHook != nullptr) {
        playHook(index);
    }
    if (silenced || index < 0 || index >= SampleCount || samples[index] == nullptr) {
        return;
    }
    int channel = Mix_GroupAvailable(index);
    if (channel < 0) {
        // all four copies sound: the one that has played longest starts again
        channel = Mix_GroupOldest(index);
    }
    if (channel < 0) {
        // the copies ended in between: one of their channels is free now
        channel = Mix_GroupAvailable(index);
    }
    if (channel >= 0) {
        // playing on a busy channel replaces what it played
        Mix_PlayChannel(channel, samples[index], 0);
    }
}

void SoundBank::playMusic(const char* path) {
    if (!deviceOpen) {
        return;
    }
    if (musicStream != nullptr) {
        Mix_HaltMusic();
        Mix_FreeMusic(musicStream);
    }
    musicStream = Mix_LoadMUS(path);
    if (musicStream != nullptr) {
        Mix_PlayMusic(musicStream, -1);
    }
}
