// COM-shaped basics of the Pelmark host contract: GUIDs, result codes, IUnknown,
// the dispatch base, the error type and the ComPtr smart pointer.
//
// Interfaces here have no virtual destructors: their vtables start with the three
// IUnknown slots, so objects are released only through Release(). Objects are
// apartment-threaded: create and call each one on a single thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstring>
#include <exception>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#define PELMARK_EXPORT __attribute__((visibility("default")))

namespace pelmark {

using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);
inline constexpr HRESULT SELFREG_E_CLASS = static_cast<HRESULT>(0x80040201);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000E);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005);

constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
constexpr bool Failed(HRESULT hr) { return hr < 0; }

// A 128-bit interface or class identifier in the standard binary layout.
struct GUID {
  uint32_t Data1 = 0;
  uint16_t Data2 = 0;
  uint16_t Data3 = 0;
  uint8_t Data4[8] = {};

  friend constexpr bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
      if (a.Data4[i] != b.Data4[i]) return false;
    return true;
  }
};
using IID = GUID;
using CLSID = GUID;

namespace detail {
constexpr int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
constexpr uint64_t HexField(std::string_view s) {
  uint64_t v = 0;
  for (char c : s) {
    int d = HexDigit(c);
    if (d < 0) throw "invalid hex digit in GUID text";
    v = v * 16 + static_cast<uint64_t>(d);
  }
  return v;
}
}  // namespace detail

// Parses "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" (braces optional). In a constant
// expression a malformed text is a compile error.
constexpr GUID ParseGuid(std::string_view text) {
  if (!text.empty() && text.front() == '{') text = text.substr(1, text.size() - 2);
  if (text.size() != 36 || text[8] != '-' || text[13] != '-' || text[18] != '-' || text[23] != '-')
    throw "malformed GUID text";
  GUID g;
  g.Data1 = static_cast<uint32_t>(detail::HexField(text.substr(0, 8)));
  g.Data2 = static_cast<uint16_t>(detail::HexField(text.substr(9, 4)));
  g.Data3 = static_cast<uint16_t>(detail::HexField(text.substr(14, 4)));
  g.Data4[0] = static_cast<uint8_t>(detail::HexField(text.substr(19, 2)));
  g.Data4[1] = static_cast<uint8_t>(detail::HexField(text.substr(21, 2)));
  for (int i = 0; i < 6; ++i)
    g.Data4[2 + i] = static_cast<uint8_t>(detail::HexField(text.substr(24 + 2 * i, 2)));
  return g;
}

// Returns false (and leaves *out alone) when the text is not a GUID.
inline bool TryParseGuid(std::string_view text, GUID* out) {
  if (text.size() == 38 && (text.front() != '{' || text.back() != '}')) return false;
  if (text.size() != 38 && text.size() != 36) return false;
  try {
    *out = ParseGuid(text);
    return true;
  } catch (const char*) {
    return false;
  }
}

// Formats as "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
inline std::string GuidToString(const GUID& g) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string s = "{";
  auto put = [&](uint64_t v, int digits) {
    for (int i = digits - 1; i >= 0; --i) s.push_back(kHex[(v >> (4 * i)) & 0xF]);
  };
  put(g.Data1, 8);
  s.push_back('-');
  put(g.Data2, 4);
  s.push_back('-');
  put(g.Data3, 4);
  s.push_back('-');
  put(g.Data4[0], 2);
  put(g.Data4[1], 2);
  s.push_back('-');
  for (int i = 2; i < 8; ++i) put(g.Data4[i], 2);
  s.push_back('}');
  return s;
}

// Every interface names its identifier as a static member `iid`.
#define PELMARK_INTERFACE(name, guid_text) \
  static constexpr ::pelmark::IID iid = ::pelmark::ParseGuid(guid_text)

struct IUnknown {
  PELMARK_INTERFACE(IUnknown, "{00000000-0000-0000-C000-000000000046}");
  virtual HRESULT QueryInterface(const IID& iid, void** out) = 0;
  virtual uint32_t AddRef() = 0;
  virtual uint32_t Release() = 0;

