// How errors cross the COM boundary. A failing library method returns Visual
// Basic's HRESULT for its error number and leaves an error object (source chain
// and description) for the caller; a failing host or DMS member arrives as an
// HRESULT, with EXCEPINFO when called through IDispatch, and becomes the
// pelmark::Error the core expects.
//
// Number to HRESULT, as Visual Basic maps them:
//   1..65535           0x800A0000 | number (FACILITY_CONTROL)
//   negative numbers   the number itself (it is already a failing HRESULT, such
//                      as vbObjectError + n = 0x80040000 + n)
//   anything else      E_FAIL
// HRESULT to number reverses that, and gives the classic numbers for the
// standard Automation codes (DISP_E_MEMBERNOTFOUND and DISP_E_UNKNOWNNAME 438,
// DISP_E_TYPEMISMATCH 13, E_OUTOFMEMORY 7, ...).
#pragma once

#include <cstdint>
#include <string_view>
#include <utility>

#include "pelmark/com.h"
#include "rules/windows/win32.h"

namespace corvane::automation {

HRESULT HresultOfErrorNumber(int32_t number);
int32_t ErrorNumberOfHresult(HRESULT hr);

// Sets the thread's error object (source, description, the interface's IID) and
// answers the HRESULT of the error's number.
HRESULT ReportToCaller(const pelmark::Error& error, const GUID& iid);

// The error of a failed member call: EXCEPINFO's number, source and description
// when there is one, else the HRESULT's number with its classic description and
// the library as source. Frees the EXCEPINFO's strings.
pelmark::Error ErrorOfFailedCall(HRESULT hr, EXCEPINFO* info);

// Runs body() for a COM method: S_OK when it completes, else the failure handed
// to the caller as above. The thread's error object is cleared first.
template <class Body>
HRESULT Guarded(const GUID& iid, Body&& body) noexcept {
  SetErrorInfo(0, nullptr);
  try {
    std::forward<Body>(body)();
    return S_OK;
  } catch (const pelmark::Error& error) {
    return ReportToCaller(error, iid);
  } catch (const std::bad_alloc&) {
    return ReportToCaller(pelmark::Error(7, "Corvane", "Out of memory"), iid);
  } catch (const std::exception& e) {
    return ReportToCaller(pelmark::Error(51, "Corvane", e.what()), iid);
  } catch (...) {
    return E_UNEXPECTED;
  }
}

}  // namespace corvane::automation
