#include "notify/notify_activity.h"

#include <optional>

#include "framework/com_object.h"
#include "framework/host_access.h"
#include "framework/item_list.h"
#include "notify/sender_list.h"
#include "rules/variant_rules.h"
#include "shared/resources.h"
#include "shared/template_variables.h"
#include "templates/format_engine.h"
#include "templates/render_budget.h"

namespace corvane {
namespace {

constexpr std::string_view kOwner = "Notify";

// Values that hold expressions themselves are rendered by further passes; a
// text whose braces form no expression would never settle, so passes stop when
// one changes nothing, and at this bound.
constexpr int kMaxRenderPasses = 100;

bool IsTemplate(std::string_view text) { return text.find("{{") != std::string_view::npos; }

// Renders one pass of `text_template` for one recipient; a template without a
// complete expression comes back unchanged.
std::string FormatTemplate(const std::string& text_template, pelmark::IActivityServices* services,
                           pelmark::ITask* task,
                           pelmark::ComPtr<pelmark::IProcessInstance>& instance,
                           const CResource& recipient) {
  return Reported({kPrivate, kOwner, ":FormatTemplate Ln ", kQuiet}, [&](Line& at) {
    at(1);
    // Reading the text is work of its own, whatever the pass makes of it.
    RenderBudget::Charge(text_template.size());
    CFormatParser parser;
    std::optional<FormatExpressions> expressions = parser.Parse(text_template);
    if (!expressions) return text_template;
    at(2);
    for (CFormatExpression& expression : *expressions) {
      FillExpressionVariables(
          services, kOwner, task, instance, expression, [&](const std::string& upper_name) {
            return GetVariableValue(services, upper_name, task, instance, recipient);
          });
    }
    at(3);
    return parser.ToString(text_template, *expressions);
  });
}

class NotifyActivity final : public Activity {
 public:
  using Activity::Activity;

 private:
  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    at(1);
    pelmark::ComPtr<pelmark::IProcessInstance> instance = ProcessInstanceOf(services, task);
    at(2);
    const std::string list = Trim(ToText(TaskParameter(task, "SENDER_LIST")));
    std::unique_ptr<CResources> pool = GetSenderList(services, instance.get(), list);
    at(3);
    pelmark::ComPtr<pelmark::INotificationService> notification =
        ServiceAs<pelmark::INotificationService>(services, "NotificationService");
    if (!notification) return pelmark::kResultDone;
    at(4);
    pelmark::ComPtr<pelmark::IConfigurationService> configuration =
        ServiceAs<pelmark::IConfigurationService>(services, "ConfigurationService");
    const std::string body = ToText(TaskParameter(task, "MESSAGE_BODY"));
    // Every pass for every recipient counts against one rendering budget.
    RenderBudget rendering;

    for (const std::shared_ptr<CResource>& member : *pool) {
      at(5);
      pelmark::ComPtr<pelmark::INotificationMessage> message = notification->CreateMessage();
      at(6);
      std::string text = body;
      for (int pass = 0; pass < kMaxRenderPasses && IsTemplate(text); ++pass) {
        std::string rendered = FormatTemplate(text, services, task, instance, *member);
        if (rendered == text) break;
        text = std::move(rendered);
      }
      at(7);
      SetCommonProperties(Must(message), text, task, configuration.get());
      at(8);
      if (std::optional<std::string> items = ItemListText(instance.get()))
        message->AddAttachment("text/xml", "", *items);
      at(9);
      AddRecipient(message.get(), *member);
      at(10);
      const int32_t id = notification->PostMessage(message.get());
      notification->DeliverMessage(id);
    }

    at(11);
    if (TaskParameterExists(task, "MODE") &&
        LCase(ToText(TaskParameter(task, "MODE"))) == "email") {
      at(12);
      pelmark::ComPtr<pelmark::INotificationMessage> message = notification->CreateMessage();
      SetCommonProperties(Must(message), body, task, configuration.get());
      at(13);
      for (const std::shared_ptr<CResource>& member : *pool)
        if (!member->ResourceEmailID().empty()) AddRecipient(message.get(), *member);
      at(14);
      notification->SendEmail(message.get());
    }
    at(15);
    return pelmark::kResultDone;
  }

  // Body, subject, sender, codes and date, in the order the notification
  // service has always received them. The sender settings are read for each
  // message.
  static void SetCommonProperties(pelmark::INotificationMessage* message, const std::string& body,
                                  pelmark::ITask* task,
                                  pelmark::IConfigurationService* configuration) {
    message->SetBody(body);
    message->SetSubject(ToText(TaskParameter(task, "SUBJECT")));
    message->SetSenderEmailID(
        Must(configuration)->GetSetting("General", "AdminEmailId", kDefaultAdminEmail));
    message->SetSenderID("0");
    message->SetSenderType("System");
    message->SetSenderName(configuration->GetSetting("General", "AdminName", "System"));
    message->SetMessageCode1(int32_t{0});
    message->SetCreatedOn(Now());
    message->SetMessageCode2(int32_t{1});
    message->SetMessageCode3(int32_t{0});
  }

  static void AddRecipient(pelmark::INotificationMessage* message, const CResource& member) {
    message->AddRecipient(member.ResourceID(), member.ResourceType(), member.ResourceName(),
                          member.ResourceEmailID());
  }
};

}  // namespace

Activity* NewNotifyActivity(const ClassInfo& info) { return new NotifyActivity(info); }

}  // namespace corvane
