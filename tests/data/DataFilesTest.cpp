// The game reads its pictures, font and sounds from data/ at start-up and
// reports none of them missing: a bad file only shows as a white square or a
// silent event.  These tests open every file the game reads, the way the game's
// libraries will, and check the properties the drawing code relies on.

#include <gtest/gtest.h>

#include <SDL.h>
#include <SDL_mixer.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <numeric>
#include <set>
#include <string>
#include <vector>

#include "app/Engine.h"
#include "render/PngBind.h"
#include "tests/support/Pictures.h"
#include "tests/support/TestSupport.h"

namespace {

// Pictures drawn over another picture on the same square: wherever they are
// not fully transparent they hide what is beneath.  (The bankrupt overlay is
// meant to cover the whole building.)
const char* const kOverlays[] = {
    "windowDisplay",    "freehats",     "statbox",        "sidebar",    "topHat",
    "jesterhat",        "visor",        "malehotbeatbag", "maletopbag", "malemusicbag",
    "femalehotbeatbag", "femaletopbag", "femalemusicbag",
};

// Alpha of the pixel at fractions (fx, fy) of the width and height, fy
// measured from the bottom edge, as the game's y axis runs.
int alphaAt(const PngImage& picture, double fx, double fy) {
    const auto x = static_cast<std::size_t>(fx * (picture.width - 1) + 0.5);
    const auto row = static_cast<std::size_t>((1.0 - fy) * (picture.height - 1) + 0.5);
    return pixelBytes(picture, x, row)[3];
}

// The share of the picture's pixels that are fully transparent, 0..1.
double transparentShare(const PngImage& picture) {
    std::size_t holes = 0;
    for (std::size_t i = 3; i < picture.pixels.size(); i += 4)
        holes += picture.pixels[i] == 0;
    return static_cast<double>(holes) / (static_cast<double>(picture.width) * picture.height);
}

bool isPowerOfTwo(int n) { return n != 0 && (n & (n - 1)) == 0; }

TEST(DataPictures, TheGameLoadsEveryPictureShippedEachAtAPowerOfTwoSize) {
    // the files the game asks for as it starts, relative to data/
    ensureGlContext();
    {
        ScopedDirectory data(dataPath());
        Engine::instance().initialise();
    }
    std::set<std::string> loaded;
    for (const std::string& path : pngBindFiles()) {
        loaded.insert(path.rfind("./", 0) == 0 ? path.substr(2) : path);
    }
    std::set<std::string> shipped;
    for (const auto& entry : std::filesystem::directory_iterator(dataPath("images"))) {
        if (entry.path().extension() == ".png") {
            shipped.insert("images/" + entry.path().filename().string());
        }
    }
    std::vector<std::string> unmatched;
    std::set_symmetric_difference(loaded.begin(), loaded.end(), shipped.begin(), shipped.end(),
                                  std::back_inserter(unmatched));
    EXPECT_EQ(unmatched, std::vector<std::string>{})
        << "pictures the game loads that data/images lacks, or that it holds and the game never "
           "loads";
    for (const std::string& path : loaded) {
        SCOPED_TRACE(path);
        const PngImage picture = readPng(dataPath(path));
        ASSERT_FALSE(picture.pixels.empty());
        // other sizes are rescaled by nearest-pixel sampling at load, which looks jagged
        EXPECT_TRUE(isPowerOfTwo(picture.width)) << picture.width;
        EXPECT_TRUE(isPowerOfTwo(picture.height)) << picture.height;
        EXPECT_GE(picture.width, 64);
        EXPECT_LE(picture.width, 1024);
    }
}

TEST(DataPictures, BackgroundHasNoHoles) {
    // the street is drawn with the alpha test on: a transparent pixel would let
    // the cleared frame show through
    const PngImage background = readGamePicture("background");
    ASSERT_FALSE(background.pixels.empty());
    for (std::size_t i = 3; i < background.pixels.size(); i += 4) {
        ASSERT_EQ(background.pixels[i], 255) << "pixel " << i / 4;
    }
}

TEST(DataPictures, OverlaysLeaveWhatIsBeneathVisible) {
    for (const char* name : kOverlays) {
        SCOPED_TRACE(name);
        const PngImage picture = readGamePicture(name);
        ASSERT_FALSE(picture.pixels.empty());
        // hats and bags are a small part of the customer's square; the building
        // overlays and the panels cover part of theirs
        EXPECT_GT(transparentShare(picture), 0.3);
        EXPECT_LT(transparentShare(picture), 1.0) << "the overlay shows nothing";
    }
}

TEST(DataPictures, StatusPanelSitsBehindTheStatusLinesOnly) {
    // The box is 25 units high, centred 30 below the shop (window y -5..20); the
    // three lines are printed from 1 unit inside its left edge at window y 1.5,
    // 4.5 and 6.5, and customers walk above it.
    const PngImage box = readGamePicture("statbox");
    ASSERT_FALSE(box.pixels.empty());
    for (double y : {1.5, 4.5, 6.5, 7.8}) {
        for (double x : {1.0, 12.5, 23.0}) {
            EXPECT_GT(alphaAt(box, x / 25.0, (y + 5.0) / 25.0), 200) << "x " << x << " y " << y;
        }
    }
    for (double y : {12.0, 16.0, 19.5}) {
        EXPECT_EQ(alphaAt(box, 0.5, (y + 5.0) / 25.0), 0) << "y " << y;
    }
}

TEST(DataPictures, SidebarCoversOnlyTheButtonColumn) {
    // 40 x 120 units centred at (-46, 37.5): its columns 40%..60% are window
    // x -50..-42, where the menu buttons stand; right of that lies shop 1.
    const PngImage panel = readGamePicture("sidebar");
    ASSERT_FALSE(panel.pixels.empty());
    auto fy = [](double windowY) { return (windowY + 22.5) / 120.0; };
    for (double y : {31.5, 43.0, 55.5, 63.5, 71.5}) {
        EXPECT_GT(alphaAt(panel, 0.5, fy(y)), 200) << "behind the buttons at y " << y;
        EXPECT_EQ(alphaAt(panel, 0.75, fy(y)), 0) << "over the street at y " << y;
    }
    EXPECT_EQ(alphaAt(panel, 0.5, fy(10.0)), 0) << "over the walkers";
}

// ------------------------------------------------------------------ loudness

// One second-order filter section (a0 = 1).
struct Biquad {
    double b0, b1, b2, a1, a2;
    double x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    double operator()(double x) {
        const double y = b0 * x + b1 * x1 + b2 * x2 - a1 * y1 - a2 * y2;
        x2 = x1;
        x1 = x;
        y2 = y1;
        y1 = y;
        return y;
    }
};

// The two sections of the K-weighting of ITU-R BS.1770, the ear of a loudness
// meter, at the given rate: a +4 dB shelf above about 1.7 kHz, a 38 Hz high-pass.
std::vector<Biquad> kWeighting(int rate) {
    const double pi = 3.14159265358979323846;
    double k = std::tan(pi * 1681.974450955533 / rate);
    const double q1 = 0.7071752369554196;
    const double vh = std::pow(10.0, 3.999843853973347 / 20);
    const double vb = std::pow(vh, 0.4996667741545416);
    double a0 = 1 + k / q1 + k * k;
    const Biquad shelf{(vh + vb * k / q1 + k * k) / a0, 2 * (k * k - vh) / a0,
                       (vh - vb * k / q1 + k * k) / a0, 2 * (k * k - 1) / a0,
                       (1 - k / q1 + k * k) / a0};
    k = std::tan(pi * 38.13547087602444 / rate);
    const double q2 = 0.5003270373238773;
    a0 = 1 + k / q2 + k * k;
    const Biquad highPass{1, -2, 1, 2 * (k * k - 1) / a0, (1 - k / q2 + k * k) / a0};
    return {shelf, highPass};
}

// A second-order Butterworth section at cutoff Hz, a low-pass (high false) or
// a high-pass (high true), for band levels.
Biquad butterworth(double cutoff, int rate, bool high) {
    const double w = 2 * 3.14159265358979323846 * cutoff / rate;
    const double alpha = std::sin(w) / (2 * 0.7071067811865476);
    const double a0 = 1 + alpha;
    const double c = std::cos(w);
    const double sign = high ? -1 : 1;
    const double b0 = (1 - sign * c) / 2 / a0;
    return {b0, 2 * sign * b0, b0, -2 * c / a0, (1 - alpha) / a0};
}

// Running sums of the squares of interleaved samples through the filters, one
// channel after another and added: sums[i] covers the first i frames.
std::vector<double> powerSums(const std::vector<std::int16_t>& samples, std::size_t channels,
                              const std::vector<Biquad>& filters) {
    const std::size_t frames = samples.size() / channels;
    std::vector<double> sums(frames + 1, 0.0);
    for (std::size_t c = 0; c < channels; ++c) {
        std::vector<Biquad> chain = filters;
        double total = 0;
        for (std::size_t i = 0; i < frames; ++i) {
            double v = samples[i * channels + c] / 32768.0;
            for (Biquad& f : chain)
                v = f(v);
            total += v * v;
            sums[i + 1] += total;
        }
    }
    return sums;
}

// Frames in a span of hundredths of a second at rate frames a second.
std::size_t framesIn(int rate, std::size_t hundredths) {
    return static_cast<std::size_t>(rate) * hundredths / 100;
}

double lufs(double power) { return -0.691 + 10 * std::log10(std::max(power, 1e-20)); }

double mean(const std::vector<double>& values) {
    return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

// Mean power of every window of `window` frames starting every `step` frames;
// frames past the end count as silence, as a meter runs on after a short sound.
std::vector<double> windowPowers(const std::vector<double>& sums, std::size_t window,
                                 std::size_t step, bool runOn) {
    const std::size_t frames = sums.size() - 1;
    const std::size_t last = runOn ? frames : (frames >= window ? frames - window : 0);
    std::vector<double> powers;
    for (std::size_t start = 0; start <= last; start += step) {
        const std::size_t end = std::min(frames, start + window);
        powers.push_back((sums[end] - sums[start]) / static_cast<double>(window));
    }
    return powers;
}

// Loudness (LUFS) of the loudest 400 ms.
double loudest400ms(const std::vector<double>& sums, int rate) {
    const std::vector<double> p = windowPowers(sums, framesIn(rate, 40), framesIn(rate, 1), true);
    return lufs(*std::max_element(p.begin(), p.end()));
}

// The powers above an absolute gate of -70 LUFS and a gate `relative` LU under
// their mean, as integrated loudness and loudness range count them.
std::vector<double> gated(const std::vector<double>& powers, double relative) {
    std::vector<double> kept;
    for (double p : powers)
        if (lufs(p) > -70)
            kept.push_back(p);
    const double gate = lufs(mean(kept)) + relative;
    std::vector<double> out;
    for (double p : kept)
        if (lufs(p) > gate)
            out.push_back(p);
    return out;
}

// Integrated loudness (LUFS): 400 ms blocks every 100 ms, gated.
double integratedLoudness(const std::vector<double>& sums, int rate) {
    const std::vector<double> kept =
        gated(windowPowers(sums, framesIn(rate, 40), framesIn(rate, 10), false), -10);
    return lufs(mean(kept));
}

// Loudness range (LU): the spread from the 10th to the 95th percentile of the
// 3 s loudness, gated 20 LU under its mean.
double loudnessRange(const std::vector<double>& sums, int rate) {
    std::vector<double> kept =
        gated(windowPowers(sums, framesIn(rate, 300), framesIn(rate, 10), false), -20);
    std::sort(kept.begin(), kept.end());
    const auto at = [&](double share) {
        return lufs(kept[static_cast<std::size_t>(share * static_cast<double>(kept.size() - 1))]);
    };
    return at(0.95) - at(0.10);
}

// ------------------------------------------------------------------ sounds

class DataSounds : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        audioReady = SDL_Init(SDL_INIT_AUDIO) == 0;
        if (audioReady) {
            Mix_Init(MIX_INIT_MP3);
            audioReady = Mix_OpenAudio(44100, MIX_DEFAULT_FORMAT, 2, 1024) == 0;
        }
        if (audioReady) {
            int channels = 0;
            Mix_QuerySpec(&frequency, &format, &channels);
            outputChannels = static_cast<std::size_t>(channels);
        }
    }

