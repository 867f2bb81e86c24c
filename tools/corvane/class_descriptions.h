// The class reference as the loaded module answers it (IActivityDesign::Describe
// of an object of each class), and what the tool makes of it: `corvane describe`,
// `corvane new` and the pages in docs/classes. Tests check it against what the
// classes read and write.
//
// Threading: the table is read from the module once, on first use, and is
// read-only after.
#pragma once

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "design/class_reference.h"

namespace corvane::cli {

using design::ClassDescription;
using design::DecisionRow;
using design::ErrorDoc;
using design::ParameterDoc;
using design::ParameterScope;
using design::TemplateVariableDoc;
using design::VariableDoc;

// The "$id" of docs/scenario.schema.json, which `corvane new` writes as a scenario's
// "$schema": a stable name, where a path to the file depends on the folder the
// scenario is in. docs/scenarios.md says how to point an editor at the file.
inline constexpr std::string_view kScenarioSchemaId =
    "https://corvane.example/schemas/scenario.schema.json";

// What the loaded module answers through the design-time interface of an object
// of each class, in catalogue order; throws HostError when the module cannot be
// loaded or answers no reference.
std::span<const ClassDescription> ClassDescriptions();
// By class name, ProgID ("Corvane.MarkAsVital") or CLSID (with or without braces),
// compared without regard to case; null when none matches.
const ClassDescription* FindDescription(std::string_view name_progid_or_clsid);

nlohmann::ordered_json DescriptionJson(const ClassDescription& d);
std::string DescriptionText(const ClassDescription& d);
// The page docs/classes/<Class>.md, and the index docs/classes/README.md.
std::string DescriptionMarkdown(const ClassDescription& d);
std::string ReferenceIndexMarkdown();
// The JSON Schema docs/classes/<Class>.schema.json: the class's step and task
// parameters (names in any case, choices, required ones) and task variables as a
// scenario file writes them, each with its description. ClassSchemaIndex is
// docs/classes/classes.schema.json, which applies the scenario's class's schema;
// docs/scenario.schema.json refers to it.
std::string ClassSchemaFile(const ClassDescription& d);
nlohmann::ordered_json ClassSchema(const ClassDescription& d);
nlohmann::ordered_json ClassSchemaIndex();
// Everything `corvane describe --all --write` puts into docs/classes, file name
// to text: the pages, README.md, the schemas and their index.
std::map<std::string, std::string> ReferenceFiles();
// A scenario file that runs the class as it is: every parameter at its sample
// value, the variables it reads and writes declared, one item of the kind it
// works on.
nlohmann::ordered_json ScenarioSkeleton(const ClassDescription& d);

}  // namespace corvane::cli
