// What the flow-control classes (EndWorkflow, Wait) read, write, raise and do.
//
// Threading: pure functions; each call builds a fresh description.
#pragma once

#include <string_view>

#include "design/class_reference.h"

namespace corvane::design {

// The reference of one class of this family, by its catalogue name; throws
// std::invalid_argument for a name the family does not have.
ClassDescription DescribeFlowClass(std::string_view name);

}  // namespace corvane::design
