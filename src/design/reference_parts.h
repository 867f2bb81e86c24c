// Pieces the families' references share: the usual error causes, results and
// value rules, and the builders of parameter and error rows.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "design/class_reference.h"

namespace corvane::design {

using Json = nlohmann::ordered_json;

inline const std::string kFrontErrors =
    "the item list has no dmsobject element or lacks one of its attributes entitytype, dbid, "
    "dbpath or dbtype (91), or dbid or dbtype is no number (13); errors the DMS raises on "
    "Connect";
inline const std::string kSelectorError =
    "an entitytype other than document, stackitem or recordseries: the list selector is \"//\" "
    "alone, which is no valid XPath expression (-2147467259, source Corvane.XmlDocument)";
inline const std::string kUnknownParameter =
    "a parameter the step does not have: the host refuses the name";
inline const std::string kUnknownVariable =
    "a task variable the task does not have: the host refuses it";
inline const std::string kDefaultInitialize = "nothing: no host call";
inline const std::string kDefaultEvaluate = "1, always, without reading the task";
inline const std::string kDone = "1 when the work is done";
// What a parameter converted to Boolean accepts.
inline const std::string kBooleanValues =
    "True or False; numbers convert too (0 is False, any other True), and the texts \"True\" and "
    "\"False\" in any case; Null or other text fails (94, 13)";
inline const std::string kDoneSummary =
    "Every item of the item list (the first process variable, of type dms.object) is handled; "
    "without a DmsService, an item list, or with dbid -1, no item is touched.";

inline ParameterDoc TaskParameter(std::string name, std::string type, bool required,
                                  std::string default_value, std::string allowed,
                                  std::string meaning, Json sample) {
  return {std::move(name),          ParameterScope::kTask, std::move(type),    required,
          std::move(default_value), std::move(allowed),    std::move(meaning), std::move(sample)};
}

inline ParameterDoc StepParameter(std::string name, std::string type, bool required,
                                  std::string default_value, std::string allowed,
                                  std::string meaning, Json sample) {
  ParameterDoc p =
      TaskParameter(std::move(name), std::move(type), required, std::move(default_value),
                    std::move(allowed), std::move(meaning), std::move(sample));
  p.scope = ParameterScope::kStep;
  return p;
}

inline ErrorDoc ExecuteError(const std::string& class_name, std::string cause) {
  return {class_name + ": IActivityRuntime_Execute Function Ln ", std::move(cause)};
}
inline ErrorDoc PrivateError(const std::string& class_name, const std::string& procedure,
                             std::string cause) {
  return {class_name + ":" + procedure + " Ln ", std::move(cause)};
}

// for the human-task steps and Notify.
inline void AppendTaskAndProcessVariables(std::vector<TemplateVariableDoc>& variables,
                                          const std::string& link_note) {
  std::vector<TemplateVariableDoc> shared = {
      {"TASKID", "the task's TaskID"},
      {"TASKINDEX", "the task's TaskIndex"},
      {"PROCESSID", "the task's ProcessID"},
      {"ACTIVITYID", "the task's ActivityID"},
      {"PROCESSNAME", "the process instance's ProcessName"},
      {"INITIATORCOMMENT", "the process instance's InitiatorComment"},
      {"INITIATORID", "the process instance's InitiatorID"},
      {"INITIATORNAME", "the process instance's InitiatorName"},
      {"INITIATORTYPE", "the process instance's InitiatorType"},
      {"dmsobject.id",
       "in an expression repeated over a dms.object process variable: the item's "
       "id"},
      {"dmsobject.name", "likewise: the item's name"},
      {"dmsobject.link",
       "likewise: the ConfigurationService setting Links/<entitytype> with =# replaced by =id, "
       "=$ by =typecode and =! by =dbid" +
           link_note},
  };
  variables.insert(variables.end(), shared.begin(), shared.end());
}

}  // namespace corvane::design
