#include "tests/support/TestSupport.h"

#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <unistd.h>
#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "app/Backdrop.h"
#include "base/ElapsedTime.h"
#include "base/ScreenRect.h"
#include "market/Market.h"
#include "market/RandomGenerator.h"
#include "render/Camera.h"

void ensureGlContext() {
    static bool open = false;
    if (open) {
        return;
    }
    open = true;
    int argc = 1;
    char name[] = "pellucane-tests";
    char* argv[] = {name, nullptr};
    glutInit(&argc, argv);
    glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
    glutInitWindowSize(1024, 768);
    glutCreateWindow("Pellucane tests");
    Camera::instance().reshape(1024, 768);
    glReadBuffer(GL_BACK);
    glDrawBuffer(GL_BACK);
}

Rgb pixelAt(int x, int y) {
    unsigned char rgb[3] = {0, 0, 0};
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(x, y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, rgb);
    return Rgb{rgb[0], rgb[1], rgb[2]};
}

Camera cameraIn(int width, int height) {
    Camera camera = Camera::instance();
    camera.place(width, height);
    return camera;
}

namespace {

// the game's window, pixels
constexpr int WindowWidth = 1024;
constexpr int WindowHeight = 768;

} // namespace

float gameUnitsPerPixel() {
    return static_cast<float>(Camera::instance().getHalfViewHeight() / (WindowHeight / 2));
}

WindowPixel windowPixelOf(float gx, float gy) {
    const WindowPoint point = cameraIn(WindowWidth, WindowHeight)
                                  .windowPoint(static_cast<double>(gx), static_cast<double>(gy));
    return WindowPixel{static_cast<int>(std::floor(point.x)),
                       static_cast<int>(std::floor(point.y))};
}

Rgb pixelAtGamePoint(float gx, float gy) {
    const WindowPixel pixel = windowPixelOf(gx, gy);
    return pixelAt(pixel.x, WindowHeight - 1 - pixel.y);
}

bool near(const Rgb& a, const Rgb& b, int tolerance) {
    return std::abs(a.r - b.r) <= tolerance && std::abs(a.g - b.g) <= tolerance &&
           std::abs(a.b - b.b) <= tolerance;
}

Market& newStreet(unsigned int seed) {
    ensureGlContext();
    Backdrop::instance().setRect(ScreenTop, ScreenRight, ScreenBottom, ScreenLeft);
    setClockMs(0);
    RandomGenerator::seed(seed);
    market = Market();
    ScopedDirectory data(dataPath());
    market.initialise();
    return market;
}

#ifdef __EMSCRIPTEN__
// emscripten duplicates a descriptor by opening its file again by name, and
// neither standard output nor an unnamed file has one: under Node standard
// output's number is given the file's stream itself while the capture
// lives, its own kept under a spare number.
EM_JS(int, pointStdoutAt, (int fd), {
    const spare = FS.nextfd();
    FS.streams[spare] = FS.streams[1];
    FS.streams[1] = FS.streams[fd];
    return spare;
});
EM_JS(void, restoreStdout, (int spare), {
    FS.streams[1] = FS.streams[spare];
    FS.streams[spare] = null;
});
#endif

CapturedStdout::CapturedStdout() : file(std::tmpfile()), realStdout(-1) {
    if (file == nullptr) {
        throw std::runtime_error("cannot make a file for standard output");
    }
    std::fflush(stdout);
#ifdef __EMSCRIPTEN__
    realStdout = pointStdoutAt(fileno(file));
#else
    realStdout = dup(fileno(stdout));
    dup2(fileno(file), fileno(stdout));
#endif
}

CapturedStdout::~CapturedStdout() {
    std::fflush(stdout);
#ifdef __EMSCRIPTEN__
    restoreStdout(realStdout);
#else
    dup2(realStdout, fileno(stdout));
    close(realStdout);
#endif
    std::fclose(file);
}

std::string CapturedStdout::take() {
    std::fflush(stdout);
    // Standard output shares the file's offset: reading to the end leaves
    // it there for the next lines.
    std::fseek(file, taken, SEEK_SET);
    std::string text;
    char buffer[512];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;) {
        text.append(buffer, got);
    }
    taken = std::ftell(file);
    return text;
}

std::string dataPath(const std::string& relative) {
    return std::string(PELLUCANE_DATA_DIR) + (relative.empty() ? "" : "/" + relative);
}

std::string fixturePath(const std::string& relative) {
    return std::string(PELLUCANE_TEST_DATA_DIR) + (relative.empty() ? "" : "/" + relative);
}

ScopedDirectory::ScopedDirectory(const std::string& path) {
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof buffer) == nullptr || chdir(path.c_str()) != 0) {
        throw std::runtime_error("cannot enter " + path);
    }
    previous = buffer;
}

ScopedDirectory::~ScopedDirectory() {
    if (chdir(previous.c_str()) != 0) {
        std::abort();
    }
}

namespace {

// The scratch folder of the test now running, empty until it asks for one.
std::string currentScratch;

// Removes the scratch folder when its test ends, passed or failed.
struct ScratchCleaner : testing::EmptyTestEventListener {
    void OnTestEnd(const testing::TestInfo& /*test*/) override {
        if (!currentScratch.empty()) {
            std::error_code ignored;
            std::filesystem::remove_all(currentScratch, ignored);
            currentScratch.clear();
        }
    }
};

// Made with every test program that uses the helpers, before main runs.
const bool cleanerInstalled = [] {
    testing::UnitTest::GetInstance()->listeners().Append(new ScratchCleaner);
    return true;
}();

} // namespace

std::string scratchPath(const std::string& name) {
    if (currentScratch.empty()) {
        const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
        std::string label =
            test == nullptr ? "setup" : std::string(test->test_suite_name()) + "." + test->name();
        // parameterised tests' names hold slashes
        std::replace(label.begin(), label.end(), '/', '_');
        std::string pattern =
            (std::filesystem::temp_directory_path() / ("pellucane-" + label + "-XXXXXX")).string();
        if (mkdtemp(pattern.data()) == nullptr) {
            throw std::runtime_error("cannot make a scratch folder from " + pattern);
        }
        currentScratch = pattern;
    }
    return currentScratch + "/" + name;
}

void writeFile(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

std::string writeDiagonalBdf(const std::string& path, std::size_t side) {
    std::string font =
        "STARTFONT 2.1\nFONT -test-diagonal-medium-r-normal--8-60-96-96-c-80-iso10646-1\n"
        "SIZE 8 96 96\nFONTBOUNDINGBOX " +
        std::to_string(side) + " " + std::to_string(side) +
        " 0 0\nSTARTPROPERTIES 2\nFONT_ASCENT " + std::to_string(side) +
        "\nFONT_DESCENT 0\nENDPROPERTIES\nCHARS 1\nSTARTCHAR A\nENCODING 65\n"
        "SWIDTH 500 0\nDWIDTH " +
        std::to_string(side + 1) + " 0\nBBX " + std::to_string(side) + " " + std::to_string(side) +
        " 0 0\nBITMAP\n";
    const std::size_t rowBytes = (side + 7) / 8;
    for (std::size_t j = 0; j < side; ++j) {
        std::string row(2 * rowBytes, '0');
        const char hex[] = "8421";
        row[j / 4] = hex[j % 4];
        font += row + "\n";
    }
    font += "ENDCHAR\nENDFONT\n";
    writeFile(path, std::vector<unsigned char>(font.begin(), font.end()));
    return path;
}

long peakMemoryKb(pid_t pid) {
    std::ifstream status("/proc/" + (pid == 0 ? std::string("self") : std::to_string(pid)) +
                         "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}
