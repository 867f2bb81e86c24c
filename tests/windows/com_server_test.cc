// Corvane.dll as a Windows host meets it, run under Wine: registration and the
// registry keys it writes, the type library and the _IID_ resources, creation by
// ProgID and CLSID, one MarkAsVital step against an automation host, a failing
// step's HRESULT and error object (directly and through IDispatch::Invoke),
// DllCanUnloadNow, and unregistration.
//
// Usage: com_server_test.exe PATH\Corvane.dll. Prints one line per failed check
// and a closing "N passed, M failed" line; exits 1 when a check failed.
#include <string>
#include <vector>

#include "corvane/catalogue.h"

// windows.h after the catalogue: it defines S_OK and friends as macros.
#include <olectl.h>

#include "Corvane.h"
#include "automation_host.h"

namespace {

using namespace corvane_test;

int g_passed = 0;
int g_failed = 0;

void Check(bool ok, int line, const std::wstring& what) {
  if (ok) {
    ++g_passed;
  } else {
    ++g_failed;
    wprintf(L"FAILED (line %d): %ls\n", line, what.c_str());
  }
}
#define CHECK(condition, what) Check((condition), __LINE__, (what))

std::wstring Wide(std::string_view text) { return std::wstring(text.begin(), text.end()); }

GUID ToGuid(const pelmark::GUID& g) {
  GUID out{g.Data1, g.Data2, g.Data3, {}};
  for (int i = 0; i < 8; ++i) out.Data4[i] = g.Data4[i];
  return out;
}

std::wstring GuidText(const pelmark::GUID& g) { return Wide(pelmark::GuidToString(g)); }

std::wstring Hex(HRESULT hr) {
  wchar_t text[16];
  swprintf(text, 16, L"0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// A string value under HKEY_CLASSES_ROOT; "<missing>" when the key or value is not there.
std::wstring RegistryText(const std::wstring& key, const wchar_t* name = nullptr) {
  wchar_t buffer[1024];
  DWORD size = sizeof(buffer);
  LSTATUS status =
      RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), name, RRF_RT_REG_SZ, nullptr, buffer, &size);
  return status == ERROR_SUCCESS ? std::wstring(buffer) : L"<missing>";
}

bool KeyExists(const std::wstring& key) {
  HKEY handle = nullptr;
  if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
    return false;
  RegCloseKey(handle);
  return true;
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towupper(c));
  return text;
}

struct Dll {
  HMODULE module = nullptr;
  HRESULT(STDAPICALLTYPE* can_unload)() = nullptr;
  HRESULT(STDAPICALLTYPE* register_server)() = nullptr;
  HRESULT(STDAPICALLTYPE* unregister_server)() = nullptr;
  HRESULT(STDAPICALLTYPE* get_class_object)(REFCLSID, REFIID, void**) = nullptr;
};

