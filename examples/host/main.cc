// A workflow host of its own, built against the installed Corvane package: it
// finds classes by ProgID in a registry directory, loads the module, and runs
// three steps on plain in-memory data: MarkAsVital over three documents, Notify
// to one user, and an ApplySecurityLabel that fails because this host's DMS
// does not offer security labels, printing the error chain.
//
//   example_host [REGISTRY_DIR]     (default: the system registry directory)
#include <cstdio>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "corvane/loader.h"
#include "corvane/platform_override.h"
#include "corvane/version.h"
#include "pelmark/host_bases.h"

namespace {

using pelmark::ComPtr;
using pelmark::MakeHostObject;
using pelmark::Variant;

// Named values, shared by variables and parameters. Item takes a 1-based
// position or a name; a name the step does not have is an error, as in a real
// workflow engine.
using Values = std::vector<std::pair<std::string, Variant>>;

Values::iterator Find(Values& values, const Variant& index_or_name) {
  if (index_or_name.type() == pelmark::VarType::Long) {
    int32_t i = index_or_name.long_value();
    if (i >= 1 && i <= static_cast<int32_t>(values.size())) return values.begin() + (i - 1);
  } else if (index_or_name.type() == pelmark::VarType::String) {
    for (auto it = values.begin(); it != values.end(); ++it)
      if (it->first == index_or_name.string_value()) return it;
  }
  throw pelmark::Error(5, "ExampleHost", "no variable or parameter of that name or position");
}

class Variable final : public pelmark::VariableBase {
 public:
  Variable(std::shared_ptr<Values> values, size_t index) : values_(values), index_(index) {}
  std::string TypeName() override { return index_ == 0 ? "dms.object" : "text"; }
  bool IsNull() override { return Value().type() == pelmark::VarType::Null; }
  Variant Value() override { return (*values_)[index_].second; }
  void SetValue(const Variant& value) override {
    std::cout << "  task variable " << (*values_)[index_].first << " = " << Text(value) << "\n";
    (*values_)[index_].second = value;
  }

  static std::string Text(const Variant& v) {
    switch (v.type()) {
      case pelmark::VarType::String:
        return "\"" + v.string_value() + "\"";
      case pelmark::VarType::Boolean:
        return v.bool_value() ? "True" : "False";
      case pelmark::VarType::Long:
        return std::to_string(v.long_value());
      case pelmark::VarType::Date:
        return "date " + std::to_string(v.date_value());
      default:
        return "(" + std::string(pelmark::VarTypeName(v.type())) + ")";
    }
  }

 private:
  std::shared_ptr<Values> values_;
  size_t index_;
};

class VariableList final : public pelmark::VariablesBase {
 public:
  explicit VariableList(Values values) : values_(std::make_shared<Values>(std::move(values))) {}
  int32_t Count() override { return static_cast<int32_t>(values_->size()); }
  ComPtr<pelmark::IVariable> Item(const Variant& index_or_name) override {
    size_t index = Find(*values_, index_or_name) - values_->begin();
    return MakeHostObject<Variable>(values_, index);
  }
  bool Exists(std::string_view name) override {
    for (const auto& [n, v] : *values_)
      if (n == name) return true;
    return false;
  }

 private:
  std::shared_ptr<Values> values_;
};

class Parameter final : public pelmark::ParameterBase {
 public:
  explicit Parameter(Variant value) : value_(std::move(value)) {}
  Variant Value() override { return value_; }
  bool IsNull() override { return value_.type() == pelmark::VarType::Null; }

 private:
  Variant value_;
};

class ParameterList final : public pelmark::ParametersBase {
 public:
  explicit ParameterList(Values values) : values_(std::move(values)) {}
  ComPtr<pelmark::IParameter> Item(std::string_view name) override {
    return MakeHostObject<Parameter>(Find(values_, Variant(std::string(name)))->second);
  }
  bool Exists(std::string_view name) override {
    for (const auto& [n, v] : values_)
      if (n == name) return true;
    return false;
  }

 private:
  Values values_;
};

class Task final : public pelmark::TaskBase {
 public:
  Task(Values parameters, Values variables)
      : parameters_(MakeHostObject<ParameterList>(std::move(parameters))),
        variables_(MakeHostObject<VariableList>(std::move(variables))) {}
  ComPtr<pelmark::IVariables> Variables() override { return variables_; }
  ComPtr<pelmark::IParameters> Parameters() override { return parameters_; }
  int32_t ProcessID() override { return 12; }
  int32_t TaskID() override { return 5; }

