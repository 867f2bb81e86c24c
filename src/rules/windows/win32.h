// The Windows and Automation headers for the library's Windows code. windows.h
// defines S_OK, E_FAIL, interface and friends as macros, which would break the
// contract's constants of the same names, so the contract's headers and the
// rules' own are read here first; Windows code includes windows.h only through
// this header. Code that also reads headers above the rules (the class table,
// the activity base) includes those before this one.
#pragma once

#include "corvane/catalogue.h"
#include "corvane/platform.h"
#include "pelmark/com.h"
#include "pelmark/dms.h"
#include "pelmark/host.h"
#include "pelmark/variant.h"
#include "rules/error_report.h"
#include "rules/variant_rules.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <ole2.h>
#include <oleauto.h>
#include <olectl.h>
#include <windows.h>

// Members of the contract that share a name with a Win32 A/W macro.
#undef CreateDirectory
#undef PostMessage
#undef GetObject
