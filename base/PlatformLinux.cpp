#include "base/Platform.h"

#include <malloc.h>

const char* const NullDevice = "/dev/null";

void releaseFreeMemory() { malloc_trim(0); }

// A window of 1024 by 768.
const bool DrawsAtAnySize = false;