template <class F>
void Bind(HMODULE module, const char* name, F*& out) {
  out = reinterpret_cast<F*>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

// --- Registration --------------------------------------------------------------

void CheckRegistration(const std::wstring& dll_path) {
  const std::wstring libid = GuidText(corvane::kLibraryId);
  for (const corvane::ClassInfo& c : corvane::kCatalogue) {
    const std::wstring prog_id = L"Corvane." + Wide(c.name);
    const std::wstring class_key = L"CLSID\\" + GuidText(c.clsid);
    CHECK(RegistryText(prog_id + L"\\CLSID") == GuidText(c.clsid), prog_id + L" names its CLSID");
    CHECK(Upper(RegistryText(class_key + L"\\InprocServer32")) == Upper(dll_path),
          prog_id + L" is served by the DLL: " + RegistryText(class_key + L"\\InprocServer32"));
    CHECK(RegistryText(class_key + L"\\InprocServer32", L"ThreadingModel") == L"Apartment",
          prog_id + L" is apartment-threaded");
    CHECK(RegistryText(class_key + L"\\ProgID") == prog_id, prog_id + L" CLSID names its ProgID");
    CHECK(RegistryText(class_key + L"\\TypeLib") == libid, prog_id + L" names the type library");
    CHECK(KeyExists(L"Interface\\" + GuidText(c.default_iid)),
          L"the default interface of " + prog_id + L" is registered");
  }
  CHECK(Upper(RegistryText(L"TypeLib\\" + libid + L"\\1.0\\409\\win64")) == Upper(dll_path),
        L"the type library is registered for win64 at the DLL");
}

void CheckUnregistered() {
  for (const corvane::ClassInfo& c : corvane::kCatalogue) {
    const std::wstring prog_id = L"Corvane." + Wide(c.name);
    CHECK(!KeyExists(prog_id), prog_id + L" is gone");
    CHECK(!KeyExists(L"CLSID\\" + GuidText(c.clsid)), prog_id + L" CLSID key is gone");
    CHECK(!KeyExists(L"Interface\\" + GuidText(c.default_iid)),
          prog_id + L" default interface key is gone");
  }
  CHECK(!KeyExists(L"TypeLib\\" + GuidText(corvane::kLibraryId)), L"the type library key is gone");
}

// --- Type library and resources -----------------------------------------------------

void CheckTypeLibrary() {
  ITypeLib* library = nullptr;
  HRESULT hr = LoadRegTypeLib(ToGuid(corvane::kLibraryId), 1, 0, 0x0409, &library);
  CHECK(SUCCEEDED(hr) && library, L"the registered type library loads: " + Hex(hr));
  if (!library) return;

  TLIBATTR* attributes = nullptr;
  library->GetLibAttr(&attributes);
  CHECK(
      attributes->lcid == 0x0409 && attributes->wMajorVerNum == 1 && attributes->wMinorVerNum == 0,
      L"the library is 1.0, locale 0x0409");
  library->ReleaseTLibAttr(attributes);
  BSTR name = nullptr, help = nullptr;
  library->GetDocumentation(-1, &name, &help, nullptr, nullptr);
  CHECK(name && std::wstring(name) == L"Corvane", L"the library is named Corvane");
  CHECK(help && std::wstring(help).find(L"release 2.0") != std::wstring::npos,
        L"the help string names release 2.0");
  SysFreeString(name);
  SysFreeString(help);

  int coclasses = 0;
  for (UINT i = 0; i < library->GetTypeInfoCount(); ++i) {
    TYPEKIND kind;
    if (SUCCEEDED(library->GetTypeInfoType(i, &kind)) && kind == TKIND_COCLASS) ++coclasses;
  }
  CHECK(coclasses == 32, L"32 coclasses, found " + std::to_wstring(coclasses));

  for (const corvane::ClassInfo& c : corvane::kCatalogue) {
    const std::wstring class_name = Wide(c.name);
    ITypeInfo* coclass = nullptr;
    CHECK(SUCCEEDED(library->GetTypeInfoOfGuid(ToGuid(c.clsid), &coclass)),
          class_name + L" is a coclass of the library");
    if (!coclass) continue;
    TYPEATTR* attr = nullptr;
    coclass->GetTypeAttr(&attr);
    CHECK(attr->cImplTypes == 2, class_name + L" lists two interfaces");
    bool default_ok = false, runtime_ok = false;
    for (UINT i = 0; i < attr->cImplTypes; ++i) {
      HREFTYPE ref;
      INT flags = 0;
      ITypeInfo* implemented = nullptr;
      coclass->GetRefTypeOfImplType(i, &ref);
      coclass->GetImplTypeFlags(i, &flags);
      coclass->GetRefTypeInfo(ref, &implemented);
      TYPEATTR* iattr = nullptr;
      implemented->GetTypeAttr(&iattr);
      BSTR iname = nullptr;
      implemented->GetDocumentation(MEMBERID_NIL, &iname, nullptr, nullptr, nullptr);
      const WORD wanted = TYPEFLAG_FHIDDEN | TYPEFLAG_FDUAL | TYPEFLAG_FNONEXTENSIBLE;
      if (flags & IMPLTYPEFLAG_FDEFAULT) {
        // A dual interface's type info may be its dispatch view; its flags still tell.
        default_ok = IsEqualGUID(iattr->guid, ToGuid(c.default_iid)) &&
                     (iattr->wTypeFlags & wanted) == wanted &&
                     std::wstring(iname) == L"_" + class_name;
      } else if (IsEqualGUID(iattr->guid, __uuidof(IActivityRuntime))) {
        runtime_ok = (iattr->wTypeFlags & TYPEFLAG_FDUAL) != 0;
      }
      SysFreeString(iname);
      implemented->ReleaseTypeAttr(iattr);
      implemented->Release();
    }
    CHECK(default_ok, L"_" + class_name + L" is the hidden, dual, non-extensible default");
    CHECK(runtime_ok, class_name + L" implements the dual IActivityRuntime");
    coclass->ReleaseTypeAttr(attr);
    coclass->Release();
  }

  // IActivityRuntime's three methods in their slots after IDispatch's seven.
  ITypeInfo* runtime = nullptr;
  library->GetTypeInfoOfGuid(__uuidof(IActivityRuntime), &runtime);
  CHECK(runtime != nullptr, L"IActivityRuntime is in the library");
  if (runtime) {
    HREFTYPE vtable_ref;
    ITypeInfo* vtable_view = runtime;
    // A dual interface's dispatch view leads to its vtable view through -1.
    if (SUCCEEDED(runtime->GetRefTypeOfImplType(-1, &vtable_ref)))
      runtime->GetRefTypeInfo(vtable_ref, &vtable_view);
    const wchar_t* order[] = {L"EvaluateCompositeTask", L"Execute", L"Initialize"};
    for (UINT i = 0; i < 3; ++i) {
      FUNCDESC* function = nullptr;
      if (FAILED(vtable_view->GetFuncDesc(i, &function))) {
        CHECK(false, L"IActivityRuntime has a method " + std::to_wstring(i));
        continue;
      }
      BSTR fname = nullptr;
      vtable_view->GetDocumentation(function->memid, &fname, nullptr, nullptr, nullptr);
      CHECK(fname && std::wstring(fname) == order[i] &&
                function->oVft == static_cast<SHORT>((7 + i) * sizeof(void*)),
            std::wstring(L"IActivityRuntime slot ") + std::to_wstring(7 + i) + L" is " + order[i]);
      SysFreeString(fname);
      vtable_view->ReleaseFuncDesc(function);
    }
    if (vtable_view != runtime) vtable_view->Release();
    runtime->Release();
  }
  library->Release();
}

void CheckResources(HMODULE module) {
  for (const corvane::ClassInfo& c : corvane::kCatalogue) {
    std::wstring type = L"_IID_" + Upper(Wide(c.name));
    HRSRC found = FindResourceExW(module, type.c_str(), MAKEINTRESOURCEW(1),
                                  MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL));
    CHECK(found != nullptr, type + L" id 1, language neutral, exists");
    if (!found) continue;
    const auto* bytes =
        static_cast<const unsigned char*>(LockResource(LoadResource(module, found)));
    GUID iid = ToGuid(c.default_iid);
    CHECK(SizeofResource(module, found) == 20 && bytes[0] == 16 && bytes[1] == 0 && bytes[2] == 0 &&
              bytes[3] == 0 && memcmp(bytes + 4, &iid, 16) == 0,
          type + L" holds length 16 and the default interface's IID");
  }
}

