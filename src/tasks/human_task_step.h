// The frame the human-task steps (DocApproval, Review, ToDo) share: each entry
// point inside the bracketed error report "<Step>: IActivityRuntime_... (", the
// count of answered tasks, the work of an answered approval or review task, and
// the audit blocks that close the entry points, each statement under its own
// number.
//
// Threading: apartment; a step object is called on one thread and keeps no
// state between calls.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "framework/activity.h"
#include "shared/audit_notes.h"
#include "shared/template_variables.h"

namespace corvane {

// What an evaluation counts over the step's tasks, in the host's order.
struct Tally {
  int32_t answered = 0;   // C
  int32_t approvals = 0;  // A
  std::string details;    // D: the answered tasks' details, joined without separator
};

// Counts the step's answered tasks; the approvals ("APPROVED" equals True) and
// the joined "DETAILS" only when asked.
Tally CountAnswers(pelmark::IActivity* activity, bool count_approvals, bool join_details);
// Tasks.Count of the step.
int32_t TaskCount(pelmark::IActivity* activity);

// The step's audit switch: on unless its "AUDIT_ACTIVITY" parameter says otherwise.
bool StepAuditSwitch(pelmark::IActivity* activity);

// The work of an answered approval or review task, statements 1 to 6: the
// answer date, the detail text rendered from "DETAIL_FORMAT", the comment note,
// "DETAILS". Returns the process instance for the audit that follows.
pelmark::ComPtr<pelmark::IProcessInstance> RecordAnswer(pelmark::IActivityServices* services,
                                                        const AuditCopy& copy,
                                                        const AnswerNames& answers,
                                                        pelmark::ITask* task, Line& at);

// The statement numbers of one audit block; 0 where the block has no such
// statement (the workflow instance already at hand, an event known in advance).
struct AuditSteps {
  int fetch = 0;    // the workflow instance
  int comment = 0;  // "CaseID: <process name>" and the details
  int decide = 0;   // what the event depends on
  int write = 0;    // the audit records
};

struct AuditedEvent {
  std::string_view event;
  int32_t result = 1;
};

// The event `event` with result 1, whatever happened.
std::function<AuditedEvent()> Always(std::string_view event);

class HumanTaskStep : public Activity {
 public:
  // `step` names the step in the error report ("Approval" for DocApproval).
  HumanTaskStep(const ClassInfo& info, std::string_view step) : Activity(info), step_(step) {}

  int32_t RunExecute(pelmark::IActivityServices* services, pelmark::ITask*& task) override;
  void RunInitialize(pelmark::IActivityServices* services, pelmark::IActivity* activity) override;
  int32_t RunEvaluateCompositeTask(pelmark::IActivityServices* services,
                                   pelmark::IActivity* activity, pelmark::ITask*& task) override;

 protected:
  virtual void InitializeWork(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                              Line& at) = 0;
  virtual int32_t EvaluateWork(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                               pelmark::ITask* task, Line& at) = 0;

  // Initialize's record of the request, under the step's workflow instance and
  // in the name of its initiator.
  void AuditRequest(pelmark::IActivityServices* services, pelmark::IActivity* activity, Line& at,
                    AuditSteps steps, const std::function<std::string()>& details,
                    std::string_view event);

  // Execute's record of one answer ("CaseID: <name>;"), in the name of the
  // task's resource, when the task's audit switch (read at `switch_at`) is on.
  void AuditAnswer(pelmark::IActivityServices* services, pelmark::ITask* task,
                   pelmark::ComPtr<pelmark::IProcessInstance> instance, Line& at, int switch_at,
                   AuditSteps steps, const std::function<AuditedEvent()>& decide);

  // The evaluation's record of the step's response, in nobody's name, when the
  // step's audit switch (read at `switch_at`) is on.
  void AuditResponse(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                     pelmark::ITask* task, Line& at, int switch_at, AuditSteps steps,
                     const std::function<std::string()>& details,
                     const std::function<AuditedEvent()>& decide);

  const AuditCopy& audit() const { return AuditCopyOf(info().name); }

 private:
  std::string_view step_;
};

}  // namespace corvane
