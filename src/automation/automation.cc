#include "automation/automation.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "automation/errors.h"
#include "rules/error_report.h"
#include "rules/windows/wide_text.h"
#include "rules/windows/win32.h"

namespace corvane::automation {

const GUID& OwnObjectIid() {
  static const GUID iid = [] {
    static const char anchor = 0;
    // 64 bits wide on x86 too, where the upper half is simply zero.
    const auto address = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&anchor));
    GUID made{static_cast<unsigned long>(address),
              static_cast<unsigned short>(address >> 32),
              static_cast<unsigned short>(address >> 48),
              {}};
    const unsigned char tag[8] = {'C', 'o', 'r', 'v', 'a', 'n', 'e', '!'};
    for (int i = 0; i < 8; ++i) made.Data4[i] = tag[i];
    return made;
  }();
  return iid;
}

namespace {

// Arguments in DISPPARAMS order (last argument first), cleared on every path.
class Arguments {
 public:
  explicit Arguments(std::span<const pelmark::Variant> args) : values_(args.size()) {
    for (VARIANT& v : values_) VariantInit(&v);
    for (size_t i = 0; i < args.size(); ++i) ToVariant(args[i], &values_[args.size() - 1 - i]);
  }
  Arguments(const Arguments&) = delete;
  Arguments& operator=(const Arguments&) = delete;
  ~Arguments() {
    for (VARIANT& v : values_) VariantClear(&v);
  }
  VARIANT* data() { return values_.empty() ? nullptr : values_.data(); }
  UINT size() const { return static_cast<UINT>(values_.size()); }

