// What Notify reads, renders, sends and raises, as data for Describe and Check.
#include "notify/notify_reference.h"

#include <pugixml.hpp>
#include <string>

#include "design/configuration_check.h"
#include "design/reference_parts.h"
#include "rules/nearest_name.h"
#include "rules/variant_parts.h"

namespace corvane::design {
namespace {

ClassDescription Notify() {
  ClassDescription d;
  d.name = "Notify";
  d.family = "Notification";
  d.summary =
      "Resolves SENDER_LIST into a pool of users (groups and roles expanded, each person once, "
      "in the order first reached) and posts and delivers to each a message whose body is "
      "MESSAGE_BODY rendered for that person; with MODE email, one more e-mail message with the "
      "body as written goes to every person that has an e-mail address.";
  d.parameters = {
      TaskParameter(
          "SENDER_LIST", "XML text", true, "",
          "<resource> elements, each with <id>, <type> (dms.user, dms.group or dms.role, any "
          "case) and <name>; <email> is used when there is no DmsService. The id -2 stands for "
          "the process initiator",
          "Who receives the message. Trimmed; empty gives nobody. Users are taken as listed "
          "(their e-mail from the DMS), groups and roles add their member users; other types "
          "are skipped.",
          "<resources><resource><id>21</id><type>dms.user</type><name>Ann Lee</name>"
          "<email>ann@example.com</email></resource></resources>"),
      TaskParameter("MESSAGE_BODY", "format template", true, "",
                    "text, optionally with format expressions; see Template variables",
                    "The message body, rendered for each person (re-rendered while the result "
                    "still holds \"{{\", at most 100 times). Not trimmed.",
                    "Dear {{\"\\0\", RESOURCENAME}}, please see {{\"\\0\", PROCESSNAME}}."),
      TaskParameter("SUBJECT", "text", true, "", "any text",
                    "The message subject, used as written: never rendered as a template. Read "
                    "for each message, so a run that sends none does not miss it.",
                    "Documents to read"),
      TaskParameter("MODE", "text", false, "no e-mail message",
                    "\"email\" (any case); any other value sends no e-mail",
                    "With \"email\", one more message, with the body as written (not rendered) "
                    "and no attachment, is handed to SendEmail for every pool member with an "
                    "e-mail address.",
                    "email"),
  };
  d.parameters.back().choices = {"email"};
  d.templates =
      "MESSAGE_BODY is a format template, rendered once for every person of the pool. Names "
      "are upper-cased and looked up below; any other name gives empty text. Unlike the "
      "approval and review steps there is no answer group: APPROVED, REVIEWED, COMMENTS, "
      "DETAILS, APPROVALDATE and REVIEWDATE give empty text, and the resource names are the "
      "recipient's, not the task's.";
  d.template_variables = {
      {"RESOURCENAME", "the recipient's name"},
      {"RESOURCEID", "the recipient's user id"},
      {"RESOURCETYPE", "the recipient's type (dms.user)"},
  };
  AppendTaskAndProcessVariables(d.template_variables, "");
  d.initialize = kDefaultInitialize;
  d.execute_results =
      "1 when the call completes (also without a NotificationService: then nothing is sent)";
  d.evaluate_results = kDefaultEvaluate;
  d.services = {"NotificationService", "ConfigurationService", "DmsService"};
  d.errors = {
      ExecuteError("Notify", kUnknownParameter +
                                 " (SENDER_LIST, MESSAGE_BODY, SUBJECT); without a "
                                 "ConfigurationService the first setting read (91); errors of "
                                 "the notification service. Messages already sent stay sent"),
      PrivateError("Notify", "GetSenderList",
                   "a resource without <id>, <type> or <name> (91), or without <email> when there "
                   "is no DmsService (91); an id that is no number (13)"),
      PrivateError("Notify", "AddGroupMembers", "errors of the member query"),
      PrivateError("Notify", "AddMemberInRole", "errors of the member query"),
      PrivateError("Notify", "FormatTemplate",
                   "a MESSAGE_BODY the template engine cannot parse or render (its CFormatParser "
                   "or CVariable location comes first)"),
      PrivateError("Notify", "SetObjectVariable",
                   "a dmsobject.link variable and an item without a typecode (91)"),
  };
  return d;
}

// SENDER_LIST entries the walk skips or fails on, and a link variable the items
// cannot give.
void CheckSenderListAndLinks(const ClassDescription&, const Configuration& c, Findings& out) {
  static const std::vector<std::string> kTypes = {"dms.user", "dms.group", "dms.role"};
  for (const TaskConfiguration& task : c.tasks) {
    auto add = [&](std::string severity, std::string kind, std::string name, std::string value,
                   std::string message, std::string suggestion) {
      out.Add({std::move(severity), "task", task.id, std::move(kind), std::move(name),
               std::move(value), std::move(message), std::move(suggestion)});
    };
    if (const NamedValue* list = FindValue(task.parameters, "SENDER_LIST");
        list && list->value.is_string()) {
      pugi::xml_document doc;
      if (!doc.load_string(list->text.c_str())) {
        add("error", "parameter", "SENDER_LIST", "",
            "SENDER_LIST is no well-formed XML: the step raises when it reads it",
            "<resources><resource><id>..</id><type>dms.user</type><name>..</name></resource>"
            "</resources>");
      } else {
        for (pugi::xpath_node r : doc.select_nodes("//resource")) {
          const std::string type = r.node().child_value("type");
          const std::string name = r.node().child_value("name");
          bool known = false;
          for (const std::string& t : kTypes) known = known || EqualsNoCase(t, type);
          if (!known)
            add("warning", "resource", "SENDER_LIST", type,
                "SENDER_LIST's resource " + (name.empty() ? std::string("without a name") : name) +
                    " has type \"" + type +
                    "\", which is none of dms.user, dms.group, dms.role: it is skipped and "
                    "nobody is reached through it",
                NearestName("dms." + type, kTypes, 3).empty()
                    ? NearestName(type, kTypes, 3)
                    : NearestName("dms." + type, kTypes, 3));
          for (const char* part : {"id", "type", "name"})
            if (!r.node().child(part))
              add("error", "resource", "SENDER_LIST", "",
                  std::string("SENDER_LIST has a resource without <") + part +
                      ">: the step raises 91 (Object variable or With block variable not set)",
                  std::string("add <") + part + ">");
        }
      }
    }
    const NamedValue* body = FindValue(task.parameters, "MESSAGE_BODY");
    if (!body || !body->value.is_string() || !c.item_list ||
        !TemplateNames(body->text, "dmsobject.link"))
      continue;
    pugi::xml_document items;
    if (!items.load_string(c.item_list->c_str())) continue;
    const pugi::xml_node header = items.select_node("//dmsobject").node();
    const std::string kind = header.attribute("entitytype").value();
    if (kind != "document" && kind != "stackitem" && kind != "recordseries") continue;
    for (pugi::xpath_node item : items.select_nodes(("//" + kind).c_str()))
      if (!item.node().attribute("typecode")) {
        add("error", "variable", "dmsobject.link", "",
            "MESSAGE_BODY names dmsobject.link, but item " +
                std::string(item.node().attribute("id").value()) +
                " of the item list has no typecode: the step raises 91 (Object variable or "
                "With block variable not set) when it renders the link",
            "give every item its typecode, or leave dmsobject.link out");
        break;
      }
  }
}

}  // namespace

ClassDescription DescribeNotifyClass(std::string_view name) {
  if (name == "Notify") {
    ClassDescription d = Notify();
    d.checks = &CheckSenderListAndLinks;
    return d;
  }
  throw std::invalid_argument("no notification class " + std::string(name));
}

}  // namespace corvane::design