 protected:
  ~IUnknown() = default;
};

// COM's class-object interface, with COM's identifier and slot order.
struct IClassFactory : IUnknown {
  PELMARK_INTERFACE(IClassFactory, "{00000001-0000-0000-C000-000000000046}");
  virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** out) = 0;
  virtual HRESULT LockServer(bool lock) = 0;

 protected:
  ~IClassFactory() = default;
};

class Variant;

// The dispatch base: four slots after IUnknown, so that dual interfaces put their
// own methods from slot 7 on. Arguments travel in natural (left-to-right) order.
struct IDispatch : IUnknown {
  PELMARK_INTERFACE(IDispatch, "{00020400-0000-0000-C000-000000000046}");
  virtual HRESULT GetTypeInfoCount(uint32_t* count) = 0;
  virtual HRESULT GetTypeInfo(uint32_t index, uint32_t lcid, void** info) = 0;
  // Resolves member names (compared without regard to case) to dispatch ids.
  virtual HRESULT GetIDsOfNames(std::span<const std::string_view> names, int32_t* dispids) = 0;
  // Calls the member. A member that fails throws pelmark::Error, as a direct call does.
  virtual HRESULT Invoke(int32_t dispid, std::span<Variant> args, Variant* result) = 0;

 protected:
  ~IDispatch() = default;
};

// The one error type of the contract: host and DMS methods throw it to report a
// failure, and a failing library method throws it back to the host.
class PELMARK_EXPORT Error : public std::exception {
 public:
  Error(int32_t number, std::string source, std::string description)
      : number_(number), source_(std::move(source)), description_(std::move(description)) {}

  int32_t number() const noexcept { return number_; }
  const std::string& source() const noexcept { return source_; }
  const std::string& description() const noexcept { return description_; }
  void set_source(std::string source) { source_ = std::move(source); }
  const char* what() const noexcept override { return description_.c_str(); }

 private:
  int32_t number_;
  std::string source_;
  std::string description_;
};

// Intrusive counted reference to an interface. Copying adds a reference, the
// destructor releases it, so release on every path is structural.
//
// Typical usage:
//   ComPtr<IService> service = services->GetService("DmsService");
//   ComPtr<IDmsService> dms = service.try_query<IDmsService>();  // null when it is no DMS
//   if (dms) dms->Disconnect();
template <class T>
class ComPtr {
 public:
  ComPtr() noexcept = default;
  ComPtr(std::nullptr_t) noexcept {}
  // Takes a new reference to p.
  explicit ComPtr(T* p) noexcept : p_(p) {
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) noexcept : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> ComPtr(const ComPtr<U>& o)
  noexcept : ComPtr(static_cast<T*>(o.get())) {}
  template <class U>
  requires std::is_convertible_v<U*, T*> ComPtr(ComPtr<U>&& o)
  noexcept : p_(static_cast<T*>(o.detach())) {}
  ~ComPtr() { reset(); }

  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }

  // Adopts p without adding a reference (p's creator's reference is handed over).
  static ComPtr Attach(T* p) noexcept {
    ComPtr r;
    r.p_ = p;
    return r;
  }
  T* detach() noexcept { return std::exchange(p_, nullptr); }
  void reset() noexcept {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }

  T* get() const noexcept { return p_; }
  T* operator->() const noexcept { return p_; }
  T& operator*() const noexcept { return *p_; }
  explicit operator bool() const noexcept { return p_ != nullptr; }
  friend bool operator==(const ComPtr& a, const ComPtr& b) { return a.p_ == b.p_; }
  friend bool operator==(const ComPtr& a, std::nullptr_t) { return a.p_ == nullptr; }

  // Asks for another interface; null when the object (or this pointer) has none.
  template <class U>
  ComPtr<U> try_query() const noexcept {
    if (!p_) return {};
    void* out = nullptr;
    if (Failed(p_->QueryInterface(U::iid, &out)) || !out) return {};
    return ComPtr<U>::Attach(static_cast<U*>(out));
  }

 private:
  T* p_ = nullptr;
};

}  // namespace pelmark
