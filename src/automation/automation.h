// Late binding between the core and automation objects. The host's and the DMS's
// objects arrive as IDispatch pointers of a type library we do not have, so each
// is seen by the core through a proxy that calls every member by its name
// (GetIDsOfNames, then Invoke). Objects the library makes (entity references,
// queries, sessions) go to the host as IDispatch objects of our own that answer
// their members by name. The per-interface proxies and dispatchers are generated
// from the contract headers by scripts/generate-windows-binding.py.
//
// Threading: apartment; a proxy is used on the thread of the call it serves.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "automation/com_objects.h"
#include "pelmark/com.h"
#include "pelmark/variant.h"
#include "rules/error_report.h"
#include "rules/variant_rules.h"
#include "rules/windows/win32.h"

namespace corvane::automation {

// VARIANT to the core's variant and back. Host objects become proxies; proxies
// go back as the host's own object, and library objects as dispatchers. A VARIANT
// the core has no kind for (an array, a currency beyond Double) raises 13.
pelmark::Variant FromVariant(const VARIANT& value);
// REQUIRES: `out` is initialised (VariantInit); the caller clears it.
void ToVariant(const pelmark::Variant& value, VARIANT* out);

// The core's view of a host object as interface T; null for a null pointer.
template <class T>
pelmark::ComPtr<T> HostObject(IDispatch* object);

// The IDispatch to hand the host for an object of the core (a new reference, or
// null for null). Raises 13 for an object that has no automation form.
IDispatch* DispatchOf(pelmark::IUnknown* object);

// Makes the proxy of `object` for the contract interface `iid`; false when the
// contract has no host interface of that id. Generated.
bool MakeProxy(IDispatch* object, const pelmark::IID& iid, void** out);
// Makes the dispatcher of an object of the core's side: first the interfaces
// the library hands out (entity references, queries, sessions), then any other
// contract interface, so that a host written against the contract in C++ (the
// simulator) can be handed to the DLL as automation objects. Null when the
// object implements none. Generated.
IDispatch* MakeLibraryDispatch(pelmark::IUnknown* object);

// The common part of every proxy: the host object and the calls by name.
class ProxyCore {
 public:
  explicit ProxyCore(IDispatch* object);
  ProxyCore(const ProxyCore&) = delete;
  ProxyCore& operator=(const ProxyCore&) = delete;
  virtual ~ProxyCore();

  IDispatch* dispatch() const { return object_; }

  // object.name(args...), as a method call or a property read.
  pelmark::Variant Get(std::string_view name, std::initializer_list<pelmark::Variant> args = {});
  // object.name = value.
  void Put(std::string_view name, const pelmark::Variant& value);
  // The index-th (1-based) element of the object's enumeration (_NewEnum).
  pelmark::Variant Enumerated(int32_t index);

 private:
  DISPID IdOf(std::string_view name);
  pelmark::Variant Invoke(DISPID id, WORD flags, std::span<const pelmark::Variant> args);

  IDispatch* object_;
};

// A proxy implementing contract interface I (and its bases) by calls by name.
// Any other contract interface it is asked for gives a new proxy of the same
// host object: late binding cannot know the object's type, so a member it lacks
// fails when called (438), as in Visual Basic.
template <class I>
class AutomationProxy : public I, public ProxyCore {
 public:
  using ProxyCore::ProxyCore;

  pelmark::HRESULT QueryInterface(const pelmark::IID& iid, void** out) override {
    if (!out) return static_cast<pelmark::HRESULT>(E_POINTER);
    if (iid == pelmark::IUnknown::iid || Answers(iid)) {
      *out = static_cast<I*>(this);
      AddRef();
      return 0;
    }
    *out = nullptr;
    try {
      return MakeProxy(dispatch(), iid, out) ? 0 : static_cast<pelmark::HRESULT>(E_NOINTERFACE);
    } catch (...) {
      return static_cast<pelmark::HRESULT>(E_NOINTERFACE);
    }
  }
  uint32_t AddRef() override { return ++references_; }
  uint32_t Release() override {
    uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }

 protected:
  // True for I's id and those of the interfaces it derives from. Generated.
  virtual bool Answers(const pelmark::IID& iid) const = 0;

  template <class T>
  static pelmark::ComPtr<T> ObjectResult(const pelmark::Variant& value) {
    if (value.is_empty() || value.is_null()) return {};
    if (!value.is_object()) Raise(13);
    if (!value.object_value()) return {};
    pelmark::ComPtr<T> typed = value.object_value().template try_query<T>();
    if (!typed) Raise(13);
    return typed;
  }
  template <class T>
  static pelmark::Variant ObjectArgument(T* object) {
    return pelmark::Variant(pelmark::ComPtr<pelmark::IUnknown>(object));
  }

 private:
  uint32_t references_ = 0;
};

template <class T>
pelmark::ComPtr<T> HostObject(IDispatch* object) {
  if (!object) return {};
  void* out = nullptr;
  if (!MakeProxy(object, T::iid, &out)) Raise(13);
  return pelmark::ComPtr<T>::Attach(static_cast<T*>(out));
}

// A library object as the host sees it: an IDispatch that answers the members
// of one contract interface by name. The generated dispatchers fill in the table
// and the call.
class LibraryDispatch final : public IDispatch, private CountedObject {
 public:
  struct Member {
    const char* name;
    bool readable;
    bool writable;
  };
  using Call = void (*)(pelmark::IUnknown* object, size_t member, bool put,
                        std::span<pelmark::Variant> args, pelmark::Variant* result);
  // A collection's elements for _NewEnum: the count and the 1-based element.
  struct Enumeration {
    int32_t (*count)(pelmark::IUnknown* object);
    pelmark::Variant (*element)(pelmark::IUnknown* object, int32_t index);
  };

  LibraryDispatch(pelmark::IUnknown* object, std::span<const Member> members, Call call,
                  Enumeration enumeration = Enumeration{nullptr, nullptr});
  ~LibraryDispatch() override;

  pelmark::IUnknown* object() const { return object_; }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override;
  STDMETHODIMP_(ULONG) AddRef() override { return AddReference(); }
  STDMETHODIMP_(ULONG) Release() override { return ReleaseReference(); }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override;
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override;
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argument_error) override;

 private:
  pelmark::IUnknown* object_;
  std::span<const Member> members_;
  Call call_;
  Enumeration enumeration_;
};

// The interface id the dispatchers of this module answer besides IDispatch, so
// that an object this module handed out and gets back is recognised as its own.
// It is made from an address inside the module, so another module with the
// same code (a test program beside the DLL) never takes this module's objects
// for its own and calls them through COM.
const GUID& OwnObjectIid();

}  // namespace corvane::automation
