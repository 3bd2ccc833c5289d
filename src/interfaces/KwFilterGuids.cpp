// Gives the GUIDs that KwFilterInterfaces.h declares their one definition: those
// of the type library, its classes, its interfaces and the host node interfaces
// all come from the IDL through the generated header; the registration scripts
// name the same class identifiers.
#include "KwPlatform.h"

#include <initguid.h>

#include "KwFilterInterfaces.h"
