// The state of Corvane.dll as an in-process server: its module handle and path,
// the count of live objects and server locks that DllCanUnloadNow answers from,
// and the type library embedded as its TYPELIB resource.
//
// Threading: objects are apartment-threaded; the counts are atomic since several
// apartments of one process may use the DLL at once.
#pragma once

#include <string>

#include "pelmark/com.h"
#include "automation/win32.h"

namespace corvane::windows {

HMODULE ModuleHandle();
// The DLL's full path, as registration writes it.
std::wstring ModulePath();

// Every COM object the DLL hands out counts itself from creation to its last
// Release, so that the DLL is never unloaded under a live object.
void ObjectCreated();
void ObjectDestroyed();
long LiveObjects();
void LockServer(bool lock);
long ServerLocks();

// The type library from the DLL's own TYPELIB resource; throws pelmark::Error
// when it cannot be loaded. The reference is the caller's.
ITypeLib* LoadOwnTypeLibrary();
// The type information of one interface of that library (a new reference), or
// null when it cannot be had.
ITypeInfo* TypeInfoOf(const GUID& iid);

inline GUID ToWindowsGuid(const pelmark::GUID& g) {
  GUID out{g.Data1, g.Data2, g.Data3, {}};
  for (int i = 0; i < 8; ++i) out.Data4[i] = g.Data4[i];
  return out;
}
inline pelmark::GUID FromWindowsGuid(const GUID& g) {
  pelmark::GUID out;
  out.Data1 = g.Data1;
  out.Data2 = g.Data2;
  out.Data3 = g.Data3;
  for (int i = 0; i < 8; ++i) out.Data4[i] = g.Data4[i];
  return out;
}

// Reference counting and the live-object count for the DLL's own objects.
class CountedObject {
 public:
  CountedObject() { ObjectCreated(); }
  CountedObject(const CountedObject&) = delete;
  CountedObject& operator=(const CountedObject&) = delete;
  virtual ~CountedObject() { ObjectDestroyed(); }

 protected:
  ULONG AddReference() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG ReleaseReference() {
    ULONG left = static_cast<ULONG>(InterlockedDecrement(&references_));
    if (left == 0) delete this;
    return left;
  }

 private:
  LONG references_ = 1;
};

}  // namespace corvane::windows
