// The C++ declarations of the type library's interfaces (IActivityRuntime and
// the default interfaces _<Class>), written by widl from the generated IDL.
// Include it after the library's own headers, as automation/win32.h.
#pragma once

#include "Corvane.h"
#include "automation/win32.h"