// --- Objects ---------------------------------------------------------------------

void CheckCreation() {
  for (const corvane::ClassInfo& c : corvane::kCatalogue) {
    const std::wstring prog_id = L"Corvane." + Wide(c.name);
    CLSID clsid{};
    CHECK(
        SUCCEEDED(CLSIDFromProgID(prog_id.c_str(), &clsid)) && IsEqualGUID(clsid, ToGuid(c.clsid)),
        prog_id + L" resolves to its CLSID");
    IUnknown* by_prog_id = nullptr;
    HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                                  reinterpret_cast<void**>(&by_prog_id));
    CHECK(SUCCEEDED(hr), prog_id + L" is created by ProgID: " + Hex(hr));
    if (by_prog_id) by_prog_id->Release();

    IActivityRuntime* runtime = nullptr;
    hr = CoCreateInstance(ToGuid(c.clsid), nullptr, CLSCTX_INPROC_SERVER,
                          __uuidof(IActivityRuntime), reinterpret_cast<void**>(&runtime));
    CHECK(SUCCEEDED(hr) && runtime, prog_id + L" is created by CLSID as IActivityRuntime");
    if (!runtime) continue;
    IDispatch* default_interface = nullptr;
    CHECK(SUCCEEDED(runtime->QueryInterface(ToGuid(c.default_iid),
                                            reinterpret_cast<void**>(&default_interface))),
          prog_id + L" answers _" + Wide(c.name));
    if (default_interface) default_interface->Release();
    ISupportErrorInfo* support = nullptr;
    CHECK(SUCCEEDED(
              runtime->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support))) &&
              support->InterfaceSupportsErrorInfo(__uuidof(IActivityRuntime)) == S_OK,
          prog_id + L" supports error objects on IActivityRuntime");
    if (support) support->Release();
    runtime->Release();
  }
}

// --- One step against an automation host -------------------------------------------

// The DMS's description when database 7 is offline: text beyond ASCII (Latin,
// Greek, CJK, and a character outside the Basic Multilingual Plane) must reach
// the error object, EXCEPINFO and the event log exactly.
const wchar_t kOffline[] = L"database 7 is offline: Übersicht Συμβόλαια 契約書 𝄞";