 private:
  ComPtr<pelmark::IParameters> parameters_;
  ComPtr<pelmark::IVariables> variables_;
};

// The workflow instance: its first variable is the item list.
class Process final : public pelmark::ProcessInstanceBase {
 public:
  explicit Process(std::string item_list)
      : variables_(MakeHostObject<VariableList>(Values{{"Items", Variant(item_list)}})) {}
  ComPtr<pelmark::IVariables> Variables() override { return variables_; }
  Variant ProcessName() override { return Variant(std::string("Contract filing")); }
  Variant InitiatorID() override { return Variant(std::string("21")); }
  Variant InitiatorType() override { return Variant(std::string("dms.user")); }
  Variant InitiatorName() override { return Variant(std::string("Owen Park")); }

 private:
  ComPtr<pelmark::IVariables> variables_;
};

// The DMS of this host: it keeps records-management flags and knows one user.
// Everything else (security labels included) is left to DmsServiceBase.
class Dms final : public pelmark::DmsServiceBase {
 public:
  void Connect(int32_t database_id, pelmark::IDmsSession*) override {
    std::cout << "  DMS: connect to database " << database_id << "\n";
  }
  void Disconnect() override { std::cout << "  DMS: disconnect\n"; }
  bool MarkAsVital(pelmark::IEntityRef* item, std::string_view reason) override {
    std::cout << "  DMS: MarkAsVital " << item->EntityName() << " " << item->ID() << " (" << reason
              << ")\n";
    vital[item->ID()] = true;
    return true;
  }
  std::string GetUserEmail(int32_t user_id) override {
    return user_id == 18 ? "mira@example.org" : "";
  }

  std::map<int32_t, bool> vital;
};

class Settings final : public pelmark::ConfigurationServiceBase {
 public:
  std::string GetSetting(std::string_view section, std::string_view key,
                         std::string_view default_value) override {
    if (key == "AdminEmailId") return "workflow@example.org";
    if (key == "AdminName") return "Contract Workflow";
    return std::string(default_value);
  }
};

// A message is printed when it is posted or mailed.
class Message final : public pelmark::NotificationMessageBase {
 public:
  void SetBody(const Variant& v) override { body = Variable::Text(v); }
  void SetSubject(const Variant& v) override { subject = Variable::Text(v); }
  void SetSenderEmailID(const Variant&) override {}
  void SetSenderID(const Variant&) override {}
  void SetSenderType(const Variant&) override {}
  void SetSenderName(const Variant&) override {}
  void SetMessageCode1(const Variant&) override {}
  void SetMessageCode2(const Variant&) override {}
  void SetMessageCode3(const Variant&) override {}
  void SetCreatedOn(const Variant&) override {}
  void AddAttachment(const Variant&, const Variant&, const Variant&) override {}
  void AddRecipient(const Variant&, const Variant&, const Variant& name,
                    const Variant& email) override {
    recipients += Variable::Text(name) + " <" + Variable::Text(email) + "> ";
  }

  std::string body, subject, recipients;
};

class Notifications final : public pelmark::NotificationServiceBase {
 public:
  ComPtr<pelmark::INotificationMessage> CreateMessage() override {
    return MakeHostObject<Message>();
  }
  int32_t PostMessage(pelmark::INotificationMessage* message) override {
    auto* m = static_cast<Message*>(message);
    std::cout << "  posted to " << m->recipients << "subject " << m->subject << ": " << m->body
              << "\n";
    return ++posted;
  }
  void DeliverMessage(int32_t) override {}
  void SendEmail(pelmark::INotificationMessage*) override {}

  int32_t posted = 0;
};

class Services final : public pelmark::ActivityServicesBase {
 public:
  explicit Services(std::string item_list)
      : process_(MakeHostObject<Process>(std::move(item_list))) {}
  ComPtr<pelmark::IProcessInstance> GetProcessInstance(int32_t) override { return process_; }
  ComPtr<pelmark::IService> GetService(std::string_view name) override {
    if (name == "DmsService") return dms;
    if (name == "ConfigurationService") return settings;
    if (name == "NotificationService") return notifications;
    return nullptr;
  }

  ComPtr<Dms> dms = MakeHostObject<Dms>();
  ComPtr<Settings> settings = MakeHostObject<Settings>();
  ComPtr<Notifications> notifications = MakeHostObject<Notifications>();