    static void TearDownTestSuite() {
        if (audioReady)
            Mix_CloseAudio();
        Mix_Quit();
        SDL_Quit();
    }

    void SetUp() override {
        ASSERT_TRUE(audioReady) << SDL_GetError();
        ASSERT_EQ(format, AUDIO_S16SYS);
    }

    // A decoded sound at the mixer's output format.
    struct Decoded {
        bool ok = false;
        double seconds = 0;
        double peak = 0; // 0..1
        std::vector<std::int16_t> samples;
    };

    static Decoded decode(const std::string& name) {
        Decoded d;
        Mix_Chunk* chunk = Mix_LoadWAV(dataPath("sound/" + name).c_str());
        if (!chunk)
            return d;
        const auto* begin = reinterpret_cast<const std::int16_t*>(chunk->abuf);
        d.samples.assign(begin, begin + chunk->alen / 2);
        Mix_FreeChunk(chunk);
        d.ok = true;
        d.seconds =
            static_cast<double>(d.samples.size()) / static_cast<double>(outputChannels) / frequency;
        for (std::int16_t s : d.samples)
            d.peak = std::max(d.peak, std::abs(s) / 32768.0);
        return d;
    }

    static double rmsDb(const std::vector<std::int16_t>& s, std::size_t from, std::size_t count) {
        double sum = 0;
        for (std::size_t i = from; i < from + count; ++i)
            sum += double(s[i]) * s[i];
        return 20 * std::log10(std::sqrt(sum / static_cast<double>(count)) / 32768.0 + 1e-12);
    }

