#include "framework/host_access.h"

#include "framework/com_object.h"

namespace corvane {

pelmark::Variant TaskParameter(pelmark::ITask* task, std::string_view name) {
  pelmark::ComPtr<pelmark::IParameters> parameters = Must(task)->Parameters();
  pelmark::ComPtr<pelmark::IParameter> parameter = Must(parameters)->Item(name);
  return Must(parameter)->Value();
}

bool TaskParameterExists(pelmark::ITask* task, std::string_view name) {
  pelmark::ComPtr<pelmark::IParameters> parameters = Must(task)->Parameters();
  return Must(parameters)->Exists(name);
}

void SetTaskVariable(pelmark::ITask* task, std::string_view name, const pelmark::Variant& value) {
  pelmark::ComPtr<pelmark::IVariables> variables = Must(task)->Variables();
  pelmark::ComPtr<pelmark::IVariable> variable = Must(variables)->Item(pelmark::Variant(name));
  Must(variable)->SetValue(value);
}

pelmark::ComPtr<pelmark::IProcessInstance> ProcessInstanceOf(pelmark::IActivityServices* services,
                                                             pelmark::ITask* task) {
  return Must(services)->GetProcessInstance(Must(task)->ProcessID());
}

}  // namespace corvane

namespace corvane {

pelmark::Variant TaskVariable(pelmark::ITask* task, std::string_view name) {
  pelmark::ComPtr<pelmark::IVariables> variables = Must(task)->Variables();
  pelmark::ComPtr<pelmark::IVariable> variable = Must(variables)->Item(pelmark::Variant(name));
  return Must(variable)->Value();
}

}  // namespace corvane
