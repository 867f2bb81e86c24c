// Short forms of the host reads and writes every activity makes: a step
// parameter's value, whether it exists, and writing a task variable. Each raises
// 91 where the host hands back Nothing instead of crashing.
#pragma once

#include <string_view>

#include "framework/com_object.h"
#include "pelmark/host.h"

namespace corvane {

// task.Parameters.Item(name).Value
pelmark::Variant TaskParameter(pelmark::ITask* task, std::string_view name);
// task.Parameters.Exists(name)
bool TaskParameterExists(pelmark::ITask* task, std::string_view name);
// task.Variables.Item(name).Value = value
void SetTaskVariable(pelmark::ITask* task, std::string_view name, const pelmark::Variant& value);

// services.GetProcessInstance(task.ProcessID): the workflow instance of a task.
pelmark::ComPtr<pelmark::IProcessInstance> ProcessInstanceOf(pelmark::IActivityServices* services,
                                                             pelmark::ITask* task);

// services.GetService(name) as interface T: null when the host has no such
// service, 13 when it hands out something else.
template <class T>
pelmark::ComPtr<T> ServiceAs(pelmark::IActivityServices* services, std::string_view name) {
  pelmark::ComPtr<pelmark::IService> service = Must(services)->GetService(name);
  if (!service) return {};
  return QueryOrRaise<T>(service);
}

}  // namespace corvane

namespace corvane {

// task.Variables.Item(name).Value
pelmark::Variant TaskVariable(pelmark::ITask* task, std::string_view name);

}  // namespace corvane
