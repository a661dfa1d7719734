#include "tests/support/SoundBankProbe.h"

#include <SDL_mixer.h>

int SoundBankProbe::copiesPlaying(int index) {
    if (!SoundBank::instance().deviceOpen || index < 0 || index >= SoundBank::SampleCount) {
        return 0;
    }
    // each effect has CopiesPerSample channels of its own, in index order
    const int first = index * SoundBank::CopiesPerSample;
    int copies = 0;
    for (int channel = first; channel < first + SoundBank::CopiesPerSample; ++channel) {
        copies += Mix_Playing(channel) != 0 ? 1 : 0;
    }
    return copies;
}

void SoundBankProbe::onPlaySample(void (*hook)(SampleIndex index)) { SoundBank::playHook = hook; }