// The host of one MarkAsVital step over three documents of database 7.
struct MarkAsVitalHost {
  std::vector<std::wstring> journal;
  std::vector<std::pair<std::wstring, std::wstring>> written;  // task variable, value
  AutomationObject* services = new AutomationObject(L"TestHost");
  AutomationObject* process = new AutomationObject(L"TestHost");
  AutomationObject* process_variables = new AutomationObject(L"TestHost");
  AutomationObject* item_list = new AutomationObject(L"TestHost");
  AutomationObject* task = new AutomationObject(L"TestHost");
  AutomationObject* task_variables = new AutomationObject(L"TestHost");
  AutomationObject* parameters = new AutomationObject(L"TestHost");
  AutomationObject* reason = new AutomationObject(L"TestHost");
  AutomationObject* dms = new AutomationObject(L"TestDms");
  std::vector<AutomationObject*> variables;

  enum class Fault { kNone, kDatabaseOffline, kTaskWithoutProcessId };

  explicit MarkAsVitalHost(Fault fault = Fault::kNone) {
    const bool database_offline = fault == Fault::kDatabaseOffline;
    services->Member(L"GetService", [this](auto& args, VARIANT* r) {
      return SetObject(r, TextOf(args[0]) == L"DmsService" ? dms : nullptr);
    });
    services->Member(L"GetProcessInstance", [this](auto& args, VARIANT* r) {
      journal.push_back(L"GetProcessInstance " + TextOf(args[0]));
      return SetObject(r, process);
    });
    process->Member(L"Variables",
                    [this](auto&, VARIANT* r) { return SetObject(r, process_variables); });
    process_variables->Member(L"Count", [](auto&, VARIANT* r) { return SetLong(r, 1); });
    process_variables->Member(L"Item",
                              [this](auto&, VARIANT* r) { return SetObject(r, item_list); });
    item_list->Member(L"TypeName", [](auto&, VARIANT* r) { return SetText(r, L"dms.object"); });
    item_list->Member(L"IsNull", [](auto&, VARIANT* r) { return SetBool(r, false); });
    item_list->Member(L"Value", [](auto&, VARIANT* r) {
      return SetText(r,
                     L"<dmsobject entitytype=\"document\" dbid=\"7\" dbpath=\"\" dbtype=\"0\">"
                     L"<documents><document id=\"17\" name=\"Supply contract\"/>"
                     L"<document id=\"-18\" name=\"Annex B\"/>"
                     L"<document id=\"19\" name=\"Annex C\"/></documents></dmsobject>");
    });
    if (fault != Fault::kTaskWithoutProcessId)
      task->Member(L"ProcessID", [](auto&, VARIANT* r) { return SetLong(r, 42); });
    task->Member(L"Variables", [this](auto&, VARIANT* r) { return SetObject(r, task_variables); });
    task->Member(L"Parameters", [this](auto&, VARIANT* r) { return SetObject(r, parameters); });
    task_variables->Member(L"Exists", [](auto&, VARIANT* r) { return SetBool(r, true); });
    task_variables->Member(L"Item", [this](auto& args, VARIANT* r) {
      std::wstring name = TextOf(args[0]);
      auto* variable = new AutomationObject(L"TestHost");
      variable->Member(
          L"Value", [](auto&, VARIANT* r) { return Failure{}; },
          [this, name](auto& args, VARIANT*) {
            written.emplace_back(name, TextOf(args[0]));
            return Failure{};
          });
      variables.push_back(variable);
      return SetObject(r, variable);
    });
    parameters->Member(
        L"Exists", [](auto& args, VARIANT* r) { return SetBool(r, TextOf(args[0]) == L"REASON"); });
    parameters->Member(L"Item", [this](auto&, VARIANT* r) { return SetObject(r, reason); });
    reason->Member(L"Value", [](auto&, VARIANT* r) { return SetText(r, L"Retention review"); });
    reason->Member(L"IsNull", [](auto&, VARIANT* r) { return SetBool(r, false); });
    dms->Member(L"Connect", [this, database_offline](auto& args, VARIANT*) {
      journal.push_back(L"Connect " + TextOf(args[0]));
      if (database_offline) return Failure{5000, kOffline};
      return Failure{};
    });
    dms->Member(L"Disconnect", [this](auto&, VARIANT*) {
      journal.push_back(L"Disconnect");
      return Failure{};
    });
    dms->Member(L"MarkAsVital", [this](auto& args, VARIANT* r) {
      IDispatch* ref = ObjectArgument(args[0]);
      journal.push_back(L"MarkAsVital " + PropertyText(ref, L"EntityName") + L" " +
                        PropertyText(ref, L"ID") + L" " + PropertyText(ref, L"TypeCode") + L" " +
                        TextOf(args[1]));
      return SetBool(r, true);
    });
  }
  ~MarkAsVitalHost() {
    for (AutomationObject* o : {services, process, process_variables, item_list, task,
                                task_variables, parameters, reason, dms})
      o->Release();
    for (AutomationObject* o : variables) o->Release();
  }
  std::wstring Journal() const {
    std::wstring all;
    for (const std::wstring& line : journal) all += line + L"; ";
    return all;
  }
};