 private:
  std::vector<VARIANT> values_;
};

// A VARIANT cleared when it goes out of scope.
struct ScopedVariant {
  VARIANT value;
  ScopedVariant() { VariantInit(&value); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  ~ScopedVariant() { VariantClear(&value); }
};

pelmark::Variant WholeNumber(double value) {
  if (value >= std::numeric_limits<int32_t>::min() && value <= std::numeric_limits<int32_t>::max())
    return pelmark::Variant(static_cast<int32_t>(value));
  return pelmark::Variant(value);
}

pelmark::Variant ObjectFrom(IUnknown* unknown) {
  if (!unknown) return pelmark::Variant(pelmark::ComPtr<pelmark::IUnknown>());
  // One of the library's own objects coming back: the core gets it unchanged.
  IDispatch* own = nullptr;
  if (SUCCEEDED(unknown->QueryInterface(OwnObjectIid(), reinterpret_cast<void**>(&own)))) {
    pelmark::ComPtr<pelmark::IUnknown> object(static_cast<LibraryDispatch*>(own)->object());
    own->Release();
    return pelmark::Variant(object);
  }
  IDispatch* dispatch = nullptr;
  if (FAILED(unknown->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
    Raise(13);
  void* proxy = nullptr;
  bool made = MakeProxy(dispatch, pelmark::IUnknown::iid, &proxy);
  dispatch->Release();
  if (!made) Raise(13);
  return pelmark::Variant(
      pelmark::ComPtr<pelmark::IUnknown>::Attach(static_cast<pelmark::IUnknown*>(proxy)));
}

// The enumerator of a collection of the core's side. It asks for each element
// only when it is fetched, so reading the n-th element is one call, as reading
// it by position is.
class ElementEnumerator final : public SingleInterfaceObject<IEnumVARIANT> {
 public:
  ElementEnumerator(pelmark::IUnknown* collection, LibraryDispatch::Enumeration enumeration,
                    int32_t at)
      : collection_(collection), enumeration_(enumeration), at_(at) {
    collection_->AddRef();
  }
  ~ElementEnumerator() override { collection_->Release(); }

  // Fetching asks for the elements themselves; the count is asked only when an
  // element cannot be had, to tell the end from a failure.
  STDMETHODIMP Next(ULONG count, VARIANT* out, ULONG* fetched) override {
    ULONG n = 0;
    HRESULT hr = S_OK;
    for (; n < count; ++n) {
      try {
        pelmark::Variant element = enumeration_.element(collection_, at_ + 1);
        VariantInit(&out[n]);
        ToVariant(element, &out[n]);
        ++at_;
      } catch (...) {
        hr = PastTheEnd(at_ + 1) ? S_FALSE : E_FAIL;
        break;
      }
    }
    if (FAILED(hr)) {
      for (ULONG i = 0; i < n; ++i) VariantClear(&out[i]);
      n = 0;
    }
    if (fetched) *fetched = n;
    return FAILED(hr) ? hr : (n == count ? S_OK : S_FALSE);
  }
  // Skipping asks nothing: the next fetch finds out whether the element is there.
  STDMETHODIMP Skip(ULONG count) override {
    at_ = static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(at_) + count, INT32_MAX));
    return S_OK;
  }
  STDMETHODIMP Reset() override {
    at_ = 0;
    return S_OK;
  }
  STDMETHODIMP Clone(IEnumVARIANT** out) override {
    if (!out) return E_POINTER;
    *out = new ElementEnumerator(collection_, enumeration_, at_);
    return S_OK;
  }

 private:
  bool PastTheEnd(int32_t index) {
    try {
      return index > enumeration_.count(collection_);
    } catch (...) {
      return false;
    }
  }

  pelmark::IUnknown* collection_;
  LibraryDispatch::Enumeration enumeration_;
  int32_t at_;
};

bool EqualsIgnoringAsciiCase(std::wstring_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    wchar_t x = a[i];
    char y = b[i];
    if (x >= L'a' && x <= L'z') x = static_cast<wchar_t>(x - L'a' + L'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != static_cast<unsigned char>(y)) return false;
  }
  return true;
}

}  // namespace

pelmark::Variant FromVariant(const VARIANT& value) {
  if (V_VT(&value) & VT_BYREF) {
    ScopedVariant plain;
    if (FAILED(VariantCopyInd(&plain.value, const_cast<VARIANT*>(&value)))) Raise(13);
    return FromVariant(plain.value);
  }
  switch (V_VT(&value)) {
    case VT_EMPTY:
      return {};
    case VT_NULL:
      return pelmark::Variant::Null();
    case VT_I4:
      return pelmark::Variant(static_cast<int32_t>(V_I4(&value)));
    case VT_I2:
      return pelmark::Variant(static_cast<int32_t>(V_I2(&value)));
    case VT_I1:
      return pelmark::Variant(static_cast<int32_t>(V_I1(&value)));
    case VT_UI1:
      return pelmark::Variant(static_cast<int32_t>(V_UI1(&value)));
    case VT_UI2:
      return pelmark::Variant(static_cast<int32_t>(V_UI2(&value)));
    case VT_INT:
      return pelmark::Variant(static_cast<int32_t>(V_INT(&value)));
    case VT_UI4:
      return WholeNumber(static_cast<double>(V_UI4(&value)));
    case VT_UINT:
      return WholeNumber(static_cast<double>(V_UINT(&value)));
    case VT_I8:
      return WholeNumber(static_cast<double>(V_I8(&value)));
    case VT_UI8:
      return WholeNumber(static_cast<double>(V_UI8(&value)));
    case VT_R8:
      return pelmark::Variant(static_cast<double>(V_R8(&value)));
    case VT_R4:
      return pelmark::Variant(static_cast<double>(V_R4(&value)));
    case VT_CY:
    case VT_DECIMAL: {
      ScopedVariant number;
      if (FAILED(VariantChangeType(&number.value, const_cast<VARIANT*>(&value), 0, VT_R8)))
        Raise(6);
      return pelmark::Variant(static_cast<double>(V_R8(&number.value)));
    }
    case VT_DATE:
      return pelmark::Variant::Date(V_DATE(&value));
    case VT_BSTR:
      return pelmark::Variant(
          Utf8(std::wstring_view(V_BSTR(&value), SysStringLen(V_BSTR(&value)))));
    case VT_BOOL:
      return pelmark::Variant(V_BOOL(&value) != VARIANT_FALSE);
    case VT_DISPATCH:
      return ObjectFrom(V_DISPATCH(&value));
    case VT_UNKNOWN:
      return ObjectFrom(V_UNKNOWN(&value));
    case VT_ERROR:
      // An optional argument left out.
      if (V_ERROR(&value) == DISP_E_PARAMNOTFOUND) return {};
      Raise(13);
    default:
      Raise(13);
  }
}

void ToVariant(const pelmark::Variant& value, VARIANT* out) {
  switch (value.type()) {
    case pelmark::VarType::Empty:
      V_VT(out) = VT_EMPTY;
      return;
    case pelmark::VarType::Null:
      V_VT(out) = VT_NULL;
      return;
    case pelmark::VarType::Long:
      V_VT(out) = VT_I4;
      V_I4(out) = value.long_value();
      return;
    case pelmark::VarType::Double:
      V_VT(out) = VT_R8;
      V_R8(out) = value.double_value();
      return;
    case pelmark::VarType::Date:
      V_VT(out) = VT_DATE;
      V_DATE(out) = value.date_value();
      return;
    case pelmark::VarType::String: {
      const std::wstring text = Wide(value.string_value());
      BSTR bstr = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
      if (!bstr) throw std::bad_alloc();
      V_VT(out) = VT_BSTR;
      V_BSTR(out) = bstr;
      return;
    }
    case pelmark::VarType::Boolean:
      V_VT(out) = VT_BOOL;
      V_BOOL(out) = value.bool_value() ? VARIANT_TRUE : VARIANT_FALSE;
      return;
    case pelmark::VarType::Object:
      V_DISPATCH(out) = DispatchOf(value.object_value().get());
      V_VT(out) = VT_DISPATCH;
      return;
  }
  Raise(13);
}

IDispatch* DispatchOf(pelmark::IUnknown* object) {
  if (!object) return nullptr;
  if (auto* proxy = dynamic_cast<ProxyCore*>(object)) {
    proxy->dispatch()->AddRef();
    return proxy->dispatch();
  }
  IDispatch* made = MakeLibraryDispatch(object);
  if (!made) Raise(13);
  return made;
}

// --- Proxies ----------------------------------------------------------------

ProxyCore::ProxyCore(IDispatch* object) : object_(object) {
  object_->AddRef();
  ObjectCreated();
}

ProxyCore::~ProxyCore() {
  object_->Release();
  ObjectDestroyed();
}

DISPID ProxyCore::IdOf(std::string_view name) {
  std::wstring wide = Wide(name);
  LPOLESTR names[] = {wide.data()};
  DISPID id = DISPID_UNKNOWN;
  HRESULT hr = object_->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) throw ErrorOfFailedCall(hr, nullptr);
  return id;
}

