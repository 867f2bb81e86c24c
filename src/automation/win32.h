// The Windows and Automation headers for the binding. windows.h defines S_OK,
// E_FAIL, interface and friends as macros, which would break the contract's
// constants of the same names, so every library header the binding uses is
// read here first; the binding includes windows.h only through this header.
#pragma once

#include "component/class_table.h"
#include "corvane/catalogue.h"
#include "corvane/platform.h"
#include "framework/activity.h"
#include "rules/error_report.h"
#include "rules/variant_rules.h"
#include "pelmark/com.h"
#include "pelmark/dms.h"
#include "pelmark/host.h"
#include "pelmark/variant.h"

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
