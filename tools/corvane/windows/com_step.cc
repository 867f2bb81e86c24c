#include "com_step.h"

#include <cstdio>
#include <new>
#include <string>
#include <string_view>

#include "automation/automation.h"
#include "automation/com_objects.h"
#include "automation/errors.h"
#include "corvane/design.h"
#include "corvane/registry_entries.h"
#include "module_host.h"
#include "rules/variant_rules.h"
#include "rules/windows/wide_text.h"

// After the automation headers, which read the library's before windows.h.
#include "automation/type_library.h"

namespace corvane::cli {
namespace {

std::string HresultText(HRESULT hr) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// The object's IActivityDesign, called by name through its IDispatch half, as
// the tool calls host objects: the automation layer turns BSTRs into UTF-8 and
// a failed call into the pelmark::Error it carried.
class DesignProxy final : public automation::AutomationProxy<corvane::IActivityDesign> {
 public:
  using AutomationProxy::AutomationProxy;

  std::string Describe() override { return ToText(Get("Describe")); }
  std::string Check(std::string_view configuration) override {
    return ToText(Get("Check", {pelmark::Variant(std::string(configuration))}));
  }

  // The two members above are the whole of it; late binding goes to the DLL's own IDispatch.
  pelmark::HRESULT GetTypeInfoCount(uint32_t*) override { return NotHere(); }
  pelmark::HRESULT GetTypeInfo(uint32_t, uint32_t, void**) override { return NotHere(); }
  pelmark::HRESULT GetIDsOfNames(std::span<const std::string_view>, int32_t*) override {
    return NotHere();
  }
  pelmark::HRESULT Invoke(int32_t, std::span<pelmark::Variant>, pelmark::Variant*) override {
    return NotHere();
  }

 protected:
  bool Answers(const pelmark::IID& iid) const override {
    return iid == corvane::IActivityDesign::iid || iid == pelmark::IDispatch::iid;
  }

 private:
  static pelmark::HRESULT NotHere() { return static_cast<pelmark::HRESULT>(E_NOTIMPL); }
};

// An automation object handed to the step for the length of one call.
class CallArgument {
 public:
  explicit CallArgument(pelmark::IUnknown* object)
      : dispatch_(object ? automation::MakeLibraryDispatch(object) : nullptr) {
    if (object && !dispatch_)
      throw HostError("the simulator handed the step an object with no automation form");
  }
  CallArgument(const CallArgument&) = delete;
  CallArgument& operator=(const CallArgument&) = delete;
  // Released after the call, so that the simulator sees no reference kept.
  ~CallArgument() {
    if (dispatch_) dispatch_->Release();
  }
  IDispatch* get() const { return dispatch_; }
  IDispatch** address() { return &dispatch_; }

 private:
  IDispatch* dispatch_;
};

// A step of Corvane.dll as the runner sees it: the contract's IActivityRuntime,
// each call made through the DLL's IActivityRuntime, and IActivityDesign on
// request. A failing HRESULT and its error object become the pelmark::Error the
// contract throws.
class ComStep final : public pelmark::IActivityRuntime {
 public:
  explicit ComStep(::IActivityRuntime* step) : step_(step) {}

  pelmark::HRESULT QueryInterface(const pelmark::IID& iid, void** out) override {
    if (!out) return static_cast<pelmark::HRESULT>(E_POINTER);
    if (iid == pelmark::IUnknown::iid || iid == pelmark::IDispatch::iid ||
        iid == pelmark::IActivityRuntime::iid) {
      *out = static_cast<pelmark::IActivityRuntime*>(this);
      AddRef();
      return 0;
    }
    *out = nullptr;
    if (iid == corvane::IActivityDesign::iid) return QueryDesign(out);
    return static_cast<pelmark::HRESULT>(E_NOINTERFACE);
  }
  uint32_t AddRef() override { return ++references_; }
  uint32_t Release() override {
    uint32_t left = --references_;
    if (left == 0) delete this;
    return left;
  }

  // The runner calls the three methods only; late binding goes to the DLL's own
  // IDispatch, which a host that wants it asks for through COM.
  pelmark::HRESULT GetTypeInfoCount(uint32_t*) override { return NotHere(); }
  pelmark::HRESULT GetTypeInfo(uint32_t, uint32_t, void**) override { return NotHere(); }
  pelmark::HRESULT GetIDsOfNames(std::span<const std::string_view>, int32_t*) override {
    return NotHere();
  }
  pelmark::HRESULT Invoke(int32_t, std::span<pelmark::Variant>, pelmark::Variant*) override {
    return NotHere();
  }

