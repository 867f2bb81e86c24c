// The C++ declarations of the type library's interfaces (IActivityRuntime and
// the default interfaces _<Class>), written by widl from the generated IDL.
// The server implements them; a client such as corvane.exe calls them. Include it
// after the library's own headers, as rules/windows/win32.h.
#pragma once

#include "Corvane.h"
#include "rules/windows/win32.h"
