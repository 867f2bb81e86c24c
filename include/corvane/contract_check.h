// The comparison of a module's binary contract with the host's, shared by every
// host that loads Corvane: corvane/loader.h on Linux and the Windows tool.
//
// Header-only on purpose: it is compiled with the host's own flags, so
// HostContract() describes the host, not the library.
//
// Threading: plain functions of their arguments; safe from any thread.
#pragma once

#include <cstdint>
#include <string>

#include "pelmark/contract.h"

namespace corvane {

// The binary contract of one side: contract version and standard-library ABI.
struct ContractSide {
  uint32_t version = 0;
  std::string abi;
};

// This host's side, as the compiler sees the file that includes this header.
inline ContractSide HostContract() { return {PELMARK_CONTRACT_VERSION, PELMARK_ABI_TAG}; }

// Empty when module and host agree; otherwise the refusal, naming both sides and
// what to do.
inline std::string ContractMismatch(const std::string& module_path, const ContractSide& module,
                                    const ContractSide& host) {
  if (module.version == host.version && module.abi == host.abi) return {};
  auto describe = [](const ContractSide& side) {
    return "contract version " + std::to_string(side.version) + ", " + side.abi;
  };
  std::string advice =
      module.version != host.version
          ? "build the host against the headers installed with this module"
          : "build the host with the same standard library and string ABI as the module";
  return "refusing to use " + module_path + ": the module was built for " + describe(module) +
         ", this host for " + describe(host) + "; " + advice;
}

}  // namespace corvane
