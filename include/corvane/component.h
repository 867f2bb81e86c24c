// The entry points that Corvane.so exports with C linkage, as an in-process
// component server: class objects, unloading, registration, and the resources a
// host can read without creating an object. None of them throws.
//
// Registration writes into the registry directory that the platform seam names
// (PlatformServices::RegistryRoot): one directory per key, one file per value,
// the default value of a key in the file "@". See docs/registry.md.
#pragma once

#include <cstdint>
#include <string_view>

#include "pelmark/com.h"

namespace corvane {

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

extern "C" {
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