    static bool audioReady;
    static int frequency;
    static Uint16 format;
    static std::size_t outputChannels;
};

bool DataSounds::audioReady = false;
int DataSounds::frequency = 0;
Uint16 DataSounds::format = 0;
std::size_t DataSounds::outputChannels = 2;

TEST_F(DataSounds, EveryEffectDecodesShortAndUnclipped) {
    struct Effect {
        const char* file;
        double minSeconds, maxSeconds;
    };
    const Effect effects[] = {
        {"bell.mp3", 0.3, 3.0},
        {"menu.mp3", 0.02, 1.0},
        {"cash.mp3", 0.3, 3.0},
        {"freehat.mp3", 0.1, 2.0},
        {"window.mp3", 0.3, 3.0},
        // restarted at most every 1.64 s while customers head for a shop
        {"footsteps.mp3", 1.3, 1.64},
        {"inflate.mp3", 0.3, 3.0},
        {"hey.mp3", 0.2, 1.5},
    };
    for (const Effect& e : effects) {
        SCOPED_TRACE(e.file);
        const Decoded d = decode(e.file);
        ASSERT_TRUE(d.ok) << Mix_GetError();
        EXPECT_GE(d.seconds, e.minSeconds);
        EXPECT_LE(d.seconds, e.maxSeconds);
        EXPECT_LT(d.peak, 0.891) << "peaks above -1 dBFS";       // -1 dBFS
        EXPECT_GT(d.peak, 0.1) << "too quiet beside the others"; // -20 dBFS
    }
}

