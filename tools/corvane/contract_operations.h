// The operations of the host and DMS contract, as the simulator's journal and
// a scenario's faults name them ("IDmsService.MarkAsVital"). Immutable; safe
// from any thread.
#pragma once

#include <span>
#include <string_view>

namespace corvane::cli {

// Every operation, "Interface.Method", in the order the contract declares them.
// An inherited method is named after the interface that declares it.
std::span<const std::string_view> ContractOperations();

// True when `op` is one of ContractOperations().
bool IsContractOperation(std::string_view op);

// True when `op` answers an object (a collection, an entity, a service...), so
// that a fault can make it answer Nothing.
bool AnswersObject(std::string_view op);

}  // namespace corvane::cli
