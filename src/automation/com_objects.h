// The COM plumbing every automation object shares: the count of live objects
// (the DLL is never unloaded while one lives; corvane.exe counts too and never
// asks), a reference-counted base, and the contract's GUID in Windows' form.
//
// Threading: objects are apartment-threaded; the count is atomic since several
// apartments of one process may make objects at once.
#pragma once

#include "pelmark/com.h"
#include "rules/windows/win32.h"

namespace corvane::automation {

// Every COM object handed out counts itself from creation to its last Release.
void ObjectCreated();
void ObjectDestroyed();
long LiveObjects();

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

// Reference counting and the live-object count for an object of ours.
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

// A counted object that answers one interface (and IUnknown).
//
// Typical usage:
//   class Enumerator final : public SingleInterfaceObject<IEnumVARIANT> { ... };
template <class Interface>
class SingleInterfaceObject : public Interface, private CountedObject {
 public:
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, __uuidof(Interface))) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return AddReference(); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseReference(); }
};

}  // namespace corvane::automation
