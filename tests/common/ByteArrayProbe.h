// A byte vector (VT_ARRAY | VT_UI1) through OLE Automation as a host keeps an
// attribute value: made, bounded, locked, copied deep and freed. Runs against
// our platform layer and, in the Windows test program, against oleaut32.
#pragma once

#include <string>

// The first expectation that did not hold, in words; "" when all held.
std::string KwByteArrayFault();
