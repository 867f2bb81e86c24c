// Reference counting and interface lookup for the objects a host implements, so
// that a host class states only its interfaces and its members.
//
// Threading: the count is atomic; everything else follows the interfaces (one
// object per step, each call on one thread).
//
// Typical usage:
//   class MyDms final : public pelmark::DmsServiceBase {  // pelmark/host_bases.h
//     bool MarkAsVital(pelmark::IEntityRef* item, std::string_view reason) override;
//   };
//   pelmark::ComPtr<pelmark::IDmsService> dms = pelmark::MakeHostObject<MyDms>();
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <utility>

#include "pelmark/com.h"
#include "pelmark/contract.h"

namespace pelmark {

// The error a member raises when the host does not implement it: number 438,
// "Object doesn't support this property or method", naming the member.
[[noreturn]] inline void NotSupported(const char* member) {
  throw Error(438, "PelmarkHost",
              std::string(member) +
                  " is not supported by this host (Object doesn't support "
                  "this property or method)");
}

// Implements IUnknown for `Interface` and the interfaces it derives from that
// are listed in `Also` (for example IService for a DMS service).
template <class Interface, class... Also>
class HostObject : public Interface {
 public:
  HostObject() = default;
  HostObject(const HostObject&) = delete;
  HostObject& operator=(const HostObject&) = delete;

  HRESULT QueryInterface(const IID& iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (iid != IUnknown::iid && iid != Interface::iid && !((iid == Also::iid) || ...))
      return E_NOINTERFACE;
    *out = static_cast<Interface*>(this);
    AddRef();
    return S_OK;
  }
  uint32_t AddRef() override { return refs_.fetch_add(1) + 1; }
  uint32_t Release() override {
    uint32_t left = refs_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
  }

 protected:
  virtual ~HostObject() = default;

 private:
  std::atomic<uint32_t> refs_{0};
};

// Creates a host object and hands back its first reference.
template <class T, class... Args>
ComPtr<T> MakeHostObject(Args&&... args) {
  return ComPtr<T>(new T(std::forward<Args>(args)...));
}

}  // namespace pelmark
