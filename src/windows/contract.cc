// Corvane.dll's build contract, exported as on Linux so that a host linking C++
// types across the DLL boundary (the corvane tool, which installs its own
// platform services) can check that both sides were built alike.
#include "corvane/component.h"
#include "corvane/platform.h"
#include "corvane/version.h"

extern "C" const CorvaneContract* CorvaneGetContract() {
  static const corvane::LocaleInfo* const locales[] = {&corvane::LocaleInfo::EnUs(),
                                                       &corvane::LocaleInfo::DeDe(), nullptr};
  static const CorvaneContract contract{
      sizeof(CorvaneContract), PELMARK_CONTRACT_VERSION,   PELMARK_ABI_TAG,
      CORVANE_VERSION,         &corvane::SystemPlatform(), locales};
  return &contract;
}