 private:
  ComPtr<pelmark::IProcessInstance> process_;
};

// The module's own services, but errors go to this host's output, not syslog.
class HostPlatform final : public corvane::PlatformOverride {
 public:
  using PlatformOverride::PlatformOverride;
  void LogError(std::string_view description) override {
    std::cout << "  event log: " << description << "\n";
  }
};

// Creates the class a ProgID names, loading (and checking) its module once.
class Classes {
 public:
  explicit Classes(std::string registry) : registry_(std::move(registry)) {}

  ComPtr<pelmark::IActivityRuntime> Create(std::string_view prog_id) {
    corvane::RegisteredClass entry = registry_.Resolve(prog_id);
    if (!module_) {
      module_ = std::make_unique<corvane::ComponentModule>(entry.module_path);
      platform_ = std::make_unique<HostPlatform>(module_->SystemPlatform());
      module_->SetPlatform(platform_.get());
      std::cout << "loaded " << entry.module_path << " (Corvane " << module_->ProductVersion()
                << ")\n";
    }
    return module_->Create<pelmark::IActivityRuntime>(entry.clsid);
  }

 private:
  corvane::Registry registry_;
  std::unique_ptr<corvane::ComponentModule> module_;
  std::unique_ptr<HostPlatform> platform_;
};

// Runs one step's Execute with its own task; prints the result or the error.
int32_t RunStep(Classes& classes, std::string_view prog_id, Services& services, Values parameters,
                Values variables) {
  std::cout << prog_id << ":\n";
  ComPtr<pelmark::IActivityRuntime> step = classes.Create(prog_id);
  ComPtr<pelmark::ITask> task = MakeHostObject<Task>(std::move(parameters), std::move(variables));
  pelmark::ITask* current = task.get();  // Execute may hand back another task
  int32_t result = 0;
  try {
    result = step->Execute(&services, current);
    std::cout << "  result " << result << "\n";
  } catch (const pelmark::Error& e) {
    std::string chain = e.source();
    for (size_t at; (at = chain.find("\r\n")) != std::string::npos;) chain.replace(at, 2, "\n    ");
    std::cout << "  failed with error " << e.number() << ": " << e.description()
              << "\n  source chain:\n    " << chain << "\n";
    result = -1;
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string registry = argc > 1 ? argv[1] : "/var/lib/pelmark/registry";
  std::cout << "example host built with Corvane headers " << CORVANE_VERSION << "\n";
  try {
    Classes classes(registry);
    const std::string items =
        "<dmsobject entitytype=\"document\" dbid=\"7\" dbpath=\"\" "
        "dbtype=\"0\"><documents><document id=\"17\"/>"
        "<document id=\"18\"/><document id=\"19\"/></documents></dmsobject>";
    ComPtr<Services> host = MakeHostObject<Services>(items);
    Services& services = *host;

    int32_t vital = RunStep(classes, "Corvane.MarkAsVital", services,
                            {{"REASON", Variant(std::string("Contracts are vital records"))}},
                            {{"MARKEDASRECORDON", Variant::Null()}, {"ISVITAL", Variant(false)}});

    const std::string one_user =
        "<resources><resource><id>18</id><type>dms.user</type><name>Mira Khan</name>"
        "</resource></resources>";
    int32_t notify = RunStep(classes, "Corvane.Notify", services,
                             {{"SENDER_LIST", Variant(one_user)},
                              {"SUBJECT", Variant(std::string("Contracts filed"))},
                              {"MESSAGE_BODY", Variant(std::string("Three contracts are vital."))},
                              {"MODE", Variant(std::string("Post"))}},
                             {});

    int32_t label = RunStep(
        classes, "Corvane.ApplySecurityLabel", services,
        {{"LABEL_NAME", Variant(std::string("Confidential"))}, {"CHILD_INHERITS", Variant(false)}},
        {{"LABELNAME", Variant::Null()}, {"LABELAPPLIED", Variant(false)}});

    const bool as_expected = vital == pelmark::kResultDone && services.dms->vital.size() == 3 &&
                             notify == pelmark::kResultDone &&
                             services.notifications->posted == 1 && label == -1;
    std::cout << (as_expected ? "all three steps behaved as expected\n"
                              : "a step did not behave as expected\n");
    return as_expected ? 0 : 1;
  } catch (const pelmark::Error& e) {
    std::cerr << "example host: " << e.description() << " (error " << e.number() << ")\n";
    return 2;
  }
}
