#include "flow/job_records.h"

#include <string>

#include "framework/com_object.h"
#include "framework/dms_objects.h"
#include "rules/variant_rules.h"

namespace corvane {
namespace {

using pelmark::ComPtr;
using pelmark::Variant;

// Entity and lookup type codes the dispatcher knows the records by.
constexpr int32_t kJobTypeCode = 61;
constexpr int32_t kJobMetadataTypeCode = 58;
// The dispatcher that wakes workflows, spelled as the DMS registers it.
constexpr std::string_view kWorkflowDispatcher = "WORKFLOW_DISPATURE";

// The DMS declares the small codes as 16-bit fields; the variant has no 16-bit
// kind, so they travel as Long values of the same number.
Variant Small(int32_t n) { return Variant(n); }

void SetField(pelmark::IFields* fields, std::string_view name, const Variant& value) {
  ComPtr<pelmark::IField> field = Must(fields)->Item(name);
  Must(field)->SetValue(value);
}

// A field that refers to another entity; 13 when the DMS's field is no lookup.
ComPtr<pelmark::ILookupField> LookupField(pelmark::IFields* fields, std::string_view name) {
  ComPtr<pelmark::IField> field = Must(fields)->Item(name);
  Must(field);
  return QueryOrRaise<pelmark::ILookupField>(field);
}

}  // namespace

ComPtr<pelmark::IEntity> FindScheduledJob(pelmark::IDmsService* dms, pelmark::ITask* task, Line& at,
                                          int32_t first) {
  at(first);
  ComPtr<pelmark::IVariables> variables = Must(task)->Variables();
  ComPtr<pelmark::IVariable> job_variable = Must(variables)->Item(Variant("JOBID"));
  if (Must(job_variable)->IsNull()) return {};
  Variant job_id = job_variable->Value();
  // A value that is no number fails the comparison with 0 as a type mismatch.
  if (job_id.is_null() || ToDouble(job_id) == 0) return {};
  at(first + 1);
  ComPtr<pelmark::IEntityRef> ref = NewEntityRef();
  ref->SetID(ToLong(job_id));
  ref->SetTypeCode(kJobTypeCode);
  ref->SetEntityName("Job");
  return Must(dms)->GetJob(ref.get());
}

int32_t ScheduleJob(pelmark::IDmsService* dms, pelmark::ITask* task, const JobKind& kind, Line& at,
                    int32_t first) {
  at(first);
  const std::string process_id = std::to_string(Must(task)->ProcessID());
  const std::string task_id = std::to_string(task->TaskID());

  at(first + 1);
  ComPtr<pelmark::IEntity> metadata = Must(dms)->NewEntity("JobMetadata");
  at(first + 2);
  {
    ComPtr<pelmark::IFields> fields = Must(metadata)->Fields();
    SetField(fields.get(), "Display Name", "W" + process_id + "-T" + task_id);
    SetField(fields.get(), "Job Type Mask", Small(0));
    SetField(fields.get(), "Job Id", Small(kind.job_id));
    SetField(fields.get(), "Dispature Id", kWorkflowDispatcher);
    SetField(fields.get(), "Dispature Xml",
             "workflow.id=" + process_id + ";workflow.taskid=" + task_id);
  }
  at(first + 3);
  const int32_t metadata_id = dms->AddEntity(metadata.get());

  at(first + 4);
  ComPtr<pelmark::IEntity> job = dms->NewEntity("Job");
  {
    // The record takes the entity name the DMS gives a fresh "Job", whatever its
    // spelling there.
    ComPtr<pelmark::IEntity> naming = dms->NewEntity("Job");
    Must(job)->SetEntityName(Must(naming)->EntityName());
  }
  at(first + 5);
  ComPtr<pelmark::IFields> fields = job->Fields();
  SetField(fields.get(), "Job Type", Small(1));
  SetField(fields.get(), "Status", Small(0));
  SetField(fields.get(), "State", Small(0));
  SetField(fields.get(), "Priority", Small(1));
  SetField(fields.get(), "CreatorType", Small(3));
  SetField(fields.get(), "DBGuid", "");
  at(first + 6);
  {
    ComPtr<pelmark::ILookupField> creator = LookupField(fields.get(), "CreatorObject");
    creator->SetID(kind.creator == JobKind::Creator::kProcess ? task->ProcessID() : task->TaskID());
    if (kind.creator_display_value) creator->SetDisplayValue("");
    creator->SetTypeCode(kind.creator_type_code);
  }
  {
    ComPtr<pelmark::IField> schedule = Must(fields)->Item("Schedule");
    Must(schedule)->SetIsNullValue(true);
  }
  {
    ComPtr<pelmark::ILookupField> link = LookupField(fields.get(), "JobMetadata");
    link->SetID(metadata_id);
    if (kind.metadata_display_value) link->SetDisplayValue("");
    link->SetTypeCode(kJobMetadataTypeCode);
  }
  at(first + 7);
  double start = kind.due_time ? *kind.due_time : ToDate(Now());
  SetField(fields.get(), "Start Date", Variant::Date(start));
  double end = DateAdd("d", 10, kind.due_time ? *kind.due_time : ToDate(Now()));
  SetField(fields.get(), "End Date", Variant::Date(end));
  at(first + 8);
  SetField(fields.get(), "Parameter Xml", "");
  SetField(fields.get(), "Error Details", "");
  SetField(fields.get(), "Failure Count", Small(0));
  at(first + 9);
  return dms->AddEntity(job.get());
}

}  // namespace corvane
