#include "KwPlatform.h"

// Large pages on Windows need a privilege a filter's host seldom holds, and
// must be asked for when the memory is reserved: ordinary pages serve.
KWPLATFORM_API void KwAdviseLargeBlock(void*, SIZE_T) {}
