#include <GL/freeglut.h>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "app/Engine.h"
#include "app/JoinWait.h"
#include "base/Platform.h"
#include "input/InputState.h"
#include "input/KeyboardPlatform.h"
#include "net/Lockstep.h"
#include "render/Camera.h"

namespace {

// --join HOST[:PORT]/ROOM and --seats LIST, after GLUT has taken its own
// arguments: asks the room for the seats. True to play on (asked, or not
// joining), false with why.
bool askRoom(int argc, char** argv, std::string& why) {
    JoinAddress address;
    std::uint8_t seats = 0;
    bool joining = false;
    for (int i = 1; i < argc && why.empty(); ++i) {
        const std::string option = argv[i];
        if (option != "--join" && option != "--seats") {
            continue;
        }
        if (i + 1 >= argc) {
            why = option + " needs a value";
        } else if (option == "--join") {
            joining = readJoinAddress(argv[++i], address, why);
        } else {
            readSeats(argv[++i], seats, why);
        }
    }
    if (why.empty() && seats != 0 && !joining) {
        why = "--seats is for a game joined with --join";
    }
    if (why.empty() && joining) {
        Lockstep::instance().ask(address, seats, why);
    }
    return why.empty();
}

// The window, its callbacks and the game's start-up, then its frames; 1 when
// the game cannot start.
int startGame() {
    try {
        glutInitDisplayMode(GLUT_RGB | GLUT_DOUBLE | GLUT_DEPTH);
        glutInitWindowSize(1024, 768);
        glutCreateWindow("Pellucane");
        glutPositionWindow(100, 100);

        glutReshapeFunc(onReshape);
        glutDisplayFunc(onDisplay);
        glutIdleFunc(onIdle);
        glutMotionFunc(onMotion);
        glutPassiveMotionFunc(onPassiveMotion);
        glutMouseFunc(onMouse);
        glutKeyboardFunc(onKeyboard);
        glutKeyboardUpFunc(onKeyboardUp);
        glutSpecialFunc(onSpecial);
        glutSpecialUpFunc(onSpecialUp);
        // A held key repeats as presses with no release between them (asked
        // for here on X), which the key callbacks pass over. Not
        // glutIgnoreKeyRepeat: it takes a release for a repeat when the key is
        // down again by the time the game meets it, and drops a real second tap.
        setUpKeyboard();

        // First use of the Engine: its clock starts before any loading.
        Engine::instance().initialise();
    } catch (const std::exception& error) {
        // A bad font file, for one: say why and stop.
        std::fprintf(stderr, "pellucane: %s\n", error.what());
        // Started outside the data folder: say where the files are looked for.
        std::error_code ignored;
        if (!std::filesystem::exists("./fonts/ERASDEMI.ttf", ignored)) {
            std::fprintf(stderr,
                         "pellucane: the game reads images/, fonts/ and sound/ from the folder it "
                         "starts in (%s); start it with the pellucane launcher, or ./play.sh in "
                         "a clone\n",
                         std::filesystem::current_path(ignored).string().c_str());
        }
        return 1;
    }
    glutMainLoop();
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    glutInit(&argc, argv);
    std::string why;
    if (!askRoom(argc, argv, why)) {
        tellPlayer(why);
        return 2;
    }
    return Lockstep::instance().asked ? startWhenJoined(startGame) : startGame();
}
