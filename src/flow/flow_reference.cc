// What the flow-control classes read, write, raise and do, as data for Describe
// and Check.
#include "flow/flow_reference.h"

#include <string>

#include "design/reference_parts.h"

namespace corvane::design {
namespace {

ClassDescription EndWorkflow() {
  ClassDescription d;
  d.name = "EndWorkflow";
  d.family = "Flow control";
  d.summary =
      "Schedules a job (JobMetadata with Job Id 2, and a Job starting now) that has the DMS's "
      "workflow dispatcher end the workflow instance. JOBID keeps the job, so a repeated call "
      "schedules nothing while the job exists. The step never reports itself complete.";
  d.reads = {{"JOBID", "whole number", "the job of an earlier call; null or 0 when none"}};
  d.writes = {{"JOBID", "whole number", "the id of the job scheduled"}};
  d.initialize = kDefaultInitialize;
  d.execute_results = "2 on every path that does not fail (also without a DmsService)";
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = {ExecuteError("EndWorkflow", kUnknownVariable +
                                              " (JOBID); errors the DMS raises while the job "
                                              "records are made or stored")};
  return d;
}

ClassDescription Wait() {
  ClassDescription d;
  d.name = "Wait";
  d.family = "Flow control";
  d.summary =
      "Holds the step until a due time: the base (STARTING_FROM, or else the earlier of now and "
      "the task's date at 00:00) plus INTERVAL units of INTERVAL_TYPE, plus OFFSET hours. While "
      "the time is ahead it schedules a wake-up job (JOBID) and returns 2; once it has come it "
      "returns 1.";
  d.parameters = {
      TaskParameter("STARTING_FROM", "date and time", true, "",
                    "a date; Null, Empty or the zero date (30 December 1899 00:00) mean \"not "
                    "given\"",
                    "Base of the wait. When not given, the base is the earlier of now and the "
                    "task's TaskDate (that day at 00:00).",
                    nullptr),
      TaskParameter("INTERVAL", "whole number", true, "", "a whole number, may be negative",
                    "Number of units to wait.", 3),
      TaskParameter("INTERVAL_TYPE", "whole number or text", true, "",
                    "1 years, 2 months, 3 weeks, 4 days, 5 hours, 6 minutes, 7 seconds; a text "
                    "that is no number is turned into a code by the DMS (GetIntervalTypeCode); "
                    "any other code makes the due time now",
                    "The unit of INTERVAL. Adding months keeps the day of the month where it "
                    "exists, otherwise the month's last day.",
                    4),
      TaskParameter("OFFSET", "whole number", true, "", "a whole number of hours, may be negative",
                    "Hours added after the interval.", 0),
  };
  d.reads = {{"JOBID", "whole number", "the job of an earlier call; null or 0 when none"}};
  d.writes = {{"JOBID", "whole number",
               "the id of the job scheduled, or 0 when an existing job was found; left alone "
               "when the due time has come"}};
  d.initialize = kDefaultInitialize;
  d.execute_results =
      "1 when the due time has come (or the existing job's Start Date has), 2 while pending "
      "and without a DmsService";
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = {ExecuteError(
      "Wait", kUnknownParameter +
                  " (all four are read without a presence test); a STARTING_FROM that is no "
                  "date (13); an INTERVAL or OFFSET that is empty or no number (13) or out of "
                  "range (6); a due time before year 100 or after 9999 (5); " +
                  kUnknownVariable + " (JOBID); errors the DMS raises on the job records")};
  return d;
}

}  // namespace

ClassDescription DescribeFlowClass(std::string_view name) {
  if (name == "EndWorkflow") return EndWorkflow();
  if (name == "Wait") return Wait();
  throw std::invalid_argument("no flow class " + std::string(name));
}

}  // namespace corvane::design