TEST_F(DataSounds, MusicStreamsAndLoopsWithoutAGap) {
    Mix_Music* music = Mix_LoadMUS(dataPath("sound/Brisklane.mp3").c_str());
    ASSERT_NE(music, nullptr) << Mix_GetError();
    EXPECT_EQ(Mix_GetMusicType(music), MUS_MP3);
    Mix_FreeMusic(music);

    const Decoded d = decode("Brisklane.mp3");
    ASSERT_TRUE(d.ok) << Mix_GetError();
    EXPECT_GE(d.seconds, 60.0);
    EXPECT_LT(d.peak, 0.999) << "clipped";
    // The track loops for ever: silence at either end (an encoder's padding, a
    // late first note) would be heard as a gap at every turn.
    const std::size_t edge = static_cast<std::size_t>(0.02 * frequency) * outputChannels;
    ASSERT_GT(d.samples.size(), 2 * edge);
    EXPECT_GT(rmsDb(d.samples, 0, edge), -45.0) << "silent start";
    EXPECT_GT(rmsDb(d.samples, d.samples.size() - edge, edge), -45.0) << "silent end";
    // and the last sample runs on into the first without a jump (a click)
    for (std::size_t c = 0; c < outputChannels; ++c) {
        const int last = d.samples[d.samples.size() - outputChannels + c];
        const int first = d.samples[c];
        EXPECT_LT(std::abs(last - first), 3000) << "channel " << c;
    }
}