const std::vector<std::wstring> kExpectedJournal = {
    L"GetProcessInstance 42",
    L"Connect 7",
    L"MarkAsVital Document 17 2 Retention review",
    L"MarkAsVital Document -18 -2 Retention review",
    L"MarkAsVital Document 19 2 Retention review",
    L"Disconnect",
};

IActivityRuntime* CreateStep(const wchar_t* prog_id) {
  CLSID clsid{};
  CLSIDFromProgID(prog_id, &clsid);
  IActivityRuntime* step = nullptr;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IActivityRuntime),
                   reinterpret_cast<void**>(&step));
  return step;
}

void CheckMarkAsVital() {
  IActivityRuntime* step = CreateStep(L"Corvane.MarkAsVital");
  CHECK(step != nullptr, L"MarkAsVital is created");
  if (!step) return;
  {
    MarkAsVitalHost host;
    IDispatch* task = host.task;
    LONG result = 0;
    HRESULT hr = step->Execute(host.services, &task, &result);
    CHECK(hr == S_OK && result == 1, L"Execute completes with 1: " + Hex(hr));
    CHECK(task == host.task, L"the task argument is left as it was");
    CHECK(host.journal == kExpectedJournal, L"the DMS calls, in order: " + host.Journal());
    bool vital = false, dated = false;
    for (auto& [name, value] : host.written) {
      if (name == L"ISVITAL") vital = value == L"True";
      if (name == L"MARKEDASRECORDON") dated = !value.empty();
    }
    CHECK(vital && dated, L"ISVITAL is True and MARKEDASRECORDON is set");
    CHECK(host.dms->references() == 1 && host.task->references() == 1 &&
              host.services->references() == 1,
          L"every host object is released after the call");

    // The default EvaluateCompositeTask neither reads nor changes the task.
    const int task_calls = host.task->calls();
    result = 0;
    hr = step->EvaluateCompositeTask(host.services, nullptr, &task, &result);
    CHECK(hr == S_OK && result == 1 && host.task->calls() == task_calls,
          L"EvaluateCompositeTask answers 1 without touching the task");
  }
  {
    MarkAsVitalHost host(MarkAsVitalHost::Fault::kDatabaseOffline);
    IDispatch* task = host.task;
    LONG result = 0;
    HRESULT hr = step->Execute(host.services, &task, &result);
    CHECK(hr == static_cast<HRESULT>(0x800A1388),
          L"a failing step answers VB's HRESULT for error 5000: " + Hex(hr));
    IErrorInfo* error = nullptr;
    CHECK(GetErrorInfo(0, &error) == S_OK && error, L"the failing step leaves an error object");
    if (error) {
      BSTR source = nullptr, description = nullptr;
      error->GetSource(&source);
      error->GetDescription(&description);
      std::wstring chain = source ? source : L"";
      CHECK(chain.rfind(L"TestDms", 0) == 0 &&
                chain.find(L"\r\nMarkAsVital: IActivityRuntime_Execute Function Ln ") !=
                    std::wstring::npos,
            L"the source chain runs from the DMS to Execute: " + chain);
      CHECK(description && std::wstring(description) == kOffline,
            L"the description is the DMS's own");
      SysFreeString(source);
      SysFreeString(description);
      error->Release();
    }
    CHECK(host.journal.back() == L"Connect 7", L"nothing is called after the failed Connect");
    CHECK(host.dms->references() == 1 && host.services->references() == 1,
          L"host objects are released on the error path too");

    // The same call made by name through IDispatch.
    DISPID execute = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"execute")};
    CHECK(SUCCEEDED(step->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &execute)),
          L"Execute is found by name, in any case");
    VARIANT args[2];
    V_VT(&args[1]) = VT_DISPATCH;
    V_DISPATCH(&args[1]) = host.services;
    V_VT(&args[0]) = VT_DISPATCH | VT_BYREF;
    V_DISPATCHREF(&args[0]) = &task;
    DISPPARAMS params{args, nullptr, 2, 0};
    VARIANT value;
    VariantInit(&value);
    EXCEPINFO exception{};
    hr = step->Invoke(execute, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, &value,
                      &exception, nullptr);
    CHECK(hr == DISP_E_EXCEPTION, L"Invoke reports DISP_E_EXCEPTION: " + Hex(hr));
    CHECK(exception.scode == static_cast<SCODE>(0x800A1388),
          L"EXCEPINFO carries the HRESULT: " + Hex(exception.scode));
    CHECK(exception.bstrSource &&
              std::wstring(exception.bstrSource).find(L"MarkAsVital: IActivityRuntime_Execute") !=
                  std::wstring::npos,
          L"EXCEPINFO carries the source chain");
    CHECK(exception.bstrDescription && std::wstring(exception.bstrDescription) == kOffline,
          L"EXCEPINFO carries the description");
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  }
  {
    // A member the host's object lacks is Visual Basic's error 438, raised in
    // the library and chained through Execute.
    MarkAsVitalHost host(MarkAsVitalHost::Fault::kTaskWithoutProcessId);
    IDispatch* task = host.task;
    LONG result = 0;
    HRESULT hr = step->Execute(host.services, &task, &result);
    CHECK(hr == static_cast<HRESULT>(0x800A01B6), L"a missing host member is 438: " + Hex(hr));
    IErrorInfo* error = nullptr;
    if (GetErrorInfo(0, &error) == S_OK && error) {
      BSTR source = nullptr, description = nullptr;
      error->GetSource(&source);
      error->GetDescription(&description);
      CHECK(source && std::wstring(source).rfind(L"Corvane", 0) == 0,
            L"its source chain starts with the library");
      CHECK(description &&
                std::wstring(description) == L"Object doesn't support this property or method",
            L"its description is the classic one");
      SysFreeString(source);
      SysFreeString(description);
      error->Release();
    } else {
      CHECK(false, L"a missing host member leaves an error object");
    }
    CHECK(host.journal.empty(), L"nothing reaches the DMS");
  }
  {
    // A successful call by name returns the result code as a Long.
    MarkAsVitalHost host;
    IDispatch* task = host.task;
    DISPID execute = DISPID_UNKNOWN;
    LPOLESTR names[] = {const_cast<LPOLESTR>(L"Execute")};
    step->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &execute);
    VARIANT args[2];
    V_VT(&args[1]) = VT_DISPATCH;
    V_DISPATCH(&args[1]) = host.services;
    V_VT(&args[0]) = VT_DISPATCH | VT_BYREF;
    V_DISPATCHREF(&args[0]) = &task;
    DISPPARAMS params{args, nullptr, 2, 0};
    VARIANT value;
    VariantInit(&value);
    HRESULT hr = step->Invoke(execute, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                              &value, nullptr, nullptr);
    CHECK(hr == S_OK && V_VT(&value) == VT_I4 && V_I4(&value) == 1,
          L"Execute through Invoke returns 1: " + Hex(hr));
    CHECK(host.journal == kExpectedJournal, L"and makes the same DMS calls: " + host.Journal());
  }
  step->Release();
}

