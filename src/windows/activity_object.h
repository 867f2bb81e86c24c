// The COM object of one activity class: IActivityRuntime and IActivityDesign
// (dual), the class's hidden default interface _<Class> (which late binding also
// finds Describe and Check on) and ISupportErrorInfo, around the core's
// activity object. Host objects are passed to the core through late-binding
// proxies; failures come back as Visual Basic's HRESULTs with an error object.
//
// Threading: apartment; each object is called on the thread that created it.
#pragma once

#include "corvane/catalogue.h"
#include "windows/server.h"

namespace corvane::windows {

// Creates an object of the class and answers its interface `iid`.
HRESULT CreateActivityObject(const ClassInfo& info, REFIID iid, void** out);

}  // namespace corvane::windows
