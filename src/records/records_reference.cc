// What the records-management classes read, write, raise and do, as data for
// Describe and Check.
#include "records/records_reference.h"

#include <string>

#include "design/reference_parts.h"

namespace corvane::design {
namespace {

ClassDescription Flag(std::string name, std::string operation, std::string stamp_variable,
                      std::string result_variable, bool record_series) {
  ClassDescription d;
  d.name = name;
  d.family = "Records-management flags";
  d.summary =
      "Calls the DMS operation " + operation +
      " once for every item of the item list, with the reason from REASON, then records "
      "in " +
      stamp_variable + " when it ran and in " + result_variable +
      " whether it walked a list. An error on one item is skipped and the walk goes on "
      "with the next; " +
      result_variable + " says that the list was walked, not that each item succeeded." +
      (record_series ? ""
                     : " Record series are not processed: for an item list of kind recordseries "
                       "the DMS is connected and disconnected, and nothing else happens.");
  d.parameters = {TaskParameter(
      "REASON", "text", true, "", "any text; Null gives the empty text",
      "The reason passed to " + operation +
          " for every item. It is read once per item, together with the call: when the step has "
          "no REASON (a misspelt name, for instance) the read fails, the error is skipped like "
          "any per-item error, and no item is processed, although " +
          result_variable + " still becomes True.",
      "Kept for the retention schedule")};
  d.writes = {{stamp_variable, "date and time", "the current date and time, set on every run"},
              {result_variable, "Boolean",
               "True when the item list's list element was found and walked; False without a "
               "DmsService, an item list, a connection (dbid -1) or the list element" +
                   std::string(record_series ? "" : ", and for record series")}};
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone + " (also when items failed)";
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = {
      ExecuteError(name, kFrontErrors + "; " + kUnknownVariable + " (" + stamp_variable + ", " +
                             result_variable + "); the task variables are then not written"),
      PrivateError(name, "ProcessItems",
                   kSelectorError +
                       ". Errors inside the item walk (the DMS operation, REASON, an item without "
                       "a readable id) are skipped item by item and never reach the host"),
  };
  return d;
}

ClassDescription Delete() {
  ClassDescription d;
  d.name = "Delete";
  d.family = "Records-management actions";
  d.summary =
      "Deletes every item of the item list (DeleteDocument, DeleteDataEntity or "
      "DeleteRecordSeries by kind), then records whether it walked the list and when. Unlike "
      "the flag classes it stops at the first item that fails.";
  d.parameters = {
      TaskParameter("DELETE_CHILD_ITEMS", "Boolean", false, "True", kBooleanValues,
                    "Whether stack items and record series are deleted with their child items. "
                    "Documents never receive it.",
                    true),
      TaskParameter("REASON", "text", true, "", "any text; Null gives the empty text",
                    "The reason passed to every delete operation.", "Retention period ended"),
  };
  d.writes = {{"DELETED", "Boolean", "True when the item list was found and walked to its end"},
              {"DELETEDON", "date and time", "now"}};
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = {
      ExecuteError("Delete", kFrontErrors +
                                 "; a DELETE_CHILD_ITEMS that does not convert to "
                                 "Boolean (13); " +
                                 kUnknownParameter + " (REASON); " + kUnknownVariable +
                                 " (DELETED, DELETEDON)"),
      PrivateError("Delete", "ProcessItems",
                   kSelectorError +
                       "; the first delete that fails: earlier items stay deleted, later ones "
                       "are not attempted, DELETED and DELETEDON are not written"),
  };
  return d;
}

ClassDescription ExportToFolder() {
  ClassDescription d;
  d.name = "ExportToFolder";
  d.family = "Records-management actions";
  d.summary =
      "Makes sure the folder FOLDER exists, creating each missing level, and when "
      "EXPORT_DOCUMENT is present has the DMS export the last item of the list into it. Its "
      "default interface also offers DirectoryExists and MakeDirectory.";
  d.parameters = {
      TaskParameter("FOLDER", "text", true, "",
                    "a folder path; \"/\" separates levels (a \"\\\" is read as one); Null gives "
                    "the empty text",
                    "The target folder. One trailing separator is dropped; every missing level "
                    "is created, parent first, whether or not the export runs.",
                    "exports/contracts"),
      TaskParameter("EXPORT_DOCUMENT", "any", false, "no export",
                    "any value; only its presence counts (False exports too)",
                    "When present, ExportDocument is called once, for the last item of the "
                    "list, with the folder.",
                    true),
  };
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = {
      ExecuteError("ExportToFolder",
                   kFrontErrors + "; " + kUnknownParameter +
                       " (FOLDER); a folder that cannot be created or a path the file system "
                       "refuses (75, 76); errors of ExportDocument"),
      PrivateError("ExportToFolder", "GetEntityLookupType",
                   kSelectorError + "; an item id that is no number (13)"),
  };
  return d;
}

}  // namespace

ClassDescription DescribeRecordsClass(std::string_view name) {
  struct FlagRow {
    std::string_view name, stamp_variable, result_variable;
    bool record_series;
  };
  // The operation each flag calls has the class's own name.
  static constexpr FlagRow kFlags[] = {
      {"MarkAsArchive", "ARCHIVEDON", "ARCHIVED", true},
      {"MarkAsRecord", "MARKEDASRECORDON", "ISRECORD", true},
      {"MarkAsVital", "MARKEDASRECORDON", "ISVITAL", true},
      {"PutOnHold", "PUTONHOLDON", "PUTOBHOLD", false},
      {"UnmarkAsVital", "UNMARKASVITALDON", "UNMARKASVITAL", true},
      {"UnmarkAsRecord", "UNMARKASRECORDON", "UNMARKASRECORD", true},
      {"ResetOnHold", "RESETPUTOBHOLDON", "RESETPUTOBHOLD", false},
  };
  for (const FlagRow& f : kFlags)
    if (f.name == name)
      return Flag(std::string(f.name), std::string(f.name), std::string(f.stamp_variable),
                  std::string(f.result_variable), f.record_series);
  if (name == "Delete") return Delete();
  if (name == "ExportToFolder") return ExportToFolder();
  throw std::invalid_argument("no records class " + std::string(name));
}

}  // namespace corvane::design
