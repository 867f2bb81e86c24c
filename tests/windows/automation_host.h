// A small automation host for the Wine tests: objects whose members are named
// handlers reached through IDispatch only, as a Windows workflow host's are, and
// a journal of the DMS calls they receive.
#pragma once

#include <oleauto.h>
#include <windows.h>

#include <cwchar>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace corvane_test {

// A handler gets the arguments in natural order and may set *result. Returning
// an error number (non-zero) fails the call with DISP_E_EXCEPTION, with that
// number's HRESULT and the object's source and the description given.
struct Failure {
  int number = 0;
  std::wstring description;
};
using Handler = std::function<Failure(std::vector<VARIANT*>& args, VARIANT* result)>;

class AutomationObject final : public IDispatch {
 public:
  explicit AutomationObject(std::wstring source) : source_(std::move(source)) {}

  // Adds a member; a property read and a call reach the same handler, and a
  // property write reaches `put` when there is one.
  void Member(const std::wstring& name, Handler get, Handler put = nullptr) {
    members_.push_back({name, std::move(get), std::move(put)});
  }
  long references() const { return references_; }
  // Makes the object enumerable (_NewEnum) over these objects, in this order.
  void Elements(std::vector<IDispatch*> elements) { elements_ = std::move(elements); }

  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
      *out = static_cast<IDispatch*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references_); }
  STDMETHODIMP_(ULONG) Release() override {
    long left = --references_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return DISP_E_BADINDEX; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    for (size_t m = 0; m < members_.size(); ++m)
      if (_wcsicmp(members_[m].name.c_str(), names[0]) == 0) ids[0] = static_cast<DISPID>(m + 1);
    return ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT*) override {
    if (id == DISPID_NEWENUM && !elements_.empty()) {
      VariantInit(result);
      V_VT(result) = VT_UNKNOWN;
      V_UNKNOWN(result) = new Enumerator(elements_, 0);
      return S_OK;
    }
    if (id < 1 || static_cast<size_t>(id) > members_.size()) return DISP_E_MEMBERNOTFOUND;
    const Entry& entry = members_[static_cast<size_t>(id - 1)];
    const bool put = (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) != 0;
    const Handler& handler = put ? entry.put : entry.get;
    if (!handler) return DISP_E_MEMBERNOTFOUND;
    std::vector<VARIANT*> args;
    for (UINT i = params->cArgs; i > 0; --i) args.push_back(&params->rgvarg[i - 1]);
    VARIANT ignored;
    VariantInit(&ignored);
    Failure failure = handler(args, result ? result : &ignored);
    VariantClear(&ignored);
    if (failure.number == 0) return S_OK;
    if (exception) {
      *exception = EXCEPINFO{};
      exception->scode = static_cast<SCODE>(0x800A0000u | static_cast<unsigned>(failure.number));
      exception->bstrSource = SysAllocString(source_.c_str());
      exception->bstrDescription = SysAllocString(failure.description.c_str());
    }
    return DISP_E_EXCEPTION;
  }

 private:
  // The enumerator _NewEnum hands out; it borrows the elements.
  class Enumerator final : public IEnumVARIANT {
   public:
    Enumerator(const std::vector<IDispatch*>& elements, size_t at) : elements_(elements), at_(at) {}
    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
      if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IEnumVARIANT)) {
        *out = static_cast<IEnumVARIANT*>(this);
        AddRef();
        return S_OK;
      }
      *out = nullptr;
      return E_NOINTERFACE;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(++references_); }
    STDMETHODIMP_(ULONG) Release() override {
      long left = --references_;
      if (left == 0) delete this;
      return static_cast<ULONG>(left);
    }
    STDMETHODIMP Next(ULONG count, VARIANT* out, ULONG* fetched) override {
      ULONG n = 0;
      for (; n < count && at_ < elements_.size(); ++n, ++at_) SetObject(&out[n], elements_[at_]);
      if (fetched) *fetched = n;
      return n == count ? S_OK : S_FALSE;
    }
    STDMETHODIMP Skip(ULONG count) override {
      at_ += count;
      if (at_ <= elements_.size()) return S_OK;
      at_ = elements_.size();
      return S_FALSE;
    }
    STDMETHODIMP Reset() override {
      at_ = 0;
      return S_OK;
    }
    STDMETHODIMP Clone(IEnumVARIANT** out) override {
      *out = new Enumerator(elements_, at_);
      return S_OK;
    }

   private:
    static void SetObject(VARIANT* out, IDispatch* object) {
      VariantInit(out);
      V_VT(out) = VT_DISPATCH;
      V_DISPATCH(out) = object;
      object->AddRef();
    }
    std::vector<IDispatch*> elements_;
    size_t at_;
    long references_ = 1;
  };

  struct Entry {
    std::wstring name;
    Handler get;
    Handler put;
  };
  ~AutomationObject() = default;

  std::wstring source_;
  std::vector<Entry> members_;
  std::vector<IDispatch*> elements_;
  long references_ = 1;
};

// --- VARIANT helpers -----------------------------------------------------------

inline Failure SetText(VARIANT* out, const std::wstring& text) {
  VariantClear(out);
  V_VT(out) = VT_BSTR;
  V_BSTR(out) = SysAllocString(text.c_str());
  return {};
}
inline Failure SetLong(VARIANT* out, long value) {
  VariantClear(out);
  V_VT(out) = VT_I4;
  V_I4(out) = value;
  return {};
}
inline Failure SetBool(VARIANT* out, bool value) {
  VariantClear(out);
  V_VT(out) = VT_BOOL;
  V_BOOL(out) = value ? VARIANT_TRUE : VARIANT_FALSE;
  return {};
}
// Hands out a new reference to `object`.
inline Failure SetObject(VARIANT* out, IDispatch* object) {
  VariantClear(out);
  V_VT(out) = VT_DISPATCH;
  V_DISPATCH(out) = object;
  if (object) object->AddRef();
  return {};
}

// The value as text (VariantChangeType's rules), for journals and checks.
inline std::wstring TextOf(const VARIANT* value) {
  VARIANT text;
  VariantInit(&text);
  std::wstring out = L"?";
  if (SUCCEEDED(VariantChangeType(&text, const_cast<VARIANT*>(value), VARIANT_ALPHABOOL, VT_BSTR)))
    out = V_BSTR(&text);
  VariantClear(&text);
  return out;
}

// object.name read through IDispatch, as text; "<no member>" when it has none.
inline std::wstring PropertyText(IDispatch* object, const wchar_t* name) {
  if (!object) return L"<Nothing>";
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  if (FAILED(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id)))
    return L"<no member>";
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  if (FAILED(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result,
                            nullptr, nullptr)))
    return L"<failed>";
  std::wstring out = TextOf(&result);
  VariantClear(&result);
  return out;
}

inline IDispatch* ObjectArgument(VARIANT* value) {
  if (V_VT(value) == (VT_DISPATCH | VT_BYREF)) return *V_DISPATCHREF(value);
  return V_VT(value) == VT_DISPATCH ? V_DISPATCH(value) : nullptr;
}

}  // namespace corvane_test
