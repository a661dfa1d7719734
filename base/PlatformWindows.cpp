#include "base/Platform.h"

#include <malloc.h>

const char* const NullDevice = "NUL";

void releaseFreeMemory() { _heapmin(); }

// A window of 1024 by 768.
const bool DrawsAtAnySize = false;
