// Checks a step's configuration against its class's reference before it runs:
// names the class does not read, required parameters missing, values the class
// will refuse or read otherwise than the designer likely meant, templates that
// lose text, and whatever the class's own checks add. What the design-time
// interface's Check answers.
//
// The configuration is JSON with the shape of a scenario file's step, tasks and
// process (every member optional):
//   {"locale": "de-DE",
//    "step": {"parameters": {NAME: value}, "requestcount": 3, "minresponses": 0,
//             "minapprovals": 2},
//    "tasks": [{"id": 5, "parameters": {NAME: value}, "variables": {NAME: value},
//               "executed": true}],
//    "process": {"variables": {NAME: value}, "itemlist": "<xml text>" or {...}}}
// A value is JSON text, number, true/false or null, or a typed form {"date":
// "YYYY-MM-DDThh:mm:ss"}, {"double": x}, {"long": n}, {"empty": true}.
//
// Threading: pure functions of their arguments.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "corvane/platform.h"
#include "design/class_reference.h"
#include "pelmark/variant.h"

namespace corvane::design {

struct Finding {
  std::string severity;  // "error": the step fails or certainly does not do what was written;
                         // "warning": it runs, likely not as meant
  std::string scope;     // "step", "task", "process" or "configuration"
  std::optional<int64_t> task;  // the task's id, for scope "task"
  std::string kind;   // "parameter", "variable", "resource", "template" or "configuration"
  std::string name;   // the parameter or variable
  std::string value;  // the value as text; empty when there is none
  std::string message;
  std::string suggestion;  // a fix; empty when none
};

struct NamedValue {
  std::string name;
  pelmark::Variant value;
  std::string text;  // the value as the designer wrote it
};

struct TaskConfiguration {
  std::optional<int64_t> id;
  // False for a task the host only evaluates: its parameters are checked as
  // given, but none is missing, since no Execute reads them.
  bool executed = true;
  std::vector<NamedValue> parameters;
  std::vector<NamedValue> variables;
};

struct Configuration {
  const LocaleInfo* locale = &LocaleInfo::EnUs();
  std::vector<NamedValue> step_parameters;
  std::optional<NamedValue> request_count, min_responses, min_approvals;
  std::vector<TaskConfiguration> tasks;
  std::vector<NamedValue> process_variables;
  std::optional<std::string> item_list;  // the item list's XML text
};

// Collects findings; the place (scope, task) is set by the one who adds.
class Findings {
 public:
  void Add(Finding f) { list_.push_back(std::move(f)); }
  const std::vector<Finding>& list() const { return list_; }

 private:
  std::vector<Finding> list_;
};

// Reads the configuration JSON; throws std::invalid_argument naming the member.
Configuration ReadConfiguration(std::string_view json);

// The findings as Check answers them: {"class": NAME, "findings": [...]}. Never
// throws: input it cannot read gives one finding of kind "configuration".
std::string CheckConfiguration(const ClassDescription& d, std::string_view json);

// For the classes' own checks.
const NamedValue* FindValue(const std::vector<NamedValue>& values, std::string_view name);
// The rendering of a template parameter names `name` (any case) somewhere.
bool TemplateNames(std::string_view text, std::string_view name);

}  // namespace corvane::design
