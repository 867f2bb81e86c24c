// The entry points that Corvane.so exports with C linkage, as an in-process
// component server: class objects, unloading, registration, the resources a
// host can read without creating an object, the platform seam and the build
// contract. None of them throws. The module exports these seven and nothing else.
//
// Registration writes into the registry directory that the platform seam names
// (PlatformServices::RegistryRoot): one directory per key, one file per value,
// the default value of a key in the file "@". See docs/registry.md.
#pragma once

#include <cstdint>
#include <string_view>

#include "pelmark/com.h"
#include "pelmark/contract.h"

namespace corvane {

class PlatformServices;
struct LocaleInfo;

// ExportToFolder's default interface, the only one with members of its own.
struct _ExportToFolder : pelmark::IDispatch {
  PELMARK_INTERFACE(_ExportToFolder, "{CE0AFF38-C587-479A-B40C-B3B76FFA398C}");
  // True when a file-system entry of that name exists (a plain file too).
  virtual bool DirectoryExists(std::string_view path_name) = 0;
  // Creates the folder and every missing parent.
  virtual void MakeDirectory(std::string_view path) = 0;

 protected:
  ~_ExportToFolder() = default;
};

}  // namespace corvane

// What the loaded module was built with, readable by any host whatever its own
// build: only C types, and fields are only ever added at the end (`size` says
// how many there are).
struct CorvaneContract {
  uint32_t size;                               // sizeof(CorvaneContract) of the module
  uint32_t contract_version;                   // the module's PELMARK_CONTRACT_VERSION
  const char* abi;                             // the module's PELMARK_ABI_TAG
  const char* product_version;                 // the module's CORVANE_VERSION, "2.0.0"
  corvane::PlatformServices* system_platform;  // the module's default services
  const corvane::LocaleInfo* const* locales;   // the locales it knows, null-terminated
};

extern "C" {
// The module's build contract; never null. A host checks it before it creates
// an object (corvane/loader.h does).
PELMARK_EXPORT const CorvaneContract* CorvaneGetContract();
// Answers the class object (IClassFactory) of a catalogue class.
PELMARK_EXPORT pelmark::HRESULT DllGetClassObject(const pelmark::CLSID& clsid,
                                                  const pelmark::IID& iid, void** out);
// S_OK when no object and no lock is alive, else S_FALSE.
PELMARK_EXPORT pelmark::HRESULT DllCanUnloadNow();
PELMARK_EXPORT pelmark::HRESULT DllRegisterServer();
PELMARK_EXPORT pelmark::HRESULT DllUnregisterServer();
// Finds a resource by type and name ("CUSTOM", "_IID_MARKASVITAL"; "TYPELIB", "1") with
// resource id 1. The bytes stay valid while the module is loaded.
PELMARK_EXPORT pelmark::HRESULT CorvaneFindResource(const char* type, const char* name, uint32_t id,
                                                    const uint8_t** data, uint32_t* size);
}