pelmark::Variant ProxyCore::Invoke(DISPID id, WORD flags, std::span<const pelmark::Variant> args) {
  Arguments arguments(args);
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{arguments.data(), nullptr, arguments.size(), 0};
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &put;
    params.cNamedArgs = 1;
  }
  ScopedVariant result;
  EXCEPINFO exception{};
  UINT argument_error = 0;
  HRESULT hr = object_->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result.value,
                               &exception, &argument_error);
  if (FAILED(hr)) throw ErrorOfFailedCall(hr, &exception);
  return FromVariant(result.value);
}

pelmark::Variant ProxyCore::Get(std::string_view name,
                                std::initializer_list<pelmark::Variant> args) {
  return Invoke(IdOf(name), DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                std::span<const pelmark::Variant>(args.begin(), args.size()));
}

void ProxyCore::Put(std::string_view name, const pelmark::Variant& value) {
  Invoke(IdOf(name), DISPATCH_PROPERTYPUT, std::span<const pelmark::Variant>(&value, 1));
}

pelmark::Variant ProxyCore::Enumerated(int32_t index) {
  if (index < 1) Raise(9);
  ScopedVariant enumerable;
  {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    EXCEPINFO exception{};
    HRESULT hr = object_->Invoke(DISPID_NEWENUM, IID_NULL, LOCALE_USER_DEFAULT,
                                 DISPATCH_METHOD | DISPATCH_PROPERTYGET, &none, &enumerable.value,
                                 &exception, nullptr);
    if (FAILED(hr)) throw ErrorOfFailedCall(hr, &exception);
  }
  if (V_VT(&enumerable.value) != VT_UNKNOWN && V_VT(&enumerable.value) != VT_DISPATCH) Raise(438);
  IUnknown* unknown = V_UNKNOWN(&enumerable.value);
  IEnumVARIANT* items = nullptr;
  if (!unknown ||
      FAILED(unknown->QueryInterface(IID_IEnumVARIANT, reinterpret_cast<void**>(&items))))
    Raise(438);
  HRESULT hr = index > 1 ? items->Skip(static_cast<ULONG>(index - 1)) : S_OK;
  ScopedVariant item;
  ULONG fetched = 0;
  if (hr == S_OK) hr = items->Next(1, &item.value, &fetched);
  items->Release();
  if (FAILED(hr)) throw ErrorOfFailedCall(hr, nullptr);
  if (hr != S_OK || fetched != 1) Raise(9);
  return FromVariant(item.value);
}