// The host of a DocApproval evaluation: three approvers' tasks, each answered
// (approved or not, with its details) or still open, read by the step through
// the step definition's task collection.
struct ApprovalHost {
  struct Answer {
    bool answered;
    bool approved;
    std::wstring details;
  };
  std::vector<AutomationObject*> objects;
  std::vector<std::pair<std::wstring, std::wstring>> written;
  AutomationObject* services = Make();
  AutomationObject* activity = Make();
  AutomationObject* tasks = Make();
  AutomationObject* evaluated = Make();

  explicit ApprovalHost(const std::vector<Answer>& answers) {
    services->Member(L"GetService", [](auto&, VARIANT* r) { return SetObject(r, nullptr); });
    std::vector<IDispatch*> task_list;
    for (const Answer& answer : answers) task_list.push_back(AnsweredTask(answer));
    tasks->Elements(task_list);
    tasks->Member(L"Count", [n = static_cast<long>(answers.size())](auto&, VARIANT* r) {
      return SetLong(r, n);
    });
    AutomationObject* parameters = Make();
    AutomationObject* audit = Make();
    audit->Member(L"Value", [](auto&, VARIANT* r) { return SetBool(r, false); });
    parameters->Member(L"Exists", [](auto&, VARIANT* r) { return SetBool(r, true); });
    parameters->Member(L"Item", [audit](auto&, VARIANT* r) { return SetObject(r, audit); });
    activity->Member(L"Tasks", [this](auto&, VARIANT* r) { return SetObject(r, tasks); });
    activity->Member(L"Parameters",
                     [parameters](auto&, VARIANT* r) { return SetObject(r, parameters); });
    activity->Member(L"RequestCount", [](auto&, VARIANT* r) { return SetLong(r, 3); });
    activity->Member(L"MinResponses", [](auto&, VARIANT* r) { return SetLong(r, 0); });
    activity->Member(L"MinApprovals", [](auto&, VARIANT* r) { return SetText(r, L"2"); });
    AutomationObject* variables = Make();
    variables->Member(L"Item", [this](auto& args, VARIANT* r) {
      std::wstring name = TextOf(args[0]);
      AutomationObject* variable = Make();
      variable->Member(
          L"Value", [](auto&, VARIANT*) { return Failure{}; },
          [this, name](auto& values, VARIANT*) {
            written.emplace_back(name, TextOf(values[0]));
            return Failure{};
          });
      return SetObject(r, variable);
    });
    evaluated->Member(L"Variables",
                      [variables](auto&, VARIANT* r) { return SetObject(r, variables); });
  }
  ~ApprovalHost() {
    for (AutomationObject* o : objects) o->Release();
  }
  AutomationObject* Make() {
    objects.push_back(new AutomationObject(L"TestHost"));
    return objects.back();
  }
  AutomationObject* AnsweredTask(const Answer& answer) {
    AutomationObject* task = Make();
    AutomationObject* variables = Make();
    AutomationObject* approved = Make();
    AutomationObject* details = Make();
    approved->Member(L"Value", [a = answer.approved](auto&, VARIANT* r) { return SetBool(r, a); });
    details->Member(L"Value", [d = answer.details](auto&, VARIANT* r) { return SetText(r, d); });
    variables->Member(L"Item", [approved, details](auto& args, VARIANT* r) {
      return SetObject(r, TextOf(args[0]) == L"APPROVED" ? approved : details);
    });
    task->Member(L"Status", [done = answer.answered](auto&, VARIANT* r) {
      return SetLong(r, done ? 0x08000001 : 1);
    });
    task->Member(L"Variables", [variables](auto&, VARIANT* r) { return SetObject(r, variables); });
    return task;
  }
  std::wstring Written(const std::wstring& name) const {
    for (const auto& [variable, value] : written)
      if (variable == name) return value;
    return L"<not written>";
  }
};

