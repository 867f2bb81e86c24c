// A reference-counted implementation base for the library's own COM objects.
//
// Typical usage:
//   class EntityRef final : public ComObject<pelmark::IEntityRef> { ... };
//   pelmark::ComPtr<pelmark::IEntityRef> ref = MakeCom<EntityRef>();
#pragma once

#include <cstdint>
#include <type_traits>

#include "pelmark/com.h"

namespace corvane {

template <class Interface>
class ComObject : public Interface {
 public:
  ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  pelmark::HRESULT QueryInterface(const pelmark::IID& iid, void** out) override {
    if (!out) return pelmark::E_POINTER;
    *out = nullptr;
    if (iid == pelmark::IUnknown::iid || iid == Interface::iid) {
      *out = static_cast<Interface*>(this);
      this->AddRef();
      return pelmark::S_OK;
    }
    return pelmark::E_NOINTERFACE;
  }
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override {
    uint32_t n = --refs_;
    if (n == 0) delete this;
    return n;
  }

 protected:
  virtual ~ComObject() = default;

 private:
  uint32_t refs_ = 0;
};

// Creates an object and hands back its first reference.
template <class T, class... Args>
pelmark::ComPtr<T> MakeCom(Args&&... args) {
  return pelmark::ComPtr<T>(new T(std::forward<Args>(args)...));
}

}  // namespace corvane

#include "rules/error_report.h"

namespace corvane {

// The object itself, or error 91 when it is Nothing: using an unset object
// variable is a run-time error, never a crash.
template <class T>
T* Must(T* p) {
  if (!p) Raise(91);
  return p;
}
template <class T>
T* Must(const pelmark::ComPtr<T>& p) {
  return Must(p.get());
}

// The object as interface T, or error 13 when it is of another kind.
// REQUIRES: `p` is not null.
template <class T, class U>
pelmark::ComPtr<T> QueryOrRaise(const pelmark::ComPtr<U>& p) {
  pelmark::ComPtr<T> typed = p.template try_query<T>();
  if (!typed) Raise(13);
  return typed;
}

}  // namespace corvane
