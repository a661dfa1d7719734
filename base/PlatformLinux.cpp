#include "base/Platform.h"

#include <malloc.h>

const char* const NullDevice = "/dev/null";

void releaseFreeMemory() { malloc_trim(0); }