TEST_F(DataSounds, EffectsStandAtTheirLevelsOverTheMusic) {
    // Loudest 400 ms, in LUFS: the music sits at -20 integrated and the effects
    // that mark a purchase 7 LU over it; the cash register 4 LU, since two or
    // three ring at once; the footsteps 8 LU under it.
    const std::vector<Biquad> k = kWeighting(frequency);
    const Decoded music = decode("Brisklane.mp3");
    ASSERT_TRUE(music.ok) << Mix_GetError();
    const std::vector<double> musicSums = powerSums(music.samples, outputChannels, k);
    EXPECT_NEAR(integratedLoudness(musicSums, frequency), -20.0, 1.0);
    EXPECT_LT(music.peak, 0.5) << "the music peaks over -6 dBFS: no room for the effects";
    struct Level {
        const char* file;
        double lufs;
    };
    const Level levels[] = {{"bell.mp3", -13},     {"window.mp3", -13},  {"inflate.mp3", -13},
                            {"hey.mp3", -13},      {"freehat.mp3", -13}, {"cash.mp3", -16},
                            {"footsteps.mp3", -28}};
    for (const Level& level : levels) {
        SCOPED_TRACE(level.file);
        const Decoded d = decode(level.file);
        ASSERT_TRUE(d.ok) << Mix_GetError();
        EXPECT_NEAR(loudest400ms(powerSums(d.samples, outputChannels, k), frequency), level.lufs,
                    1.0);
        EXPECT_LT(d.peak, 0.45) << "copies that start together would clip";
    }
}

TEST_F(DataSounds, FootstepsAreHeardOverTheMusicWhereTheMusicIsThin) {
    // Between 2 and 5 kHz the music leaves room: in some third-octave band
    // there the steps' loudest 400 ms stands clearly over the music's average;
    // where they stand nowhere above it, the music masks them.
    const Decoded steps = decode("footsteps.mp3");
    const Decoded music = decode("Brisklane.mp3");
    ASSERT_TRUE(steps.ok && music.ok) << Mix_GetError();
    double best = -100;
    std::string levels;
    for (double centre : {2000.0, 2500.0, 3150.0, 4000.0, 5000.0}) {
        const double edge = std::pow(2.0, 1.0 / 6);
        const std::vector<Biquad> band = {butterworth(centre / edge, frequency, true),
                                          butterworth(centre / edge, frequency, true),
                                          butterworth(centre * edge, frequency, false),
                                          butterworth(centre * edge, frequency, false)};
        const std::vector<double> stepSums = powerSums(steps.samples, outputChannels, band);
        const std::vector<double> musicSums = powerSums(music.samples, outputChannels, band);
        const double over = loudest400ms(stepSums, frequency) -
                            lufs(musicSums.back() / static_cast<double>(musicSums.size() - 1));
        best = std::max(best, over);
        levels += " " + std::to_string(static_cast<int>(centre)) + " Hz " + std::to_string(over);
    }
    EXPECT_GT(best, 3.0) << "the steps over the music by band (dB):" << levels;
}

