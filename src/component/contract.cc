// The module's build contract: the contract version, the standard-library ABI it
// was compiled with and the product version, read by hosts before they create
// an object. Corvane.dll exports it as Corvane.so does, so that a host linking
// C++ types across the DLL boundary (the corvane tool) can check both sides.
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
