// What the field-value classes read, write, raise and do, as data for Describe
// and Check.
#include "fields/fields_reference.h"

#include <string>

#include "design/reference_parts.h"

namespace corvane::design {
namespace {

const std::string kFieldNameMeaning =
    "The field to address, on every item. Lower-cased and trimmed. A name without a full stop, "
    "or beginning with \"self.\", is the item's own field. Any other prefix (\"parent.\", "
    "\"docs.\", ...) addresses, on a document, the field of its parent data entity (the "
    "document itself when it is filed in none); on a stack, the field of every document filed "
    "in it; on a record series";

// A field of the kind the member reads or writes, which the skeleton's document has.
std::string SampleField(const std::string& class_name) {
  if (class_name.find("Numeric") != std::string::npos) return "Amount";
  if (class_name.find("YesNo") != std::string::npos) return "Signed";
  if (class_name.find("DateTime") != std::string::npos) return "Due";
  return "Title";
}

ParameterDoc FieldName(const std::string& class_name, bool get_family, bool text_member) {
  std::string meaning = kFieldNameMeaning +
                        (get_family ? ", with \"parent.\", the field of its retention label "
                                      "(other prefixes do nothing)"
                                    : ", nothing (record series are skipped)") +
                        ". The part behind the first full stop is the field name.";
  if (text_member)
    meaning +=
        " A name matching \"process.*\" (case-sensitive) reads the process variable of that "
        "whole name instead of a field.";
  return TaskParameter("FIELDNAME", "text", true, "",
                       "a field name, optionally with a prefix: Title, self.Title, parent.Title" +
                           std::string(text_member ? ", process.Total" : ""),
                       meaning, SampleField(class_name));
}

std::vector<ErrorDoc> FieldErrors(const std::string& name, const std::string& conversion) {
  std::string per_item = "a field name the entity does not have (" +
                         std::string(name.starts_with("Change") ? "the item is skipped, no error"
                                                                : "the DMS's error") +
                         "); " + conversion +
                         "; a fetch that must find an entity and finds Nothing (91); errors the "
                         "DMS raises. The procedure stops at that item";
  std::vector<ErrorDoc> errors = {
      ExecuteError(name, kFrontErrors + "; " + kUnknownParameter + " (FIELDNAME)"),
      PrivateError(name, "ProcessDocument", per_item),
      PrivateError(name, "ProcessRecordSeries", per_item),
      PrivateError(name, "ProcessStack", per_item),
  };
  if (name == "GetFieldValue")
    errors.push_back({"GetFieldValue: ProcessParameters Function Ln ",
                      "errors reading the process variable named by a process.* FIELDNAME"});
  return errors;
}

ClassDescription Get(std::string name, std::string converts, std::string null_output) {
  ClassDescription d;
  d.name = name;
  d.family = "Field values";
  d.summary = "Reads the field FIELDNAME addresses on every item into the task variable VALUE " +
              converts + "; with several items the last one's value remains. " + kDoneSummary;
  const bool text = name == "GetFieldValue";
  d.parameters = {FieldName(name, true, text)};
  d.writes = {
      {"VALUE", text ? "text" : null_output,
       "the field's value " + converts + "; when nothing is addressed, VALUE keeps what it held"}};
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = FieldErrors(name, text ? "a yes/no field whose value is no number (13)"
                                    : "a value that does not convert (13), such as text that is "
                                      "no number, Boolean or date");
  d.errors.front().cause += "; " + kUnknownVariable + " (VALUE)";
  return d;
}

ClassDescription Set(std::string name, std::string converts, bool change, Json sample) {
  ClassDescription d;
  d.name = name;
  d.family = "Field values";
  const std::string source = change ? "the parameter FIELDVALUE" : "the task variable VALUE";
  d.summary = "Writes " + source + " into the field FIELDNAME addresses on every item, " +
              converts + ", and stores the entity; a blank value clears the field (Null)." +
              (change ? " An item whose entity lacks the field is skipped without an error." : "") +
              " " + kDoneSummary;
  d.parameters = {FieldName(name, false, false)};
  if (change)
    d.parameters.push_back(TaskParameter(
        "FIELDVALUE", "any", true, "", "a value that converts as described; blank clears the field",
        "The value written, " + converts +
            ". Read afresh for every addressed field and used as written: no template "
            "expansion. Text that is blank after trimming sets the field to Null.",
        sample));
  else
    d.reads = {{"VALUE", converts == "converted to Date" ? "date and time" : "any",
                "the value written, " + converts + "; read afresh for every addressed field",
                sample}};
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = FieldErrors(name, "a value that does not convert (13); a Null value (94)");
  if (!change) d.errors.front().cause += "; " + kUnknownVariable + " (VALUE)";
  return d;
}

const std::string kByDataType =
    "converted by the field's data type (5 Double, 7 Date, 11 Boolean, 12 Long, 14, 200 and 201 "
    "text; other types are left alone but the entity is still stored)";

}  // namespace

ClassDescription DescribeFieldClass(std::string_view name_view) {
  const std::string name(name_view);
  const std::string get_text = "as text (yes/no fields as \"Yes\" or \"No\")";
  if (name == "GetFieldValue") return Get(name, get_text, "text");
  if (name == "GetNumericFieldValue")
    return Get(name, "converted to Double (Null for a null field)", "Double");
  if (name == "GetYesNoFieldValue")
    return Get(name, "converted to Boolean (Null for a null field)", "Boolean");
  if (name == "GetDateTimeFieldValue")
    return Get(name, "converted to Date (Null for a null field)", "date and time");
  const bool change = name.starts_with("Change");
  if (name == "SetFieldValue" || name == "ChangeFieldValue")
    return Set(name, kByDataType, change, "Approved");
  if (name.find("Numeric") != std::string::npos)
    return Set(name, "converted to Double", change, "42.5");
  if (name.find("YesNo") != std::string::npos)
    return Set(name, "converted to Boolean", change, true);
  if (name.find("DateTime") != std::string::npos)
    return Set(name, "converted to Date", change, Json{{"date", "2025-03-14"}});
  throw std::invalid_argument("no field class " + name);
}

}  // namespace corvane::design
