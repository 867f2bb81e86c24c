#include "windows/activity_object.h"

#include <new>
#include <string>
#include <string_view>

#include "automation/automation.h"
#include "automation/com_objects.h"
#include "automation/errors.h"
#include "component/class_table.h"
#include "corvane/design.h"
#include "framework/activity.h"
#include "pelmark/host.h"
#include "rules/windows/wide_text.h"
#include "rules/windows/win32.h"
#include "windows/server.h"

// After the library's headers, which read theirs before windows.h.
#include "automation/type_library.h"

namespace corvane::windows {
namespace {

using automation::Guarded;
using automation::HostObject;

// A member that fails comes back as DISP_E_EXCEPTION with EXCEPINFO filled
// from the error object the member left.
void FillFromErrorObject(EXCEPINFO* exception) {
  IErrorInfo* error = nullptr;
  if (GetErrorInfo(0, &error) != S_OK || !error) return;
  error->GetSource(&exception->bstrSource);
  error->GetDescription(&exception->bstrDescription);
  exception->scode = E_FAIL;
  error->Release();
}

std::string Text(BSTR text) {
  return text ? Utf8(std::wstring_view(text, SysStringLen(text))) : std::string();
}

BSTR Bstr(std::string_view text) {
  const std::wstring wide = Wide(text);
  BSTR out = SysAllocStringLen(wide.data(), static_cast<UINT>(wide.size()));
  if (!out) throw std::bad_alloc();
  return out;
}

// The dual interface `Interface` with its IDispatch half answered from the
// interface's type information in the type library.
template <class Interface>
class TypeInfoDispatch : public Interface {
 public:
  explicit TypeInfoDispatch(const GUID& iid) : info_(TypeInfoOf(iid)) {
    if (!info_)
      throw pelmark::Error(static_cast<int32_t>(TYPE_E_ELEMENTNOTFOUND), "Corvane",
                           "the type library embedded in Corvane.dll lacks an interface");
  }
  TypeInfoDispatch(const TypeInfoDispatch&) = delete;
  TypeInfoDispatch& operator=(const TypeInfoDispatch&) = delete;
  ~TypeInfoDispatch() { info_->Release(); }

  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    info_->AddRef();
    *info = info_;
    return S_OK;
  }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) override {
    return DispGetIDsOfNames(info_, names, count, ids);
  }
  STDMETHODIMP Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                      EXCEPINFO* exception, UINT* argument_error) override {
    HRESULT hr = info_->Invoke(static_cast<Interface*>(this), id, flags, params, result, exception,
                               argument_error);
    if (hr == DISP_E_EXCEPTION && exception && !exception->bstrDescription && !exception->scode &&
        !exception->wCode)
      FillFromErrorObject(exception);
    return hr;
  }

 private:
  ITypeInfo* info_;
};

