// The tool's view of an object of Corvane.dll: the contract's IActivityRuntime
// over the COM object's, and, when asked, the contract's IActivityDesign over the
// object's dual IActivityDesign. Every call crosses COM; a failing HRESULT and
// its error object become the pelmark::Error the contract throws.
//
// Threading: apartment; an object is used on the thread that made it.
#pragma once

#include <string>

#include "pelmark/host.h"

// The DLL's dual interface, as the type library declares it (Corvane.h).
struct IActivityRuntime;

namespace corvane::cli {

// Wraps `step`, taking over the reference it holds.
pelmark::ComPtr<pelmark::IActivityRuntime> WrapComStep(::IActivityRuntime* step);

// An object of class `clsid` made by `get_class_object`, the DllGetClassObject
// of the loaded module at `module_path`, wrapped as above: the DLL's own class
// factory, so the class need not be registered. Throws pelmark::Error 429 when
// the module does not serve the class or cannot make the object.
pelmark::ComPtr<pelmark::IActivityRuntime> CreateComStep(void* get_class_object,
                                                         const pelmark::CLSID& clsid,
                                                         const std::string& module_path);

}  // namespace corvane::cli