TEST_F(DataSounds, MusicLastsAGameWithoutRepeatingItself) {
    const Decoded d = decode("Brisklane.mp3");
    ASSERT_TRUE(d.ok) << Mix_GetError();
    // three minutes at least before it starts again, in whole bars of four
    // beats at 126 beats a minute (84000 frames), so that the loop keeps time
    constexpr std::size_t barFrames = 84000;
    const std::size_t frames = d.samples.size() / outputChannels;
    EXPECT_GE(d.seconds, 180.0);
    EXPECT_EQ(frames % barFrames, 0u) << frames << " frames";
    // quiet and loud passages, not one level throughout
    EXPECT_GE(loudnessRange(powerSums(d.samples, outputChannels, kWeighting(frequency)), frequency),
              3.0);
    // Most bars are new: a bar counts as a repeat when it is within -10 dB
    // (a tenth of its energy) of an earlier bar, sample for sample.
    const std::size_t bars = frames / barFrames;
    std::vector<float> mono(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        float sum = 0;
        for (std::size_t c = 0; c < outputChannels; ++c)
            sum += d.samples[i * outputChannels + c];
        mono[i] = sum / static_cast<float>(outputChannels);
    }
    std::size_t distinct = 0;
    for (std::size_t bar = 0; bar < bars; ++bar) {
        const float* now = &mono[bar * barFrames];
        double energy = 0;
        for (std::size_t i = 0; i < barFrames; ++i)
            energy += double(now[i]) * double(now[i]);
        bool repeat = false;
        for (std::size_t earlier = 0; earlier < bar && !repeat; ++earlier) {
            const float* then = &mono[earlier * barFrames];
            double difference = 0;
            std::size_t i = 0;
            for (; i < barFrames && difference < 0.1 * energy; ++i) {
                const double gap = double(now[i]) - double(then[i]);
                difference += gap * gap;
            }
            repeat = i == barFrames;
        }
        distinct += repeat ? 0 : 1;
    }
    EXPECT_GE(distinct * 10, bars * 8) << distinct << " of " << bars << " bars are new";
}

// ------------------------------------------------------------------ font

TEST(DataFont, LoadsWithAGlyphForEveryPrintableCharacter) {
    FT_Library library = nullptr;
    ASSERT_EQ(FT_Init_FreeType(&library), 0);
    FT_Face face = nullptr;
    ASSERT_EQ(FT_New_Face(library, dataPath("fonts/ERASDEMI.ttf").c_str(), 0, &face), 0);
    EXPECT_TRUE(FT_IS_SCALABLE(face));
    ASSERT_EQ(FT_Set_Char_Size(face, 30 * 64, 30 * 64, 96, 96), 0);
    for (int code = 32; code <= 126; ++code) {
        const FT_UInt index = FT_Get_Char_Index(face, static_cast<FT_ULong>(code));
        EXPECT_NE(index, 0u) << "no glyph for '" << static_cast<char>(code) << "' (" << code << ")";
        if (index != 0) {
            EXPECT_EQ(FT_Load_Glyph(face, index, FT_LOAD_RENDER), 0) << code;
        }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
}

} // namespace
