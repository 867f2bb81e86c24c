// The shape of a class's reference: every parameter it reads (type, default,
// allowed values, meaning), the template variables its templates can name, the
// task variables it reads and writes, its results, the services it asks the host
// for, the errors it can raise with their location texts and, for the human-task
// steps, the decision table. Each family keeps its classes' rows beside their
// code; the module answers them as JSON through IActivityDesign::Describe, and
// the tool reads that JSON back into these structures.
//
// Threading: plain values and pure functions.
#pragma once

#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::design {

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
  // The values it recognizes (compared without case) when only those do something;
  // empty when any value of its type is read.
  std::vector<std::string> choices = {};
  // Compared with True rather than converted: 1 and "yes" are not True.
  bool compared_with_true = false;
  // The item list's entity type ("stack") for which alone the step reads it; empty
  // when it reads it for every item list.
  std::string read_for = {};
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

struct Configuration;
class Findings;
struct ClassDescription;
// A class's own checks beyond what its parameter rows say (numbers that must
// agree, resource lists, item attributes a template needs).
using ClassChecks = void (*)(const ClassDescription& d, const Configuration& c, Findings& out);

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
  ClassChecks checks = nullptr;  // not part of the JSON

  // The names alone, derived from the lists above when the table is built.
  std::vector<std::string> step_parameters;
  std::vector<std::string> task_parameters;
  std::vector<std::string> variables_read;
  std::vector<std::string> variables_written;
};

// The names lists (step_parameters ... variables_written) from the lists above.
void DeriveNameLists(ClassDescription& d);

// The JSON the module answers for Describe, and its reading back: a description
// read from the JSON of another is equal to it. ReferenceFromJson throws
// std::invalid_argument naming the first member that is missing or of the wrong kind.
nlohmann::ordered_json ReferenceJson(const ClassDescription& d);
ClassDescription ReferenceFromJson(const nlohmann::ordered_json& json);

}  // namespace corvane::design
