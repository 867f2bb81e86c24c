// The explicit table from catalogue class to the code that creates it: each
// class name once, each row a factory of the same shape.
#pragma once

#include <span>
#include <string_view>

#include "corvane/catalogue.h"
#include "design/class_reference.h"
#include "framework/activity.h"

namespace corvane {

// Creates a new object of a class, with no references yet.
using ActivityFactory = Activity* (*)(const ClassInfo& info);

// The class's reference, from the family that has the class.
using ReferenceFactory = design::ClassDescription (*)(std::string_view name);

struct ClassTableRow {
  std::string_view name;  // as in the catalogue: "MarkAsVital"
  ActivityFactory create;
  ReferenceFactory describe;
};

// Every class the module can create.
std::span<const ClassTableRow> ClassTable();

// Creates a new object of a catalogue class with no references yet, answering
// the design-time interface; null only for a row the class table lacks (the
// tests make sure every row has one).
Activity* CreateActivity(const ClassInfo& info);

// The reference of a catalogue class, with its name lists; throws
// std::invalid_argument for a name the table lacks.
design::ClassDescription DescribeClass(std::string_view name);

}  // namespace corvane
