// What the document-operation classes read, write, raise and do, as data for
// Describe and Check.
#include "docops/docops_reference.h"

#include <string>

#include "design/reference_parts.h"

namespace corvane::design {
namespace {

std::vector<ParameterDoc> RectangleParameters(const std::string& what) {
  return {
      TaskParameter("LEFT", "number", true, "", "a number", "Left edge of the " + what + ".", 1),
      TaskParameter("TOP", "number", true, "", "a number", "Top edge of the " + what + ".", 1),
      TaskParameter("WIDTH", "number", true, "", "a number",
                    "Width: the right edge is LEFT + WIDTH, added as numbers.", 2),
      TaskParameter("HEIGHT", "number", true, "", "a number",
                    "Height: the bottom edge is TOP + HEIGHT, added as numbers.", 1),
      TaskParameter("UNIT", "any", false, "the unit the DMS gives new annotations",
                    "any value; only its presence counts",
                    "When present, the annotation's unit is \"in\" (inches), whatever the value.",
                    "in"),
      TaskParameter("PAGE_NUMBER", "whole number", true, "", "a page number",
                    "The page that carries the " + what + ", written as given.", 1),
  };
}

ParameterDoc ChildInherits(const std::string& what) {
  ParameterDoc p =
      TaskParameter("CHILD_INHERITS", "Boolean", true, "", kBooleanValues,
                    "Stack item lists only: when True, the documents filed in each stack " + what +
                        " too, after the stack. Read only for stacks.",
                    false);
  p.read_for = "stack";
  return p;
}

ClassDescription AutoStamp() {
  ClassDescription d;
  d.name = "AutoStamp";
  d.family = "Document operations";
  d.summary =
      "Stamps every document of a document item list with an annotation (type 6) in the "
      "rectangle the parameters give, carrying STAMP_NAME. Stack items and record series are "
      "not stamped.";
  d.parameters = RectangleParameters("stamp");
  d.parameters.push_back(TaskParameter(
      "STAMP_NAME", "text", true, "", "the name of a stamp the DMS knows",
      "Written to the annotation's \"Stamp Name\" field and, after a document list, to STAMPNAME.",
      "Approved"));
  d.writes = {{"STAMPEDON", "date and time", "now, first thing on every run"},
              {"STAMPNAME", "text", "STAMP_NAME as given, after a document item list"}};
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = {
      ExecuteError("AutoStamp", kFrontErrors + "; " + kUnknownVariable +
                                    " (STAMPEDON, STAMPNAME). Annotations already stored stay"),
      PrivateError("AutoStamp", "ProcessDocument", "an item id that is no number (13)"),
      PrivateError("AutoStamp", "ApplyAnnotation",
                   kUnknownParameter +
                       " (LEFT, TOP, WIDTH, HEIGHT, PAGE_NUMBER, STAMP_NAME); a LEFT, TOP, WIDTH "
                       "or HEIGHT that is no number (13) or Null (94); errors storing the "
                       "annotation"),
  };
  return d;
}

ClassDescription Signature() {
  ClassDescription d;
  d.name = "Signature";
  d.family = "Document operations";
  d.summary =
      "Unless the task variable SIGN equals False, signs every document of a document item list "
      "with an annotation whose \"User Id\" is the task's ResourceID, and records who signed and "
      "when. Initialize audits signature_request for the documents.";
  d.parameters = RectangleParameters("signature");
  d.reads = {{"SIGN", "Boolean",
              "when it equals False (False, 0, Empty, or text that reads as 0 or as the word "
              "False in any case, blanks around it allowed) the step does nothing at all; True, "
              "any other number and Null sign; text that is neither a number nor the word True "
              "or False raises 13",
              true}};
  d.writes = {{"SIGNEDON", "date and time", "now, before and again after signing"},
              {"SIGNEDBY", "text", "the task's ResourceName, after a document item list"}};
  d.initialize =
      "audits signature_request (empty comment, audit user the initiator) for every document; "
      "for other kinds nothing is audited";
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = {
      {"Signature: IActivityRuntime_Initialize Sub (", "errors of the audit"},
      ExecuteError("Signature", kFrontErrors + "; " + kUnknownVariable +
                                    " (SIGN, SIGNEDON, "
                                    "SIGNEDBY)"),
      PrivateError("Signature", "ProcessDocument", "an item id that is no number (13)"),
      PrivateError("Signature", "ApplyAnnotation",
                   kUnknownParameter +
                       " (LEFT, TOP, WIDTH, HEIGHT, PAGE_NUMBER); a rectangle value that is no "
                       "number (13) or Null (94); errors storing the annotation"),
      PrivateError("Signature", "Auditevent", "errors finding the item list for the audit"),
      PrivateError("Signature", "AuditDocumentEvent",
                   "errors storing audit records or reading \"Major Version\" and \"Minor "
                   "Version\""),
  };
  return d;
}

ClassDescription Publish() {
  ClassDescription d;
  d.name = "Publish";
  d.family = "Document operations";
  d.summary =
      "Publishes every document of a document item list whose id is negative (type code -2), "
      "as a major or a minor version. Other documents, stack items and record series are left "
      "alone; the document is not fetched first.";
  d.parameters = {TaskParameter(
      "PUBLISH_AS_MAJOR_VERSION", "Boolean", false, "True (a major version)", kBooleanValues,
      "True publishes a major version (VersionType 0), False a minor version (VersionType 1). "
      "Read for every document published.",
      true)};
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  d.errors = {
      ExecuteError("Publish", kFrontErrors),
      PrivateError("Publish", "ProcessDocument",
                   "a PUBLISH_AS_MAJOR_VERSION that does not convert to Boolean (13); errors of "
                   "PublishDocument. Documents already published stay published"),
  };
  return d;
}

ClassDescription ShareEntity() {
  ClassDescription d;
  d.name = "ShareEntity";
  d.family = "Document operations";
  d.summary =
      "Grants an access entry (\"Ace\", type 45) on every item to every user and group of "
      "SHARED_WITH, with the modify and delete rights the parameters give; on request also on "
      "the documents filed in each stack.";
  d.parameters = {
      TaskParameter("SHARED_WITH", "XML text", true, "",
                    "<resource> elements with <id> and <type>; type dms.user (any case) is a "
                    "user (18), every other type a group (31); the id -2 is the initiator",
                    "Who receives the grants, in document order; no de-duplication, no "
                    "expansion of groups or roles. Empty grants nothing.",
                    "<resources><resource><id>21</id><type>dms.user</type></resource>"
                    "</resources>"),
      TaskParameter("ALLOW_MODIFY", "Boolean", true, "", "passed as given",
                    "The access entry's \"Allow Modify\" field.", true),
      TaskParameter("ALLOW_DELETE", "Boolean", true, "", "passed as given",
                    "The access entry's \"Allow Delete\" field.", false),
      ChildInherits("are shared"),
  };
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  const std::string per_item =
      kUnknownParameter +
      " (SHARED_WITH, ALLOW_MODIFY, ALLOW_DELETE, CHILD_INHERITS for stacks); a resource without "
      "<id> or <type> (91); an id or an initiator id that is no number (13); a CHILD_INHERITS "
      "that does not convert to Boolean (13); errors of AddAce. Grants already made stay";
  d.errors = {ExecuteError("ShareEntity", kFrontErrors),
              PrivateError("ShareEntity", "ProcessDocument", per_item),
              PrivateError("ShareEntity", "ProcessStack", per_item),
              PrivateError("ShareEntity", "ProcessRecordSeries", per_item)};
  return d;
}

ClassDescription ApplySecurityLabel() {
  ClassDescription d;
  d.name = "ApplySecurityLabel";
  d.family = "Document operations";
  d.summary =
      "Looks the security label LABEL_NAME up and applies it to every item (and, on request, "
      "to the documents filed in each stack); an unknown label labels nothing and is no error.";
  d.parameters = {
      TaskParameter("LABEL_NAME", "text", true, "", "the name of a security label",
                    "The label to apply, looked up once per run; also written to LABELNAME.",
                    "Confidential"),
      ChildInherits("are labelled"),
  };
  d.writes = {{"LABELNAME", "text", "LABEL_NAME as given, at the end of every run"},
              {"LABELAPPLIED", "Boolean",
               "True when the label was found and the items walked; False without a "
               "connection, list element or label, or for an unknown entitytype"}};
  d.initialize = kDefaultInitialize;
  d.execute_results = kDone;
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"DmsService"};
  const std::string per_item =
      kUnknownParameter +
      " (LABEL_NAME, CHILD_INHERITS for stacks); a CHILD_INHERITS that does not convert to "
      "Boolean (13); errors of ApplyLabel. LABELNAME and LABELAPPLIED are then not written";
  d.errors = {ExecuteError("ApplySecurityLabel",
                           kFrontErrors + "; " + kUnknownVariable + " (LABELNAME, LABELAPPLIED)"),
              PrivateError("ApplySecurityLabel", "ProcessDocument", per_item),
              PrivateError("ApplySecurityLabel", "ProcessRecordSeries", per_item),
              PrivateError("ApplySecurityLabel", "ProcessStack", per_item)};
  return d;
}

}  // namespace

ClassDescription DescribeDocumentClass(std::string_view name) {
  if (name == "AutoStamp") return AutoStamp();
  if (name == "Publish") return Publish();
  if (name == "Signature") return Signature();
  if (name == "ShareEntity") return ShareEntity();
  if (name == "ApplySecurityLabel") return ApplySecurityLabel();
  throw std::invalid_argument("no document class " + std::string(name));
}

}  // namespace corvane::design
