// The explicit table from catalogue class to the code that creates it: each
// class name once, each row a factory of the same shape.
#pragma once

#include <span>
#include <string_view>

#include "corvane/catalogue.h"
#include "framework/activity.h"

namespace corvane {

// Creates a new object of a class, with no references yet.
using ActivityFactory = Activity* (*)(const ClassInfo& info);

struct ClassTableRow {
  std::string_view name;  // as in the catalogue: "MarkAsVital"
  ActivityFactory create;
};

// Every class the module can create.
std::span<const ClassTableRow> ClassTable();

// Creates a new object of a catalogue class with no references yet; null only
// for a row the class table lacks (the tests make sure every row has one).
Activity* CreateActivity(const ClassInfo& info);

}  // namespace corvane
