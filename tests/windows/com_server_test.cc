// Corvane.dll as a Windows host meets it, run under Wine: registration and the
// registry keys it writes, the type library and the _IID_ resources, creation by
// CLSID with the interfaces each object answers, IActivityDesign's reference and
// findings, one MarkAsVital step against an automation host called by name, a
// failing step's HRESULT, event-log entry and exception information,
// DllCanUnloadNow, and unregistration.
// Creation by ProgID and ExportToFolder's members are the VBScript host's part.
//
// Usage: com_server_test.exe PATH\Corvane.dll. Prints one line per failed check
// and a closing "N passed, M failed" line; exits 1 when a check failed.
#include <string>
#include <vector>

#include "corvane/catalogue.h"
#include "corvane/design.h"

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
  CHECK(KeyExists(L"Interface\\" + GuidText(corvane::IActivityDesign::iid)),
        L"IActivityDesign is registered");
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
  CHECK(!KeyExists(L"Interface\\" + GuidText(corvane::IActivityDesign::iid)),
        L"IActivityDesign's key is gone");
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
    CHECK(attr->cImplTypes == 3, class_name + L" lists three interfaces");
    bool default_ok = false, runtime_ok = false, design_ok = false;
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
      } else if (IsEqualGUID(iattr->guid, __uuidof(IActivityDesign))) {
        design_ok = (iattr->wTypeFlags & TYPEFLAG_FDUAL) != 0;
      }
      SysFreeString(iname);
      implemented->ReleaseTypeAttr(iattr);
      implemented->Release();
    }
    CHECK(default_ok, L"_" + class_name + L" is the hidden, dual, non-extensible default");
    CHECK(runtime_ok, class_name + L" implements the dual IActivityRuntime");
    CHECK(design_ok, class_name + L" implements the dual IActivityDesign");
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
    IActivityRuntime* runtime = nullptr;
    HRESULT hr = CoCreateInstance(ToGuid(c.clsid), nullptr, CLSCTX_INPROC_SERVER,
                                  __uuidof(IActivityRuntime), reinterpret_cast<void**>(&runtime));
    CHECK(SUCCEEDED(hr) && runtime,
          prog_id + L" is created by CLSID as IActivityRuntime: " + Hex(hr));
    if (!runtime) continue;
    IDispatch* default_interface = nullptr;
    CHECK(SUCCEEDED(runtime->QueryInterface(ToGuid(c.default_iid),
                                            reinterpret_cast<void**>(&default_interface))),
          prog_id + L" answers _" + Wide(c.name));
    if (default_interface) default_interface->Release();
    IActivityDesign* design = nullptr;
    BSTR reference = nullptr;
    CHECK(SUCCEEDED(runtime->QueryInterface(ToGuid(corvane::IActivityDesign::iid),
                                            reinterpret_cast<void**>(&design))) &&
              SUCCEEDED(design->Describe(&reference)) && reference &&
              std::wstring(reference).rfind(L"{\"name\":\"" + Wide(c.name) + L"\"", 0) == 0,
          prog_id + L" describes itself through IActivityDesign");
    SysFreeString(reference);
    if (design) design->Release();
    ISupportErrorInfo* support = nullptr;
    CHECK(SUCCEEDED(
              runtime->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&support))) &&
              support->InterfaceSupportsErrorInfo(__uuidof(IActivityRuntime)) == S_OK &&
              support->InterfaceSupportsErrorInfo(__uuidof(IActivityDesign)) == S_OK,
          prog_id + L" supports error objects on IActivityRuntime and IActivityDesign");
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

  explicit MarkAsVitalHost(bool database_offline = false, bool with_process_id = true) {
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
    if (with_process_id)
      task->Member(L"ProcessID", [](auto&, VARIANT* r) { return SetLong(r, 42); });
    task->Member(L"Variables", [this](auto&, VARIANT* r) { return SetObject(r, task_variables); });
    task->Member(L"Parameters", [this](auto&, VARIANT* r) { return SetObject(r, parameters); });
    task_variables->Member(L"Exists", [](auto&, VARIANT* r) { return SetBool(r, true); });
    task_variables->Member(L"Item", [this](auto&, VARIANT* r) {
      auto* variable = new AutomationObject(L"TestHost");
      variable->Member(
          L"Value", [](auto&, VARIANT* r) { return Failure{}; },
          [](auto&, VARIANT*) { return Failure{}; });
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

// Execute called by `name` through IDispatch::Invoke, as a script host calls it.
HRESULT InvokeExecute(IActivityRuntime* step, const wchar_t* name, MarkAsVitalHost& host,
                      VARIANT* value, EXCEPINFO* exception) {
  DISPID execute = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  CHECK(SUCCEEDED(step->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &execute)),
        std::wstring(name) + L" is found by name");
  IDispatch* task = host.task;
  VARIANT args[2];
  V_VT(&args[1]) = VT_DISPATCH;
  V_DISPATCH(&args[1]) = host.services;
  V_VT(&args[0]) = VT_DISPATCH | VT_BYREF;
  V_DISPATCHREF(&args[0]) = &task;
  DISPPARAMS params{args, nullptr, 2, 0};
  VariantInit(value);
  return step->Invoke(execute, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, value,
                      exception, nullptr);
}

// The direct call's error object is what the report comparison reads for every
// scenario; here the step is called by name, and directly only for its HRESULT
// and the event log that scripts/windows-check.sh reads.
void CheckMarkAsVital() {
  IActivityRuntime* step = CreateStep(L"Corvane.MarkAsVital");
  CHECK(step != nullptr, L"MarkAsVital is created");
  if (!step) return;
  {
    // A successful call returns the result code as a Long.
    MarkAsVitalHost host;
    VARIANT value;
    HRESULT hr = InvokeExecute(step, L"Execute", host, &value, nullptr);
    CHECK(hr == S_OK && V_VT(&value) == VT_I4 && V_I4(&value) == 1,
          L"Execute through Invoke returns 1: " + Hex(hr));
    CHECK(host.journal == kExpectedJournal, L"and makes the DMS calls in order: " + host.Journal());
    CHECK(host.dms->references() == 1 && host.task->references() == 1 &&
              host.services->references() == 1,
          L"every host object is released after the call");
  }
  {
    // The direct call answers VB's HRESULT for error 5000 and logs the error once;
    // its error object is the report comparison's.
    MarkAsVitalHost host(/*database_offline=*/true);
    IDispatch* task = host.task;
    LONG result = 0;
    HRESULT hr = step->Execute(host.services, &task, &result);
    CHECK(hr == static_cast<HRESULT>(0x800A1388),
          L"a failing step answers 5000's HRESULT: " + Hex(hr));
  }
  {
    // A failing call fills EXCEPINFO with VB's HRESULT for error 5000.
    MarkAsVitalHost host(/*database_offline=*/true);
    VARIANT value;
    EXCEPINFO exception{};
    HRESULT hr = InvokeExecute(step, L"execute", host, &value, &exception);
    CHECK(hr == DISP_E_EXCEPTION, L"Invoke reports DISP_E_EXCEPTION: " + Hex(hr));
    CHECK(exception.scode == static_cast<SCODE>(0x800A1388),
          L"EXCEPINFO carries the HRESULT: " + Hex(exception.scode));
    CHECK(
        exception.bstrSource && std::wstring(exception.bstrSource).rfind(L"TestDms", 0) == 0 &&
            std::wstring(exception.bstrSource).find(L"\r\nMarkAsVital: IActivityRuntime_Execute") !=
                std::wstring::npos,
        L"EXCEPINFO carries the source chain from the DMS to Execute");
    CHECK(exception.bstrDescription && std::wstring(exception.bstrDescription) == kOffline,
          L"EXCEPINFO carries the DMS's description");
    CHECK(host.dms->references() == 1 && host.services->references() == 1,
          L"host objects are released on the error path too");
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
  }
  {
    // A member the host's object lacks is Visual Basic's error 438, raised in
    // the library and logged like any other failure.
    MarkAsVitalHost host(/*database_offline=*/false, /*with_process_id=*/false);
    IDispatch* task = host.task;
    LONG result = 0;
    HRESULT hr = step->Execute(host.services, &task, &result);
    CHECK(hr == static_cast<HRESULT>(0x800A01B6), L"a missing host member is 438: " + Hex(hr));
    CHECK(host.journal.empty(), L"nothing reaches the DMS");
  }
  step->Release();
}

// A designer's mistake comes back as a finding naming it, beyond ASCII intact.
void CheckConfigurationCheck() {
  IActivityRuntime* step = CreateStep(L"Corvane.Notify");
  IActivityDesign* design = nullptr;
  if (step) step->QueryInterface(__uuidof(IActivityDesign), reinterpret_cast<void**>(&design));
  CHECK(design != nullptr, L"Notify answers IActivityDesign");
  if (design) {
    BSTR configuration =
        SysAllocString(L"{\"tasks\": [{\"id\": 4, \"parameters\": {\"MODE\": \"é-mail\"}}]}");
    BSTR findings = nullptr;
    HRESULT hr = design->Check(configuration, &findings);
    const std::wstring answer = findings ? findings : L"";
    CHECK(hr == S_OK && answer.rfind(L"{\"class\":\"Notify\"", 0) == 0 &&
              answer.find(L"\"name\":\"MODE\",\"value\":\"é-mail\"") != std::wstring::npos,
          L"Check names MODE \"é-mail\": " + answer);
    SysFreeString(configuration);
    SysFreeString(findings);
    design->Release();
  }
  if (step) step->Release();
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
  CheckConfigurationCheck();
  CheckUnloading(dll);
  CoUninitialize();

  CHECK(dll.unregister_server() == S_OK, L"DllUnregisterServer succeeds");
  CheckUnregistered();
  CHECK(dll.unregister_server() == S_OK, L"unregistering again finds nothing to do");
  wprintf(L"%d passed, %d failed\n", g_passed, g_failed);
  return g_failed ? 1 : 0;
}
