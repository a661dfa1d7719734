#include "audio/SoundBank.h"

#include <SDL.h>
#include <SDL_mixer.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/SoundBankProbe.h"
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
    EXPECT_EQ(SoundBankProbe::copiesPlaying(BellSample), 4);
    Mix_ChannelFinished(countHalt);
    bank.playSample(BellSample);
    Mix_ChannelFinished(nullptr);
    EXPECT_EQ(SoundBankProbe::copiesPlaying(BellSample), 4);
    EXPECT_EQ(halts, 1);
    EXPECT_EQ(lastHalted, 0);
    // the other effects have channels of their own; the missing one is silent
    bank.playSample(HeySample);
    bank.playSample(CashSample);
    EXPECT_EQ(SoundBankProbe::copiesPlaying(HeySample), 0);
    EXPECT_EQ(SoundBankProbe::copiesPlaying(CashSample), 1);
    // indices without an effect do nothing
    bank.playSample(NoSample);
    bank.playSample(static_cast<SampleIndex>(8));
    EXPECT_EQ(SoundBankProbe::copiesPlaying(-1) + SoundBankProbe::copiesPlaying(8), 0);
}

// A silent WAV of frames sample frames in the mixer's own format (44100 Hz,
// stereo, 16 bit): the mixer reads a file by its contents, whatever its name.
std::vector<unsigned char> silentWav(std::uint32_t frames) {
    std::vector<unsigned char> bytes;
    const auto text = [&](const char* four) {
        for (int at = 0; at < 4; ++at) {
            bytes.push_back(static_cast<unsigned char>(four[at]));
        }
    };
    const auto number = [&](std::uint32_t value, int size) {
        for (int at = 0; at < size; ++at) {
            bytes.push_back(static_cast<unsigned char>(value >> (8 * at)));
        }
    };
    const std::uint32_t dataBytes = frames * 4;
    text("RIFF");
    number(36 + dataBytes, 4);
    text("WAVE");
    text("fmt ");
    number(16, 4);
    number(1, 2); // PCM
    number(2, 2);
    number(44100, 4);
    number(44100 * 4, 4);
    number(4, 2);
    number(16, 2);
    text("data");
    number(dataBytes, 4);
    bytes.resize(bytes.size() + dataBytes, 0);
    return bytes;
}

TEST(SoundBank, EachEffectPlaysItsOwnFile) {
    // every effect's file a length of its own: the bell 1000 frames, the menu
    // 2000, and so on
    const auto framesOf = [](SampleIndex index) {
        return 1000 * static_cast<std::uint32_t>(index + 1);
    };
    const std::pair<SampleIndex, const char*> files[] = {
        {BellSample, "bell"},       {MenuSample, "menu"},     {CashSample, "cash"},
        {FreeHatSample, "freehat"}, {WindowSample, "window"}, {FootstepsSample, "footsteps"},
        {InflateSample, "inflate"}, {HeySample, "hey"},
    };
    const fs::path root = scratchPath("named");
    fs::create_directories(root / "sound");
    for (const auto& [index, name] : files) {
        writeFile((root / "sound" / (std::string(name) + ".mp3")).string(),
                  silentWav(framesOf(index)));
    }
    SoundBank& bank = SoundBank::instance();
    {
        ScopedDirectory inside(root.string());
        bank.load();
    }
    ASSERT_TRUE(bank.deviceOpen);
    // SDL numbers the first device opened by name 2: held, it mixes nothing,
    // so every effect still sounds when its channel is looked at.
    constexpr SDL_AudioDeviceID mixerDevice = 2;
    ASSERT_EQ(SDL_GetAudioDeviceStatus(mixerDevice), SDL_AUDIO_PLAYING);
    struct Held {
        Held() { SDL_LockAudioDevice(mixerDevice); }
        ~Held() { SDL_UnlockAudioDevice(mixerDevice); }
    };
    {
        Held held;
        for (const auto& [index, name] : files) {
            bank.playSample(index);
            const int channel = Mix_GroupNewer(index);
            ASSERT_GE(channel, 0) << name << " plays nothing";
            const Mix_Chunk* playing = Mix_GetChunk(channel);
            ASSERT_NE(playing, nullptr);
            EXPECT_EQ(playing->alen / 4, framesOf(index))
                << "asked for " << name << ", the bank played "
                << (playing->alen % 4000 == 0 && playing->alen / 4000 - 1 < std::size(files)
                        ? files[playing->alen / 4000 - 1].second
                        : "a file of no effect");
        }
    }
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
        while (SoundBankProbe::copiesPlaying(CashSample) > 0 && SDL_GetTicks() - start < 5000) {
        }
        ASSERT_EQ(SoundBankProbe::copiesPlaying(CashSample), 0) << "an effect plays once";
    }
    EXPECT_TRUE(Mix_PlayingMusic()) << "the music starts again from its end";
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    loadBank();
}

