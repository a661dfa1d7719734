#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

// The whole content of a file.
std::string readAll(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

TEST(BadFont, TheGameStopsAtStartUpWithTheFontErrorOnStderr) {
    const fs::path folder = scratchPath("game");
    fs::create_directories(folder / "fonts");
    writeFile((folder / "fonts" / "ERASDEMI.ttf").string(), std::vector<unsigned char>(2048, 0x5a));
    // bounded, in case the game wrongly carries on into its frame loop
    const std::string command = "cd '" + folder.string() +
                                "' && timeout 60 '" PELLUCANE_BINARY "' >stdout.txt 2>stderr.txt";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::string message =
        "pellucane: FT_New_Face failed (there is probably a problem with your font file)\n";
    EXPECT_NE(readAll(folder / "stderr.txt").find(message), std::string::npos)
        << readAll(folder / "stderr.txt");
    EXPECT_EQ(readAll(folder / "stdout.txt"), "");
    fs::remove_all(folder);
}

} // namespace
