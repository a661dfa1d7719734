#include "audio/SoundBank.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// Loads the bank in a folder whose sound/ holds a short tone under every
// effect's name but "hey.mp3" (index 7), which is missing.
void loadBank() {
    const fs::path root = scratchPath("bank");
    fs::create_directories(root / "sound");
    for (const char* name : {"bell", "menu", "cash", "freehat", "window", "footsteps", "inflate"}) {
        fs::copy_file(fixturePath("tone.mp3"), root / "sound" / (std::string(name) + ".mp3"),
                      fs::copy_options::overwrite_existing);
    }
    {
        ScopedDirectory inside(root.string());
        SoundBank::instance().load();
    }
    // the effects are read whole at load: the folder is no longer needed
    fs::remove_all(root);
}

// Whether this process has the file at path open.
bool fileOpen(const std::string& path) {
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc/self/fd")) {
        std::error_code error;
        if (fs::read_symlink(entry.path(), error) == fs::canonical(path)) {
            return true;
        }
    }
    return false;
}

// channels the mixer cut short, and the last of them
std::atomic<int> halts{0};
std::atomic<int> lastHalted{-1};
void countHalt(int channel) {
    ++halts;
    lastHalted = channel;
}

TEST(SoundBank, FourCopiesAtMostTheOldestRestartedAndMissingFilesSilent) {
    loadBank();
    SoundBank& bank = SoundBank::instance();
    bank.playSample(BellSample);
    // the mixer dates copies by the millisecond: let the first be strictly oldest
    const Uint32 first = SDL_GetTicks();
    while (SDL_GetTicks() == first) {
    }
    for (int copy = 1; copy < 4; ++copy) {
        bank.playSample(BellSample);
    }
    EXPECT_EQ(bank.testCopiesPlaying(BellSample), 4);
    Mix_ChannelFinished(countHalt);
    bank.playSample(BellSample);
    Mix_ChannelFinished(nullptr);
    EXPECT_EQ(bank.testCopiesPlaying(BellSample), 4);
    EXPECT_EQ(halts, 1);
    EXPECT_EQ(lastHalted, 0);
    // the other effects have channels of their own; the missing one is silent
    bank.playSample(HeySample);
    bank.playSample(CashSample);
    EXPECT_EQ(bank.testCopiesPlaying(HeySample), 0);
    EXPECT_EQ(bank.testCopiesPlaying(CashSample), 1);
    // indices without an effect do nothing
    bank.playSample(-1);
    bank.playSample(8);
    EXPECT_EQ(bank.testCopiesPlaying(-1) + bank.testCopiesPlaying(8), 0);
}

TEST(SoundBank, ASecondTrackEndsAndFreesTheFirst) {
    loadBank();
    SoundBank& bank = SoundBank::instance();
    bank.playMusic(fixturePath("tone.wav").c_str());
    EXPECT_TRUE(Mix_PlayingMusic());
    EXPECT_EQ(Mix_GetMusicType(nullptr), MUS_WAV);
    EXPECT_TRUE(fileOpen(fixturePath("tone.wav")));
    bank.playMusic(fixturePath("tone.mp3").c_str());
    EXPECT_TRUE(Mix_PlayingMusic());
    EXPECT_EQ(Mix_GetMusicType(nullptr), MUS_MP3);
    EXPECT_FALSE(fileOpen(fixturePath("tone.wav")));
    // a track that cannot be read leaves the music silent
    bank.playMusic("/nonexistent/Brisklane.mp3");
    EXPECT_FALSE(Mix_PlayingMusic());
}

TEST(SoundBank, EffectsPlayOnceAndTheMusicLoops) {
    // a device that mixes as fast as it can, into nowhere
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", "/dev/null", 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    loadBank();
    SoundBank& bank = SoundBank::instance();
    ASSERT_TRUE(bank.deviceOpen);
    // The tone is both the music and the effect: two effects played out one
    // after the other outlast one pass of the music.
    bank.playMusic(fixturePath("tone.mp3").c_str());
    for (int pass = 0; pass < 2; ++pass) {
        bank.playSample(CashSample);
        // mixed at full speed the tone takes milliseconds; give it 5 s
        const Uint32 start = SDL_GetTicks();
        while (bank.testCopiesPlaying(CashSample) > 0 && SDL_GetTicks() - start < 5000) {
        }
        ASSERT_EQ(bank.testCopiesPlaying(CashSample), 0) << "an effect plays once";
    }
    EXPECT_TRUE(Mix_PlayingMusic()) << "the music starts again from its end";
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    loadBank();
}

TEST(SoundBank, WithoutADeviceEverythingIsSilentAndQuiet) {
    const char* driver = getenv("SDL_AUDIODRIVER");
    const std::string previous = driver != nullptr ? driver : "";
    // the system's sound library, which complains on stderr when it finds no card
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    testing::internal::CaptureStderr();
    loadBank();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    setenv("SDL_AUDIODRIVER", "no-such-device", 1);
    loadBank();
    SoundBank& bank = SoundBank::instance();
    bank.playSample(BellSample);
    bank.playMusic(fixturePath("tone.mp3").c_str());
    EXPECT_EQ(bank.testCopiesPlaying(BellSample), 0);
    EXPECT_FALSE(Mix_PlayingMusic());
    if (driver != nullptr) {
        setenv("SDL_AUDIODRIVER", previous.c_str(), 1);
    } else {
        unsetenv("SDL_AUDIODRIVER");
    }
    loadBank();
}

} // namespace
