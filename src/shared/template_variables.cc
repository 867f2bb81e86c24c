#include "shared/template_variables.h"

#include "framework/com_object.h"
#include "framework/host_access.h"
#include "framework/item_list.h"
#include "framework/xml.h"
#include "pelmark/dms.h"
#include "rules/error_report.h"
#include "rules/variant_rules.h"

namespace corvane {
namespace {

constexpr std::string_view kTaskNames =
    "RESOURCENAME,RESOURCEID,RESOURCETYPE,TASKID,TASKINDEX,PROCESSID,ACTIVITYID";
constexpr std::string_view kProcessNames =
    "PROCESSNAME,INITIATORCOMMENT,INITIATORID,INITIATORNAME,INITIATORTYPE";
constexpr std::string_view kAnswerDateFormat = "ddd,mmm d yyyy h:mm AM/PM";

// Every occurrence of `from` replaced by `to`, left to right, exact case.
std::string ReplaceAll(std::string text, std::string_view from, std::string_view to) {
  size_t at = 0;
  while ((at = text.find(from, at)) != std::string::npos) {
    text.replace(at, from.size(), to);
    at += to.size();
  }
  return text;
}

// Group membership is a substring test on the group's list text, so a fragment
// of a name ("TASK") belongs to the group but matches none of its names.
bool InList(std::string_view list, std::string_view name) {
  return list.find(name) != std::string_view::npos;
}

std::string Decimal(int32_t n) { return std::to_string(n); }

std::string TaskProperty(pelmark::ITask* task, std::string_view name) {
  if (name == "RESOURCENAME") return ToText(task->ResourceName());
  if (name == "RESOURCEID") return ToText(task->ResourceID());
  if (name == "RESOURCETYPE") return ToText(task->ResourceType());
  if (name == "TASKID") return Decimal(task->TaskID());
  if (name == "TASKINDEX") return Decimal(task->TaskIndex());
  if (name == "PROCESSID") return Decimal(task->ProcessID());
  if (name == "ACTIVITYID") return Decimal(task->ActivityID());
  return {};
}

std::string ProcessProperty(pelmark::IProcessInstance* instance, std::string_view name) {
  if (name == "PROCESSNAME") return ToText(instance->ProcessName());
  if (name == "INITIATORCOMMENT") return ToText(instance->InitiatorComment());
  if (name == "INITIATORID") return ToText(instance->InitiatorID());
  if (name == "INITIATORNAME") return ToText(instance->InitiatorName());
  if (name == "INITIATORTYPE") return ToText(instance->InitiatorType());
  return {};
}

// The task and resource group and the process group, with the same substring
// membership test for both. `recipient`, when given, answers the resource names.
std::string TaskOrProcessValue(pelmark::IActivityServices* services, const std::string& name,
                               pelmark::ITask* task,
                               pelmark::ComPtr<pelmark::IProcessInstance>& instance,
                               const CResource* recipient) {
  if (InList(kTaskNames, name)) {
    if (recipient) {
      if (name == "RESOURCENAME") return recipient->ResourceName();
      if (name == "RESOURCEID") return recipient->ResourceID();
      if (name == "RESOURCETYPE") return recipient->ResourceType();
    }
    return TaskProperty(Must(task), name);
  }
  if (InList(kProcessNames, name)) {
    if (!instance) instance = ProcessInstanceOf(services, task);
    return ProcessProperty(Must(instance), name);
  }
  return {};
}

std::string LinkConfiguration(pelmark::IActivityServices* services, const std::string& kind) {
  pelmark::ComPtr<pelmark::IConfigurationService> configuration =
      ServiceAs<pelmark::IConfigurationService>(services, "ConfigurationService");
  if (!configuration) return {};
  return configuration->GetSetting("Links", kind, "");
}

// Fills repetition i of item variable `name` ("dmsobject.link") from `item`.
void FillItemVariable(CVariable& v, const std::string& name, int32_t i, const XmlNode& item,
                      const std::string& link_template, const std::string& dbid);

}  // namespace

int32_t SetObjectVariable(pelmark::IActivityServices* services, std::string_view owner,
                          std::string_view loop_object, pelmark::ITask* task,
                          pelmark::ComPtr<pelmark::IProcessInstance>& instance,
                          CFormatExpression& expression) {
  return Reported({kPrivate, owner, ":SetObjectVariable Ln ", kQuiet}, [&](Line& at) {
    at(1);
    if (!instance) instance = ProcessInstanceOf(services, task);
    at(2);
    pelmark::ComPtr<pelmark::IVariables> variables = Must(instance)->Variables();
    pelmark::ComPtr<pelmark::IVariable> variable =
        Must(variables)->Item(pelmark::Variant(loop_object));
    if (LCase(Must(variable)->TypeName()) != "dms.object" || variable->IsNull()) return 0;
    at(3);
    XmlDocument doc;
    if (!doc.LoadXml(ToText(variable->Value()))) return 0;
    XmlNode header = doc.SelectSingleNode("//dmsobject");
    if (header.is_nothing()) return 0;
    at(4);
    const std::string dbid = header.Attribute("dbid");
    const std::string kind = header.Attribute("entitytype");
    at(5);
    const std::vector<XmlNode> items = doc.SelectNodes(ItemElementSelector(kind));
    const int32_t count = static_cast<int32_t>(items.size());
    at(6);
    const std::string link_template = LinkConfiguration(services, kind);
    at(7);
    for (int32_t i = 1; i <= count; ++i) {
      const XmlNode& item = items[i - 1];
      for (CVariable& v : expression.Variables()) {
        const std::string name = LCase(v.Name());
        const auto needs = [&](std::string_view attributes) {
          return RaiseNote{"filling",
                           "",
                           "template variable " + name,
                           {},
                           "for item " + std::to_string(i) + " of the workflow's variable " +
                               std::string(loop_object) + ", which needs the item's " +
                               std::string(attributes)};
        };
        Noted(
            [&] {
              return needs(name == "dmsobject.link" ? "id and typecode attributes"
                           : name == "dmsobject.id" ? "id attribute"
                                                    : "name attribute");
            },
            [&] { FillItemVariable(v, name, i, item, link_template, dbid); });
      }
    }
    return count;
  });
}

namespace {

void FillItemVariable(CVariable& v, const std::string& name, int32_t i, const XmlNode& item,
                      const std::string& link_template, const std::string& dbid) {
  if (name == "dmsobject.link") {
    // Every marker is replaced with its attribute read, so an item without
    // a "typecode" fails even when the template has no "=$".
    std::string link = ReplaceAll(link_template, "=#", "=" + item.Attribute("id"));
    link = ReplaceAll(std::move(link), "=$", "=" + item.Attribute("typecode"));
    link = ReplaceAll(std::move(link), "=!", "=" + dbid);
    v.SetValue(i, std::move(link));
  } else if (name == "dmsobject.id") {
    v.SetValue(i, item.Attribute("id"));
  } else if (name == "dmsobject.name") {
    v.SetValue(i, item.Attribute("name"));
  }
}

}  // namespace

void FillExpressionVariables(pelmark::IActivityServices* services, std::string_view owner,
                             pelmark::ITask* task,
                             pelmark::ComPtr<pelmark::IProcessInstance>& instance,
                             CFormatExpression& expression, const VariableResolver& resolve) {
  if (!expression.Repeat()) {
    for (CVariable& v : expression.Variables()) v.SetValue(1, resolve(UCase(v.Name())));
    return;
  }
  if (!expression.LoopObject().empty()) {
    int32_t count =
        SetObjectVariable(services, owner, expression.LoopObject(), task, instance, expression);
    expression.SetLoopCount(count);
  }
  // Variables named after the loop object belong to SetObjectVariable; every
  // other variable holds the same text in each repetition.
  const std::string loop_pattern = LCase(expression.LoopObject()) + ".*";
  for (CVariable& v : expression.Variables()) {
    if (Like(LCase(v.Name()), loop_pattern)) continue;
    v.SetValue(1, resolve(UCase(v.Name())));
    v.RepeatFirstValue(expression.LoopCount());
  }
}

std::string GetVariableValue(pelmark::IActivityServices* services, const AnswerNames& answers,
                             const std::string& name, pelmark::ITask* task,
                             pelmark::ComPtr<pelmark::IProcessInstance>& instance) {
  std::string result;
  // A name the task or process cannot answer renders as empty text.
  Suppressed([&] {
    if (InList(answers.list, name)) {
      pelmark::Variant value = TaskVariable(task, name);
      if (value.is_null()) {
        result = "-";
      } else if (UCase(name) == answers.flag) {
        result = ToBoolean(value) ? "Yes" : "No";
      } else if (UCase(name) == answers.date) {
        result = FormatDate(ToDate(value), kAnswerDateFormat);
      } else {
        result = ToText(value);
      }
    } else {
      result = TaskOrProcessValue(services, name, task, instance, nullptr);
    }
  });
  return result;
}

std::string GetVariableValue(pelmark::IActivityServices* services, const std::string& name,
                             pelmark::ITask* task,
                             pelmark::ComPtr<pelmark::IProcessInstance>& instance,
                             const CResource& recipient) {
  std::string result;
  Suppressed([&] { result = TaskOrProcessValue(services, name, task, instance, &recipient); });
  return result;
}

}  // namespace corvane