  int32_t EvaluateCompositeTask(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                                pelmark::ITask*& task) override {
    CallArgument services_argument(services), activity_argument(activity), task_argument(task);
    LONG result = 0;
    SetErrorInfo(0, nullptr);
    Check(step_->EvaluateCompositeTask(services_argument.get(), activity_argument.get(),
                                       task_argument.address(), &result));
    return result;
  }
  int32_t Execute(pelmark::IActivityServices* services, pelmark::ITask*& task) override {
    CallArgument services_argument(services), task_argument(task);
    LONG result = 0;
    SetErrorInfo(0, nullptr);
    Check(step_->Execute(services_argument.get(), task_argument.address(), &result));
    return result;
  }
  void Initialize(pelmark::IActivityServices* services, pelmark::IActivity* activity) override {
    CallArgument services_argument(services), activity_argument(activity);
    SetErrorInfo(0, nullptr);
    Check(step_->Initialize(services_argument.get(), activity_argument.get()));
  }

 private:
  ~ComStep() { step_->Release(); }

  static pelmark::HRESULT NotHere() { return static_cast<pelmark::HRESULT>(E_NOTIMPL); }

  // A proxy of the object's IActivityDesign; none from a DLL that predates it.
  pelmark::HRESULT QueryDesign(void** out) {
    ::IActivityDesign* design = nullptr;
    HRESULT hr =
        step_->QueryInterface(__uuidof(::IActivityDesign), reinterpret_cast<void**>(&design));
    if (FAILED(hr) || !design) return static_cast<pelmark::HRESULT>(E_NOINTERFACE);
    auto* proxy = new (std::nothrow) DesignProxy(design);
    design->Release();
    if (!proxy) return static_cast<pelmark::HRESULT>(E_OUTOFMEMORY);
    proxy->AddRef();
    *out = static_cast<corvane::IActivityDesign*>(proxy);
    return 0;
  }

  // The error the DLL left for a failing call: its number, source chain and
  // description; without an error object, the number of the HRESULT alone.
  static void Check(HRESULT hr) {
    if (SUCCEEDED(hr)) return;
    IErrorInfo* error = nullptr;
    if (GetErrorInfo(0, &error) != S_OK || !error) throw automation::ErrorOfFailedCall(hr, nullptr);
    BSTR source = nullptr, description = nullptr;
    error->GetSource(&source);
    error->GetDescription(&description);
    pelmark::Error failure(
        automation::ErrorNumberOfHresult(hr),
        Utf8(source ? std::wstring_view(source, SysStringLen(source)) : L""),
        Utf8(description ? std::wstring_view(description, SysStringLen(description)) : L""));
    SysFreeString(source);
    SysFreeString(description);
    error->Release();
    throw failure;
  }

  ::IActivityRuntime* step_;
  uint32_t references_ = 0;
};

}  // namespace

pelmark::ComPtr<pelmark::IActivityRuntime> WrapComStep(::IActivityRuntime* step) {
  return pelmark::ComPtr<pelmark::IActivityRuntime>(new ComStep(step));
}

pelmark::ComPtr<pelmark::IActivityRuntime> CreateComStep(void* get_class_object,
                                                         const pelmark::CLSID& clsid,
                                                         const std::string& module_path) {
  using GetClassObject = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
  const std::string clsid_text = pelmark::GuidToString(clsid);
  IClassFactory* factory = nullptr;
  HRESULT hr = reinterpret_cast<GetClassObject>(get_class_object)(
      automation::ToWindowsGuid(clsid), IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (hr == CLASS_E_CLASSNOTAVAILABLE)
    throw pelmark::Error(kErrorCannotCreateObject, "ComponentModule",
                         module_path + " does not serve the class " + clsid_text);
  if (FAILED(hr) || !factory)
    throw pelmark::Error(kErrorCannotCreateObject, "ComponentModule",
                         "DllGetClassObject of " + module_path + " failed for " + clsid_text +
                             " with " + HresultText(hr));
  ::IActivityRuntime* step = nullptr;
  hr = factory->CreateInstance(nullptr, __uuidof(::IActivityRuntime),
                               reinterpret_cast<void**>(&step));
  factory->Release();
  if (FAILED(hr) || !step)
    throw pelmark::Error(
        kErrorCannotCreateObject, "ComponentModule",
        "creating " + clsid_text + " from " + module_path + " failed with " + HresultText(hr));
  return WrapComStep(step);
}

}  // namespace corvane::cli