class ActivityObject final : public TypeInfoDispatch<::IActivityRuntime>, public ISupportErrorInfo {
 public:
  ActivityObject(const ClassInfo& info, pelmark::ComPtr<Activity> core)
      : TypeInfoDispatch(__uuidof(::IActivityRuntime)),
        default_iid_(automation::ToWindowsGuid(info.default_iid)),
        core_(std::move(core)),
        default_interface_(*this),
        design_interface_(*this) {
    automation::ObjectCreated();
  }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
        IsEqualIID(iid, default_iid_))
      *out = static_cast<::_ExportToFolder*>(&default_interface_);
    else if (IsEqualIID(iid, __uuidof(::IActivityRuntime)))
      *out = static_cast<::IActivityRuntime*>(this);
    else if (IsEqualIID(iid, __uuidof(::IActivityDesign)))
      *out = static_cast<::IActivityDesign*>(&design_interface_);
    else if (IsEqualIID(iid, IID_ISupportErrorInfo))
      *out = static_cast<ISupportErrorInfo*>(this);
    else
      return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override {
    return static_cast<ULONG>(InterlockedIncrement(&references_));
  }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = static_cast<ULONG>(InterlockedDecrement(&references_));
    if (left == 0) delete this;
    return left;
  }

  // IActivityRuntime. The task is passed by reference and never replaced.
  STDMETHODIMP EvaluateCompositeTask(IDispatch* services, IDispatch* activity, IDispatch** task,
                                     LONG* result) override {
    if (!result) return E_POINTER;
    return Guarded(__uuidof(::IActivityRuntime), [&] {
      auto host_services = HostObject<pelmark::IActivityServices>(services);
      auto host_activity = HostObject<pelmark::IActivity>(activity);
      auto host_task = HostObject<pelmark::ITask>(task ? *task : nullptr);
      pelmark::ITask* task_argument = host_task.get();
      *result =
          core_->EvaluateCompositeTask(host_services.get(), host_activity.get(), task_argument);
    });
  }
  STDMETHODIMP Execute(IDispatch* services, IDispatch** task, LONG* result) override {
    if (!result) return E_POINTER;
    return Guarded(__uuidof(::IActivityRuntime), [&] {
      auto host_services = HostObject<pelmark::IActivityServices>(services);
      auto host_task = HostObject<pelmark::ITask>(task ? *task : nullptr);
      pelmark::ITask* task_argument = host_task.get();
      *result = core_->Execute(host_services.get(), task_argument);
    });
  }
  STDMETHODIMP Initialize(IDispatch* services, IDispatch* activity) override {
    return Guarded(__uuidof(::IActivityRuntime), [&] {
      auto host_services = HostObject<pelmark::IActivityServices>(services);
      auto host_activity = HostObject<pelmark::IActivity>(activity);
      core_->Initialize(host_services.get(), host_activity.get());
    });
  }

  // ISupportErrorInfo
  STDMETHODIMP InterfaceSupportsErrorInfo(REFIID iid) override {
    return IsEqualIID(iid, __uuidof(::IActivityRuntime)) ||
                   IsEqualIID(iid, __uuidof(::IActivityDesign)) || IsEqualIID(iid, default_iid_)
               ? S_OK
               : S_FALSE;
  }

 private:
  // The default interface _<Class>. Every class's is a plain dual interface;
  // ExportToFolder's adds DirectoryExists and MakeDirectory, so all share that
  // layout and only ExportToFolder's type information names the two members.
  class DefaultInterface final : public TypeInfoDispatch<::_ExportToFolder> {
   public:
    explicit DefaultInterface(ActivityObject& owner)
        : TypeInfoDispatch(owner.default_iid_), owner_(owner) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
      return owner_.QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return owner_.AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_.Release(); }

    // A script's object is its default interface, so Describe and Check are
    // found here too, by IActivityDesign's type information.
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                               DISPID* ids) override {
      HRESULT hr = TypeInfoDispatch::GetIDsOfNames(riid, names, count, lcid, ids);
      if (hr == DISP_E_UNKNOWNNAME)
        hr = owner_.design_interface_.GetIDsOfNames(riid, names, count, lcid, ids);
      return hr;
    }
    STDMETHODIMP Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                        VARIANT* result, EXCEPINFO* exception, UINT* argument_error) override {
      if (id == kDispDescribe || id == kDispCheck)
        return owner_.design_interface_.Invoke(id, riid, lcid, flags, params, result, exception,
                                               argument_error);
      return TypeInfoDispatch::Invoke(id, riid, lcid, flags, params, result, exception,
                                      argument_error);
    }

    STDMETHODIMP DirectoryExists(BSTR path_name, VARIANT_BOOL* exists) override {
      if (!exists) return E_POINTER;
      return Guarded(owner_.default_iid_, [&] {
        pelmark::Variant found = CallCore("DirectoryExists", Text(path_name));
        *exists = ToBoolean(found) ? VARIANT_TRUE : VARIANT_FALSE;
      });
    }
    STDMETHODIMP MakeDirectory(BSTR path) override {
      return Guarded(owner_.default_iid_, [&] { CallCore("MakeDirectory", Text(path)); });
    }

   private:
    // The core's own member of that name, reached through its late binding
    // (only ExportToFolder has these two).
    pelmark::Variant CallCore(std::string_view member, std::string argument) {
      const std::string_view names[] = {member};
      int32_t id = -1;
      if (owner_.core_->GetIDsOfNames(names, &id) < 0) Raise(438);
      pelmark::Variant args[] = {pelmark::Variant(std::move(argument))};
      pelmark::Variant result;
      if (owner_.core_->Invoke(id, args, &result) < 0) Raise(438);
      return result;
    }

    ActivityObject& owner_;
  };

  // IActivityDesign: the core's reference and findings, UTF-8 to BSTR.
  class DesignInterface final : public TypeInfoDispatch<::IActivityDesign> {
   public:
    explicit DesignInterface(ActivityObject& owner)
        : TypeInfoDispatch(__uuidof(::IActivityDesign)), owner_(owner) {}

    STDMETHODIMP QueryInterface(REFIID iid, void** out) override {
      return owner_.QueryInterface(iid, out);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return owner_.AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return owner_.Release(); }

    STDMETHODIMP Describe(BSTR* reference) override {
      if (!reference) return E_POINTER;
      *reference = nullptr;
      return Guarded(__uuidof(::IActivityDesign), [&] { *reference = Bstr(Core()->Describe()); });
    }
    STDMETHODIMP Check(BSTR configuration, BSTR* findings) override {
      if (!findings) return E_POINTER;
      *findings = nullptr;
      return Guarded(__uuidof(::IActivityDesign),
                     [&] { *findings = Bstr(Core()->Check(Text(configuration))); });
    }

   private:
    pelmark::ComPtr<corvane::IActivityDesign> Core() {
      auto design = pelmark::ComPtr<pelmark::IActivityRuntime>(owner_.core_.get())
                        .try_query<corvane::IActivityDesign>();
      if (!design) Raise(438);
      return design;
    }

    ActivityObject& owner_;
  };

  ~ActivityObject() { automation::ObjectDestroyed(); }

  const GUID default_iid_;
  pelmark::ComPtr<Activity> core_;
  DefaultInterface default_interface_;
  DesignInterface design_interface_;
  LONG references_ = 1;
};

}  // namespace

HRESULT CreateActivityObject(const ClassInfo& info, REFIID iid, void** out) {
  pelmark::ComPtr<Activity> core(CreateActivity(info));
  if (!core) return CLASS_E_CLASSNOTAVAILABLE;
  ActivityObject* object = nullptr;
  try {
    object = new ActivityObject(info, std::move(core));
  } catch (const pelmark::Error&) {
    return TYPE_E_CANTLOADLIBRARY;
  }
  HRESULT hr = object->QueryInterface(iid, out);
  object->Release();
  return hr;
}

}  // namespace corvane::windows