TEST(SoundBank, TheMusicWithABurstOfEffectsNeverClips) {
    // The game's own sounds, mixed as the game mixes them into a file of our own.
    const fs::path output = scratchPath("mix.raw");
    setenv("SDL_AUDIODRIVER", "disk", 1);
    setenv("SDL_DISKAUDIOFILE", output.c_str(), 1);
    setenv("SDL_DISKAUDIODELAY", "0", 1);
    SoundBank& bank = SoundBank::instance();
    {
        ScopedDirectory inside(dataPath());
        bank.load();
    }
    ASSERT_TRUE(bank.deviceOpen);
    ASSERT_NE(bank.samples[CashSample], nullptr);
    ASSERT_NE(bank.samples[BellSample], nullptr);
    // where the music peaks: the bursts go off around that moment
    double peakSeconds = 0;
    {
        Mix_Chunk* music = Mix_LoadWAV(dataPath("sound/Brisklane.mp3").c_str());
        ASSERT_NE(music, nullptr) << Mix_GetError();
        const auto* samples = reinterpret_cast<const std::int16_t*>(music->abuf);
        const std::size_t count = music->alen / 2;
        const std::size_t at =
            static_cast<std::size_t>(std::max_element(samples, samples + count,
                                                      [](std::int16_t a, std::int16_t b) {
                                                          return std::abs(a) < std::abs(b);
                                                      }) -
                                     samples);
        peakSeconds = static_cast<double>(at / 2) / 44100.0;
        Mix_FreeChunk(music);
    }
    bank.playMusic(dataPath("sound/Brisklane.mp3").c_str());
    ASSERT_TRUE(Mix_PlayingMusic());
    // SDL numbers the first device opened by name 2: held, it mixes nothing
    // while a burst is set up, so the four effects start on the same sample,
    // as effects asked for within one mixing buffer do in the game.
    constexpr SDL_AudioDeviceID mixerDevice = 2;
    ASSERT_EQ(SDL_GetAudioDeviceStatus(mixerDevice), SDL_AUDIO_PLAYING);
    for (int lead = 0; lead <= 150; lead += 10) {
        SDL_LockAudioDevice(mixerDevice);
        Mix_SetMusicPosition(peakSeconds - lead / 1000.0);
        for (int copy = 0; copy < 3; ++copy) {
            bank.playSample(CashSample);
        }
        bank.playSample(BellSample);
        SDL_UnlockAudioDevice(mixerDevice);
        const Uint32 start = SDL_GetTicks();
        while (SoundBankProbe::copiesPlaying(CashSample) +
                       SoundBankProbe::copiesPlaying(BellSample) >
                   0 &&
               SDL_GetTicks() - start < 10000) {
        }
        ASSERT_EQ(SoundBankProbe::copiesPlaying(CashSample) +
                      SoundBankProbe::copiesPlaying(BellSample),
                  0);
    }
    // closing the device writes out the last buffer
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    loadBank();
    std::ifstream file(output, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
    std::vector<std::int16_t> mixed(bytes.size() / 2);
    std::copy_n(bytes.begin(), mixed.size() * 2, reinterpret_cast<char*>(mixed.data()));
    // 16 bursts of 1.4 s at least
    ASSERT_GT(mixed.size(), 16u * 44100u * 2u * 14u / 10u);
    int clipped = 0;
    int peak = 0;
    for (const std::int16_t sample : mixed) {
        clipped += sample >= 32767 || sample <= -32768 ? 1 : 0;
        peak = std::max(peak, std::abs(static_cast<int>(sample)));
    }
    EXPECT_EQ(clipped, 0) << "samples at full scale; peak " << peak;
    // and the bursts were loud: well over the music alone
    EXPECT_GT(peak, 16384);
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
    EXPECT_EQ(SoundBankProbe::copiesPlaying(BellSample), 0);
    EXPECT_FALSE(Mix_PlayingMusic());
    if (driver != nullptr) {
        setenv("SDL_AUDIODRIVER", previous.c_str(), 1);
    } else {
        unsetenv("SDL_AUDIODRIVER");
    }
    loadBank();
}

} // namespace
