// The late-binding layer of Corvane.dll driven directly, under Wine: how values
// cross between VARIANT and the core's variant, how host objects are reached
// by name (properties, methods, enumerations, failures), how the library's own
// objects look to the host, and Visual Basic's error-number mapping.
//
// Prints one line per failed check and a closing "N passed, M failed" line.
#include <string>

#include "automation/automation.h"
#include "automation/com_objects.h"
#include "automation/errors.h"
#include "framework/dms_objects.h"

// After the binding's headers, which read the library's before windows.h.
#include "automation_host.h"

namespace {

using namespace corvane_test;
using corvane::automation::DispatchOf;
using corvane::automation::FromVariant;
using corvane::automation::HostObject;
using corvane::automation::ToVariant;

int g_passed = 0;
int g_failed = 0;

void Check(bool ok, int line, const char* what) {
  if (ok) {
    ++g_passed;
  } else {
    ++g_failed;
    printf("FAILED (line %d): %s\n", line, what);
  }
}
#define CHECK(condition) Check((condition), __LINE__, #condition)

// The error number a body raises, or 0 when it raises none.
template <class Body>
pelmark::Error Raised(Body&& body) {
  try {
    body();
  } catch (const pelmark::Error& error) {
    return error;
  }
  return pelmark::Error(0, "", "");
}

pelmark::Variant RoundTrip(const pelmark::Variant& value) {
  VARIANT v;
  VariantInit(&v);
  ToVariant(value, &v);
  pelmark::Variant back = FromVariant(v);
  VariantClear(&v);
  return back;
}

void CheckValues() {
  // Text is UTF-8 in the core and UTF-16 in Automation.
  VARIANT v;
  VariantInit(&v);
  ToVariant(pelmark::Variant(std::string("Gr\xC3\xBC\xC3\x9F"
                                         "e \xE2\x82\xAC")),
            &v);
  CHECK(V_VT(&v) == VT_BSTR && std::wstring(V_BSTR(&v)) == L"Gr\u00FC\u00DFe \u20AC");
  CHECK(FromVariant(v).string_value() ==
        "Gr\xC3\xBC\xC3\x9F"
        "e \xE2\x82\xAC");
  VariantClear(&v);

  ToVariant(pelmark::Variant(true), &v);
  CHECK(V_VT(&v) == VT_BOOL && V_BOOL(&v) == VARIANT_TRUE);
  VariantClear(&v);
  CHECK(RoundTrip(pelmark::Variant(false)) == pelmark::Variant(false));
  CHECK(RoundTrip(pelmark::Variant::Date(45000.5)) == pelmark::Variant::Date(45000.5));
  CHECK(RoundTrip(pelmark::Variant(int32_t{-7})) == pelmark::Variant(int32_t{-7}));
  CHECK(RoundTrip(pelmark::Variant(2.5)) == pelmark::Variant(2.5));
  CHECK(RoundTrip(pelmark::Variant::Null()).is_null());
  CHECK(RoundTrip(pelmark::Variant()).is_empty());

  // The host's other kinds arrive as the core's nearest.
  V_VT(&v) = VT_I2;
  V_I2(&v) = -3;
  CHECK(FromVariant(v) == pelmark::Variant(int32_t{-3}));
  LONG by_reference = 12;
  V_VT(&v) = VT_I4 | VT_BYREF;
  V_I4REF(&v) = &by_reference;
  CHECK(FromVariant(v) == pelmark::Variant(int32_t{12}));
  V_VT(&v) = VT_UI4;
  V_UI4(&v) = 4000000000u;
  CHECK(FromVariant(v) == pelmark::Variant(4000000000.0));
  V_VT(&v) = VT_CY;
  V_CY(&v).int64 = 12345;  // 1.2345
  CHECK(FromVariant(v) == pelmark::Variant(1.2345));
  V_VT(&v) = VT_ERROR;
  V_ERROR(&v) = DISP_E_PARAMNOTFOUND;
  CHECK(FromVariant(v).is_empty());
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, 1);
  V_VT(&v) = VT_ARRAY | VT_VARIANT;
  V_ARRAY(&v) = array;
  CHECK(Raised([&] { FromVariant(v); }).number() == 13);
  VariantClear(&v);
}

