#pragma once

#include "audio/SoundBank.h"

// The tests' look inside the sound bank; the game never uses it.
struct SoundBankProbe {
    // How many copies of effect index sound now (0 for an index without an
    // effect, or with no device).
    static int copiesPlaying(int index);
    // From now on playSample first calls hook with every index it is asked
    // for, whether or not a sound can play; null stops it.
    static void onPlaySample(void (*hook)(SampleIndex index));
};
