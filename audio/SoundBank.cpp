#include "audio/SoundBank.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <fcntl.h>
#include <unistd.h>

#include "app/Platform.h"

namespace {

// output rate, Hz
constexpr int OutputRate = 44100;
// output channels (stereo)
constexpr int OutputChannels = 2;
// mixing buffer, sample frames
constexpr int MixBufferFrames = 1024;

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

SoundBank::SoundBank() : deviceOpen(false), musicStream(nullptr), samples{} {}

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

void (*SoundBank::testOnPlaySample)(int) = nullptr;

void SoundBank::playSample(int index) {
    if (testOnPlaySample != nullptr) {
        testOnPlaySample(index);
    }
    if (index < 0 || index >= SampleCount || samples[index] == nullptr) {
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

int SoundBank::testCopiesPlaying(int index) const {
    if (!deviceOpen || index < 0 || index >= SampleCount) {
        return 0;
    }
    int copies = 0;
    for (int channel = firstChannel(index); channel < firstChannel(index) + CopiesPerSample;
         ++channel) {
        copies += Mix_Playing(channel) != 0 ? 1 : 0;
    }
    return copies;
}