void CheckHostObjects() {
  auto* tasks = new AutomationObject(L"TestHost");
  std::vector<AutomationObject*> task_objects;
  for (long id : {201, 202, 203}) {
    auto* task = new AutomationObject(L"TestHost");
    task->Member(L"TaskID", [id](auto&, VARIANT* r) { return SetLong(r, id); });
    task_objects.push_back(task);
  }
  tasks->Elements({task_objects[0], task_objects[1], task_objects[2]});
  tasks->Member(L"Count", [](auto&, VARIANT* r) { return SetLong(r, 3); });
  {
    pelmark::ComPtr<pelmark::ITasks> proxy = HostObject<pelmark::ITasks>(tasks);
    CHECK(proxy->Count() == 3);
    // Read by position through the enumerator, 1-based.
    CHECK(proxy->Item(2)->TaskID() == 202);
    CHECK(proxy->Item(3)->TaskID() == 203);
    CHECK(Raised([&] { proxy->Item(4); }).number() == 9);
    CHECK(Raised([&] { proxy->Item(0); }).number() == 9);
  }
  CHECK(tasks->references() == 1 && task_objects[1]->references() == 1);

  // Contract setters are property puts; other members are calls by name.
  std::wstring put_value;
  auto* variable = new AutomationObject(L"TestHost");
  variable->Member(
      L"Value", [](auto&, VARIANT* r) { return SetText(r, L"old"); },
      [&put_value](auto& args, VARIANT*) {
        put_value = TextOf(args[0]);
        return Failure{};
      });
  variable->Member(L"IsNull", [](auto&, VARIANT* r) { return SetBool(r, false); });
  {
    pelmark::ComPtr<pelmark::IVariable> proxy = HostObject<pelmark::IVariable>(variable);
    CHECK(proxy->Value() == pelmark::Variant(std::string("old")));
    proxy->SetValue(pelmark::Variant(int32_t{42}));
    CHECK(put_value == L"42");
    CHECK(!proxy->IsNull());
    // A member the object lacks is 438 from the library, with the classic text.
    pelmark::Error missing = Raised([&] { proxy->TypeName(); });
    CHECK(missing.number() == 438 && missing.source() == "Corvane" &&
          missing.description() == "Object doesn't support this property or method");
    // Late binding answers for any contract interface; the member call decides.
    CHECK(proxy.try_query<pelmark::ILookupField>() != nullptr);
  }
  CHECK(variable->references() == 1);

  // A failing member keeps the host's number, source and description.
  auto* dms = new AutomationObject(L"TestDms");
  dms->Member(L"Connect", [](auto&, VARIANT*) { return Failure{5000, L"database 7 is offline"}; });
  {
    pelmark::ComPtr<pelmark::IDmsService> proxy = HostObject<pelmark::IDmsService>(dms);
    pelmark::Error error = Raised([&] { proxy->Connect(7, nullptr); });
    CHECK(error.number() == 5000 && error.source() == "TestDms" &&
          error.description() == "database 7 is offline");
    // A host object handed back to the host is its own object again.
    IDispatch* back = DispatchOf(proxy.get());
    CHECK(back == dms);
    back->Release();
  }
  CHECK(dms->references() == 1);

  for (AutomationObject* o : task_objects) o->Release();
  for (AutomationObject* o : {tasks, variable, dms}) o->Release();
}

void CheckLibraryObjects() {
  pelmark::ComPtr<pelmark::IEntityRef> ref = corvane::NewEntityRef();
  ref->SetEntityName("Document");
  ref->SetID(-18);
  ref->SetTypeCode(-2);
  IDispatch* seen = DispatchOf(ref.get());
  CHECK(seen != nullptr);
  if (!seen) return;
  CHECK(PropertyText(seen, L"EntityName") == L"Document");
  CHECK(PropertyText(seen, L"id") == L"-18");
  CHECK(PropertyText(seen, L"TypeCode") == L"-2");
  CHECK(PropertyText(seen, L"NoSuchMember") == L"<no member>");
  CHECK(PropertyText(seen, L"TypeKode") == L"<no member>");  // as long as "TypeCode"

  // The host may write the reference's properties.
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR names[] = {const_cast<LPOLESTR>(L"ID")};
  seen->GetIDsOfNames(IID_NULL, names, 1, 0, &id);
  VARIANT value;
  V_VT(&value) = VT_I4;
  V_I4(&value) = 5;
  DISPID put = DISPID_PROPERTYPUT;
  DISPPARAMS params{&value, &put, 1, 1};
  CHECK(seen->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr) ==
        S_OK);
  CHECK(ref->ID() == 5);

  // Coming back from the host, it is the library's own object again.
  VARIANT object;
  V_VT(&object) = VT_DISPATCH;
  V_DISPATCH(&object) = seen;
  pelmark::Variant returned = FromVariant(object);
  CHECK(returned.is_object() &&
        returned.object_value().try_query<pelmark::IEntityRef>().get() == ref.get());
  seen->Release();
}

void CheckErrorNumbers() {
  using corvane::automation::ErrorNumberOfHresult;
  using corvane::automation::HresultOfErrorNumber;
  CHECK(HresultOfErrorNumber(13) == static_cast<HRESULT>(0x800A000D));
  CHECK(HresultOfErrorNumber(5000) == static_cast<HRESULT>(0x800A1388));
  CHECK(HresultOfErrorNumber(static_cast<int32_t>(0x80040201)) ==
        static_cast<HRESULT>(0x80040201));  // vbObjectError + 513 stays as it is
  CHECK(HresultOfErrorNumber(0) == E_FAIL);
  CHECK(HresultOfErrorNumber(70000) == E_FAIL);
  CHECK(ErrorNumberOfHresult(static_cast<HRESULT>(0x800A0035)) == 53);
  CHECK(ErrorNumberOfHresult(DISP_E_TYPEMISMATCH) == 13);
  CHECK(ErrorNumberOfHresult(DISP_E_UNKNOWNNAME) == 438);
  CHECK(ErrorNumberOfHresult(E_OUTOFMEMORY) == 7);
  CHECK(ErrorNumberOfHresult(static_cast<HRESULT>(0x80040201)) == static_cast<int32_t>(0x80040201));
}

}  // namespace

int wmain() {
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  CheckValues();
  CheckHostObjects();
  CheckLibraryObjects();
  CheckErrorNumbers();
  CHECK(corvane::automation::LiveObjects() == 0);
  CoUninitialize();
  printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed ? 1 : 0;
}
