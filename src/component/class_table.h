// The explicit table from catalogue class to the code that creates it.
#pragma once

#include "corvane/catalogue.h"
#include "framework/activity.h"

namespace corvane {

// Creates a new object of a catalogue class with no references yet; null only
// for a row no family answers for (the tests make sure every row has one).
Activity* CreateActivity(const ClassInfo& info);

}  // namespace corvane
