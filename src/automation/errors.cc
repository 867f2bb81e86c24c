#include "automation/errors.h"

#include <string>

#include "rules/error_report.h"
#include "rules/windows/wide_text.h"
#include "rules/windows/win32.h"

namespace corvane::automation {
namespace {

constexpr HRESULT kControlFacilityBase = static_cast<HRESULT>(0x800A0000);

struct StandardCode {
  HRESULT hr;
  int32_t number;
};
// The Automation codes a late-bound call fails with, and the numbers Visual
// Basic reports for them.
constexpr StandardCode kStandardCodes[] = {
    {DISP_E_MEMBERNOTFOUND, 438}, {DISP_E_UNKNOWNNAME, 438},
    {DISP_E_TYPEMISMATCH, 13},    {DISP_E_OVERFLOW, 6},
    {DISP_E_BADINDEX, 9},         {DISP_E_DIVBYZERO, 11},
    {DISP_E_PARAMNOTFOUND, 448},  {DISP_E_BADPARAMCOUNT, 450},
    {E_OUTOFMEMORY, 7},           {E_INVALIDARG, 5},
    {E_NOINTERFACE, 430},         {E_POINTER, 91},
};

std::string Take(BSTR& text) {
  std::string out = text ? Utf8(std::wstring_view(text, SysStringLen(text))) : std::string();
  SysFreeString(text);
  text = nullptr;
  return out;
}

}  // namespace

HRESULT HresultOfErrorNumber(int32_t number) {
  if (number < 0) return static_cast<HRESULT>(number);
  if (number > 0 && number <= 0xFFFF) return kControlFacilityBase | number;
  return E_FAIL;
}

int32_t ErrorNumberOfHresult(HRESULT hr) {
  if ((hr & static_cast<HRESULT>(0xFFFF0000)) == kControlFacilityBase) return hr & 0xFFFF;
  for (const StandardCode& code : kStandardCodes)
    if (code.hr == hr) return code.number;
  return static_cast<int32_t>(hr);
}

HRESULT ReportToCaller(const pelmark::Error& error, const GUID& iid) {
  ICreateErrorInfo* creator = nullptr;
  if (SUCCEEDED(CreateErrorInfo(&creator))) {
    std::wstring source = Wide(error.source());
    std::wstring description = Wide(error.description());
    creator->SetGUID(iid);
    creator->SetSource(source.data());
    creator->SetDescription(description.data());
    IErrorInfo* info = nullptr;
    if (SUCCEEDED(creator->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&info)))) {
      SetErrorInfo(0, info);
      info->Release();
    }
    creator->Release();
  }
  return HresultOfErrorNumber(error.number());
}

pelmark::Error ErrorOfFailedCall(HRESULT hr, EXCEPINFO* info) {
  if (hr == DISP_E_EXCEPTION && info) {
    if (info->pfnDeferredFillIn) info->pfnDeferredFillIn(info);
    int32_t number = info->wCode ? info->wCode : ErrorNumberOfHresult(info->scode);
    std::string source = Take(info->bstrSource);
    std::string description = Take(info->bstrDescription);
    SysFreeString(info->bstrHelpFile);
    info->bstrHelpFile = nullptr;
    if (description.empty()) description = std::string(ClassicDescription(number));
    return pelmark::Error(number, std::move(source), std::move(description));
  }
  const int32_t number = ErrorNumberOfHresult(hr);
  std::string description(ClassicDescription(number));
  if (description.empty()) description = "Automation error";
  return pelmark::Error(number, std::string(kLibrarySource), std::move(description));
}

}  // namespace corvane::automation
