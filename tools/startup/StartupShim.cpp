// Preloaded into the game (LD_PRELOAD) to time its start-up from outside:
// at the first buffer swap, the first title frame, it writes the seconds
// since PELLUCANE_T0 (nanoseconds of the realtime clock, taken just before
// exec) to standard error and ends the process.
#include <GL/glx.h>
#include <dlfcn.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

extern "C" void glXSwapBuffers(Display* display, GLXDrawable drawable) {
    using Swap = void (*)(Display*, GLXDrawable);
    static const Swap realSwap = reinterpret_cast<Swap>(dlsym(RTLD_NEXT, "glXSwapBuffers"));
    realSwap(display, drawable);
    const char* start = std::getenv("PELLUCANE_T0");
    const double nowNs = std::chrono::duration<double, std::nano>(
                             std::chrono::system_clock::now().time_since_epoch())
                             .count();
    const double startNs = start != nullptr ? std::strtod(start, nullptr) : nowNs;
    std::fprintf(stderr, "first-frame-seconds %.4f\n", (nowNs - startNs) / 1e9);
    std::fflush(stderr);
    _exit(0);
}
