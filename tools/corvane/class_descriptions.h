// What each activity class reads and writes, for `corvane describe` and for the
// tests that check it against the classes' behaviour: the step parameters (from
// the step definition) and task parameters it reads, the task variables it reads
// and writes, the result codes of Execute and EvaluateCompositeTask, and the
// services it asks the host for. One row per catalogue class.
#pragma once

#include <span>
#include <string_view>

#include "values.h"

namespace corvane::cli {

struct ClassDescription {
  std::string_view name;
  std::string_view family;
  std::string_view summary;
  std::span<const std::string_view> step_parameters;  // IActivity.Parameters
  std::span<const std::string_view> task_parameters;  // ITask.Parameters
  std::span<const std::string_view> variables_read;
  std::span<const std::string_view> variables_written;
  std::string_view execute_results;
  std::string_view evaluate_results;
  std::string_view initialize;
  std::span<const std::string_view> services;
};

std::span<const ClassDescription> ClassDescriptions();
// By class name or ProgID, compared without regard to case; null when none.
const ClassDescription* FindDescription(std::string_view name);

Json DescriptionJson(const ClassDescription& d);
std::string DescriptionText(const ClassDescription& d);

}  // namespace corvane::cli
