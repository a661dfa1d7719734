#include "base/Platform.h"

#include <malloc.h>

const char* const NullDevice = "NUL";

void releaseFreeMemory() { _heapmin(); }