// --- Library objects ----------------------------------------------------------

LibraryDispatch::LibraryDispatch(pelmark::IUnknown* object, std::span<const Member> members,
                                 Call call, Enumeration enumeration)
    : object_(object), members_(members), call_(call), enumeration_(enumeration) {
  object_->AddRef();
}

LibraryDispatch::~LibraryDispatch() { object_->Release(); }

STDMETHODIMP LibraryDispatch::QueryInterface(REFIID iid, void** out) {
  if (!out) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
      IsEqualIID(iid, OwnObjectIid())) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

STDMETHODIMP LibraryDispatch::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

STDMETHODIMP LibraryDispatch::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return DISP_E_BADINDEX;
}

STDMETHODIMP LibraryDispatch::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT n = 0; n < count; ++n) ids[n] = DISPID_UNKNOWN;
  if (count == 0) return S_OK;
  for (size_t i = 0; i < members_.size(); ++i)
    if (EqualsIgnoringAsciiCase(names[0], members_[i].name)) ids[0] = static_cast<DISPID>(i + 1);
  if (ids[0] == DISPID_UNKNOWN || count > 1) hr = DISP_E_UNKNOWNNAME;
  return hr;
}

STDMETHODIMP LibraryDispatch::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception, UINT*) {
  if (id == DISPID_NEWENUM && enumeration_.count) {
    if (!result) return E_POINTER;
    VariantInit(result);
    V_VT(result) = VT_UNKNOWN;
    V_UNKNOWN(result) = new ElementEnumerator(object_, enumeration_, 0);
    return S_OK;
  }
  if (id < 1 || static_cast<size_t>(id) > members_.size()) return DISP_E_MEMBERNOTFOUND;
  const size_t member = static_cast<size_t>(id - 1);
  const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
  if (put ? !members_[member].writable : !members_[member].readable) return DISP_E_MEMBERNOTFOUND;
  const UINT count = params ? params->cArgs : 0;
  try {
    std::vector<pelmark::Variant> args;
    args.reserve(count);
    for (UINT i = 0; i < count; ++i) args.push_back(FromVariant(params->rgvarg[count - 1 - i]));
    pelmark::Variant value;
    call_(object_, member, put, args, &value);
    if (result) {
      VariantInit(result);
      ToVariant(value, result);
    }
    return S_OK;
  } catch (const pelmark::Error& error) {
    if (exception) {
      *exception = EXCEPINFO{};
      exception->scode = HresultOfErrorNumber(error.number());
      exception->bstrSource = SysAllocString(Wide(error.source()).c_str());
      exception->bstrDescription = SysAllocString(Wide(error.description()).c_str());
    }
    return DISP_E_EXCEPTION;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace corvane::automation
