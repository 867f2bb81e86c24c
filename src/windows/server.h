// The state of Corvane.dll as an in-process server: its module handle and path,
// the server locks that DllCanUnloadNow answers from together with the
// automation layer's count of live objects, and the type library embedded as
// its TYPELIB resource. The class table and the activity base are read here
// before windows.h (see rules/windows/win32.h); the server's files include this
// header, or one that includes it, first.
//
// Threading: objects are apartment-threaded; the locks are atomic since several
// apartments of one process may use the DLL at once.
#pragma once

#include <string>

#include "component/class_table.h"
#include "framework/activity.h"
#include "pelmark/com.h"
#include "rules/windows/win32.h"

namespace corvane::windows {

HMODULE ModuleHandle();
// The DLL's full path, as registration writes it.
std::wstring ModulePath();

void LockServer(bool lock);
long ServerLocks();

// The type library from the DLL's own TYPELIB resource; throws pelmark::Error
// when it cannot be loaded. The reference is the caller's.
ITypeLib* LoadOwnTypeLibrary();
// The type information of one interface of that library (a new reference), or
// null when it cannot be had.
ITypeInfo* TypeInfoOf(const GUID& iid);

}  // namespace corvane::windows
