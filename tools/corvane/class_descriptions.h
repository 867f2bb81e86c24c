// The class reference: for each activity class, every parameter it reads (with
// type, default, allowed values and meaning), the template variables its
// templates can name, the task variables it reads and writes, its results, the
// services it asks the host for, the errors it can raise with their location
// texts and, for the human-task steps, the decision table. One row per catalogue
// class; `corvane describe`, `corvane new` and the pages in docs/classes are all
// made from it, and tests check it against what the classes read and write.
//
// Threading: the table is built once, on first use, and is read-only after.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::cli {

// Where a parameter is read: the step definition's collection (IActivity.Parameters,
// read by Initialize and EvaluateCompositeTask) or the task's (ITask.Parameters).
enum class ParameterScope { kStep, kTask };

struct ParameterDoc {
  std::string name;
  ParameterScope scope;
  std::string type;               // "text", "Boolean", "whole number", ...
  bool required;                  // read without a presence test: a step without it fails
  std::string default_value;      // what an absent parameter means; empty when required
  std::string allowed;            // the values it accepts
  std::string meaning;            // what it does
  nlohmann::ordered_json sample;  // a working value, for skeletons and checks
};

struct VariableDoc {
  std::string name;
  std::string type;
  std::string meaning;
  nlohmann::ordered_json sample = nullptr;  // the value a skeleton declares it with
};

// A name a template of the class can use, and where its value comes from.
struct TemplateVariableDoc {
  std::string name;
  std::string value;
};

struct ErrorDoc {
  std::string location;  // the text added to the error's source, before the line number
  std::string cause;     // what raises it there
};

// One row of a human-task step's decision table; the first row whose condition
// holds decides.
struct DecisionRow {
  std::string condition;
  std::string approved;  // what the decision writes to APPROVED; empty when nothing
  int result;
};

struct ClassDescription {
  std::string name;
  std::string family;
  std::string summary;
  std::vector<ParameterDoc> parameters;
  std::string templates;  // which parameter is a template and how it is rendered
  std::vector<TemplateVariableDoc> template_variables;
  std::vector<VariableDoc> reads;   // task variables read
  std::vector<VariableDoc> writes;  // task variables written
  std::string initialize;
  std::string execute_results;
  std::string evaluate_results;
  std::vector<std::string> services;
  std::vector<ErrorDoc> errors;
  std::string decision_counts;  // what the counts of the decision table are
  std::vector<DecisionRow> decision;

  // The names alone, derived from the lists above when the table is built.
  std::vector<std::string> step_parameters;
  std::vector<std::string> task_parameters;
  std::vector<std::string> variables_read;
  std::vector<std::string> variables_written;
};

std::span<const ClassDescription> ClassDescriptions();
// By class name, ProgID ("Corvane.MarkAsVital") or CLSID (with or without braces),
// compared without regard to case; null when none matches.
const ClassDescription* FindDescription(std::string_view name_progid_or_clsid);

nlohmann::ordered_json DescriptionJson(const ClassDescription& d);
std::string DescriptionText(const ClassDescription& d);
// The page docs/classes/<Class>.md, and the index docs/classes/README.md.
std::string DescriptionMarkdown(const ClassDescription& d);
std::string ReferenceIndexMarkdown();
// A scenario file that runs the class as it is: every parameter at its sample
// value, the variables it reads and writes declared, one item of the kind it
// works on.
nlohmann::ordered_json ScenarioSkeleton(const ClassDescription& d);

}  // namespace corvane::cli