void CheckDocApprovalEvaluation() {
  IActivityRuntime* step = CreateStep(L"Corvane.DocApproval");
  CHECK(step != nullptr, L"DocApproval is created");
  if (!step) return;
  {
    // One approval of the two needed, one rejection, one task open: the open
    // task could still bring the second approval, so the step stays open.
    ApprovalHost host(
        {{true, true, L"Mira approves. "}, {true, false, L"Jon rejects. "}, {false, false, L""}});
    IDispatch* task = host.evaluated;
    LONG result = 0;
    HRESULT hr = step->EvaluateCompositeTask(host.services, host.activity, &task, &result);
    CHECK(hr == S_OK && result == 3, L"the step stays open (3): " + Hex(hr));
    CHECK(host.Written(L"APPROVED") == L"False", L"APPROVED is False while it stays open");
    CHECK(host.Written(L"DETAILS") == L"Mira approves. Jon rejects. ",
          L"DETAILS joins the answered tasks' details in the host's order: " +
              host.Written(L"DETAILS"));
  }
  {
    ApprovalHost host({{true, true, L"Mira approves. "},
                       {true, false, L"Jon rejects. "},
                       {true, true, L"Ada approves."}});
    IDispatch* task = host.evaluated;
    LONG result = 0;
    HRESULT hr = step->EvaluateCompositeTask(host.services, host.activity, &task, &result);
    CHECK(hr == S_OK && result == 1, L"two approvals of three complete the step (1): " + Hex(hr));
    CHECK(host.Written(L"APPROVED") == L"True", L"APPROVED is True");
    CHECK(host.tasks->references() == 1 && host.activity->references() == 1,
          L"the task collection and the step definition are released");
  }
  step->Release();
}

void CheckExportToFolderMembers() {
  IActivityRuntime* step = CreateStep(L"Corvane.ExportToFolder");
  CHECK(step != nullptr, L"ExportToFolder is created");
  if (!step) return;
  IDispatch* folders = nullptr;
  step->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&folders));
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  std::wstring root = std::wstring(temp) + L"corvane-export-" + std::to_wstring(GetTickCount());
  std::wstring nested = root + L"\\a\\b";
  DISPID make = DISPID_UNKNOWN, exists = DISPID_UNKNOWN;
  LPOLESTR make_name[] = {const_cast<LPOLESTR>(L"MakeDirectory")};
  LPOLESTR exists_name[] = {const_cast<LPOLESTR>(L"DirectoryExists")};
  CHECK(folders && SUCCEEDED(folders->GetIDsOfNames(IID_NULL, make_name, 1, 0, &make)) &&
            SUCCEEDED(folders->GetIDsOfNames(IID_NULL, exists_name, 1, 0, &exists)),
        L"ExportToFolder's default interface names MakeDirectory and DirectoryExists");
  if (folders) {
    VARIANT arg;
    V_VT(&arg) = VT_BSTR;
    V_BSTR(&arg) = SysAllocString(nested.c_str());
    DISPPARAMS params{&arg, nullptr, 1, 0};
    HRESULT hr =
        folders->Invoke(make, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
    DWORD attributes = GetFileAttributesW(nested.c_str());
    CHECK(hr == S_OK && attributes != INVALID_FILE_ATTRIBUTES &&
              (attributes & FILE_ATTRIBUTE_DIRECTORY),
          L"MakeDirectory creates every missing level: " + Hex(hr));
    VARIANT found;
    VariantInit(&found);
    hr = folders->Invoke(exists, IID_NULL, 0, DISPATCH_METHOD, &params, &found, nullptr, nullptr);
    CHECK(hr == S_OK && V_VT(&found) == VT_BOOL && V_BOOL(&found) == VARIANT_TRUE,
          L"DirectoryExists answers True for it");
    SysFreeString(V_BSTR(&arg));
    V_BSTR(&arg) = SysAllocString((root + L"\\missing").c_str());
    hr = folders->Invoke(exists, IID_NULL, 0, DISPATCH_METHOD, &params, &found, nullptr, nullptr);
    CHECK(hr == S_OK && V_VT(&found) == VT_BOOL && V_BOOL(&found) == VARIANT_FALSE,
          L"DirectoryExists answers False for a missing folder");
    SysFreeString(V_BSTR(&arg));
    RemoveDirectoryW(nested.c_str());
    RemoveDirectoryW((root + L"\\a").c_str());
    RemoveDirectoryW(root.c_str());
    folders->Release();
  }
  step->Release();
}

void CheckUnloading(const Dll& dll) {
  CHECK(dll.can_unload() == S_OK, L"DllCanUnloadNow is S_OK with no object alive");
  IActivityRuntime* step = CreateStep(L"Corvane.Publish");
  CHECK(dll.can_unload() == S_FALSE, L"DllCanUnloadNow is S_FALSE while an object lives");
  if (step) step->Release();
  CHECK(dll.can_unload() == S_OK, L"DllCanUnloadNow is S_OK again once it is released");
  IClassFactory* factory = nullptr;
  GUID clsid = ToGuid(corvane::kCatalogue[0].clsid);
  dll.get_class_object(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  CHECK(factory != nullptr, L"DllGetClassObject answers a class factory");
  if (!factory) return;
  factory->LockServer(TRUE);
  factory->Release();
  CHECK(dll.can_unload() == S_FALSE, L"a server lock keeps the DLL loaded");
  dll.get_class_object(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory));
  factory->LockServer(FALSE);
  factory->Release();
  CHECK(dll.can_unload() == S_OK, L"and releasing the lock lets it go");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    fwprintf(stderr, L"usage: com_server_test PATH\\Corvane.dll\n");
    return 2;
  }
  wchar_t full[MAX_PATH];
  GetFullPathNameW(argv[1], MAX_PATH, full, nullptr);
  const std::wstring dll_path = full;
  Dll dll;
  dll.module = LoadLibraryW(dll_path.c_str());
  if (!dll.module) {
    fwprintf(stderr, L"cannot load %ls\n", dll_path.c_str());
    return 2;
  }
  Bind(dll.module, "DllCanUnloadNow", dll.can_unload);
  Bind(dll.module, "DllRegisterServer", dll.register_server);
  Bind(dll.module, "DllUnregisterServer", dll.unregister_server);
  Bind(dll.module, "DllGetClassObject", dll.get_class_object);
  CHECK(dll.can_unload && dll.register_server && dll.unregister_server && dll.get_class_object,
        L"the DLL exports the four entry points");
  if (g_failed) return 1;

  CHECK(dll.register_server() == S_OK, L"DllRegisterServer succeeds");
  CheckRegistration(dll_path);
  CheckTypeLibrary();
  CheckResources(dll.module);

  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  CheckCreation();
  CheckMarkAsVital();
  CheckDocApprovalEvaluation();
  CheckExportToFolderMembers();
  CheckUnloading(dll);
  CoUninitialize();

  CHECK(dll.unregister_server() == S_OK, L"DllUnregisterServer succeeds");
  CheckUnregistered();
  CHECK(dll.unregister_server() == S_OK, L"unregistering again finds nothing to do");
  wprintf(L"%d passed, %d failed\n", g_passed, g_failed);
  return g_failed ? 1 : 0;
}
