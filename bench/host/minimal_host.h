// A minimal workflow host for running steps of the loaded module on many
// threads: every host and DMS call answers at once from memory, and the host
// keeps only what is needed to check the results (counts, the next id a walk
// must reach, the texts it was handed). Given a journal, it also writes one
// line per service call, so that two runs can be compared call by call.
//
// Threading: as the contract: one host per thread, its objects used on that
// thread only. Nothing here is shared between hosts.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pelmark/host_bases.h"

namespace corvane::host_bench {

using pelmark::ComPtr;
using pelmark::MakeHostObject;
using pelmark::Variant;

// Named values: the parameters and the variables of a task or a step.
using Values = std::vector<std::pair<std::string, Variant>>;

// A value as a journal line shows it.
inline std::string Text(const Variant& v) {
  switch (v.type()) {
    case pelmark::VarType::String:
      return "\"" + v.string_value() + "\"";
    case pelmark::VarType::Boolean:
      return v.bool_value() ? "True" : "False";
    case pelmark::VarType::Long:
      return std::to_string(v.long_value());
    case pelmark::VarType::Double:
      return std::to_string(v.double_value());
    case pelmark::VarType::Date:
      return "date " + std::to_string(v.date_value());
    default:
      return std::string(pelmark::VarTypeName(v.type()));
  }
}

// Where a host writes its journal lines; a null journal keeps none.
class Journal {
 public:
  explicit Journal(std::vector<std::string>* lines) : lines_(lines) {}
  bool on() const { return lines_ != nullptr; }
  void Add(std::string line) {
    if (lines_) lines_->push_back(std::move(line));
  }

 private:
  std::vector<std::string>* lines_;
};

// A strict host refuses a name it does not have, as a workflow engine does.
[[noreturn]] inline void NoSuchName(std::string_view name) {
  throw pelmark::Error(5, "MinimalHost", "no parameter or variable named " + std::string(name));
}

class Parameter final : public pelmark::ParameterBase {
 public:
  explicit Parameter(Variant value) : value_(std::move(value)) {}
  Variant Value() override { return value_; }
  bool IsNull() override { return value_.is_null(); }

 private:
  Variant value_;
};

class ParameterList final : public pelmark::ParametersBase {
 public:
  explicit ParameterList(const Values& values) {
    for (const auto& [name, value] : values)
      items_.emplace_back(name, MakeHostObject<Parameter>(value));
  }
  ComPtr<pelmark::IParameter> Item(std::string_view name) override {
    for (const auto& [n, p] : items_)
      if (n == name) return p;
    NoSuchName(name);
  }
  bool Exists(std::string_view name) override {
    for (const auto& [n, p] : items_)
      if (n == name) return true;
    return false;
  }

 private:
  std::vector<std::pair<std::string, ComPtr<pelmark::IParameter>>> items_;
};

// Variables write through to their list, which the checks read afterwards.
class VariableList final : public pelmark::VariablesBase {
 public:
  VariableList(Values values, std::string first_type, Journal journal)
      : values_(std::move(values)), first_type_(std::move(first_type)), journal_(journal) {}

  int32_t Count() override { return static_cast<int32_t>(values_.size()); }
  ComPtr<pelmark::IVariable> Item(const Variant& index_or_name) override {
    if (index_or_name.type() == pelmark::VarType::Long) {
      const int32_t i = index_or_name.long_value();
      if (i < 1 || i > Count()) NoSuchName(std::to_string(i));
      return MakeHostObject<Variable>(this, static_cast<size_t>(i - 1));
    }
    if (!index_or_name.is_string()) NoSuchName("(no name)");
    const std::string& name = index_or_name.string_value();
    for (size_t i = 0; i < values_.size(); ++i)
      if (values_[i].first == name) return MakeHostObject<Variable>(this, i);
    NoSuchName(name);
  }
  bool Exists(std::string_view name) override {
    for (const auto& [n, v] : values_)
      if (n == name) return true;
    return false;
  }
  const Variant& Get(std::string_view name) const {
    for (const auto& [n, v] : values_)
      if (n == name) return v;
    NoSuchName(name);
  }

 private:
  class Variable final : public pelmark::VariableBase {
   public:
    Variable(VariableList* list, size_t index) : list_(list), index_(index) { list_->AddRef(); }
    ~Variable() override { list_->Release(); }
    std::string TypeName() override { return index_ == 0 ? list_->first_type_ : "text"; }
    int32_t VariableType() override { return 0; }
    bool IsNull() override { return Value().is_null(); }
    Variant Value() override { return list_->values_[index_].second; }
    void SetValue(const Variant& value) override {
      auto& [name, held] = list_->values_[index_];
      if (list_->journal_.on()) list_->journal_.Add("write " + name + " = " + Text(value));
      held = value;
    }

   private:
    VariableList* list_;
    size_t index_;
  };

  Values values_;
  std::string first_type_;
  Journal journal_;
};

// A task: its parameters and variables, and who answered it.
struct TaskFacts {
  int32_t id = 1;
  Values parameters;
  Values variables;
  std::string resource_name = "Owner";
  int32_t status = 0;
  double date = 0;
};

class Task final : public pelmark::TaskBase {
 public:
  Task(TaskFacts facts, Journal journal)
      : facts_(std::move(facts)),
        parameters_(MakeHostObject<ParameterList>(facts_.parameters)),
        variables_(MakeHostObject<VariableList>(facts_.variables, "text", journal)) {}
  ComPtr<pelmark::IVariables> Variables() override { return variables_; }
  ComPtr<pelmark::IParameters> Parameters() override { return parameters_; }
  int32_t ActivityID() override { return 3; }
  int32_t TaskID() override { return facts_.id; }
  int32_t ProcessID() override { return 12; }
  int32_t TaskIndex() override { return facts_.id; }
  Variant ResourceID() override { return Variant(std::to_string(100 + facts_.id)); }
  Variant ResourceType() override { return Variant("dms.user"); }
  Variant ResourceName() override { return Variant(facts_.resource_name); }
  Variant Status() override { return Variant(facts_.status); }
  Variant TaskDate() override { return Variant::Date(facts_.date); }

  const Variant& Get(std::string_view name) const { return variables_->Get(name); }

 private:
  TaskFacts facts_;
  ComPtr<pelmark::IParameters> parameters_;
  ComPtr<VariableList> variables_;
};

class TaskList final : public pelmark::TasksBase {
 public:
  explicit TaskList(std::vector<ComPtr<Task>> tasks) : tasks_(std::move(tasks)) {}
  int32_t Count() override { return static_cast<int32_t>(tasks_.size()); }
  ComPtr<pelmark::ITask> Item(int32_t index) override {
    if (index < 1 || index > Count()) NoSuchName("task " + std::to_string(index));
    return tasks_[static_cast<size_t>(index - 1)];
  }

 private:
  std::vector<ComPtr<Task>> tasks_;
};

// An approval step with three requests, two approvals needed, answered by all.
class ApprovalStep final : public pelmark::ActivityBase {
 public:
  ApprovalStep(ComPtr<TaskList> tasks, const Values& parameters)
      : tasks_(std::move(tasks)), parameters_(MakeHostObject<ParameterList>(parameters)) {}
  ComPtr<pelmark::ITasks> Tasks() override { return tasks_; }
  ComPtr<pelmark::IParameters> Parameters() override { return parameters_; }
  int32_t ProcessID() override { return 12; }
  int32_t RequestCount() override { return 3; }
  int32_t MinResponses() override { return 0; }
  std::string MinApprovals() override { return "2"; }

 private:
  ComPtr<TaskList> tasks_;
  ComPtr<pelmark::IParameters> parameters_;
};

class Instance final : public pelmark::ProcessInstanceBase {
 public:
  Instance(std::string item_list, Journal journal)
      : variables_(MakeHostObject<VariableList>(Values{{"Items", Variant(std::move(item_list))}},
                                                "dms.object", journal)) {}
  ComPtr<pelmark::IVariables> Variables() override { return variables_; }
  Variant InitiatorID() override { return Variant("21"); }
  Variant InitiatorType() override { return Variant("dms.user"); }
  Variant InitiatorName() override { return Variant("Owen Park"); }
  Variant InitiatorComment() override { return Variant(""); }
  Variant ProcessName() override { return Variant("Contract review"); }

 private:
  ComPtr<pelmark::IVariables> variables_;
};

// --- The DMS --------------------------------------------------------------------

class Field final : public pelmark::FieldBase {
 public:
  Field(std::string name, Variant value, int32_t data_type)
      : name_(std::move(name)), value_(std::move(value)), data_type_(data_type) {}
  std::string Name() override { return name_; }
  const std::string& name() const { return name_; }
  Variant Value() override { return value_; }
  void SetValue(const Variant& value) override { value_ = value; }
  bool IsNullValue() override { return value_.is_null(); }
  void SetIsNullValue(bool is_null) override {
    if (is_null) value_ = Variant::Null();
  }
  int32_t DataType() override { return data_type_; }

 private:
  std::string name_;
  Variant value_;
  int32_t data_type_;
};

// Field names are ASCII: folded by hand, not through the C locale, so that a
// look-up costs what a DMS's would.
inline bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  const auto fold = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  for (size_t i = 0; i < a.size(); ++i)
    if (fold(a[i]) != fold(b[i])) return false;
  return true;
}

class FieldList final : public pelmark::FieldsBase {
 public:
  void Add(std::string name, Variant value, int32_t data_type) {
    fields_.push_back(MakeHostObject<Field>(std::move(name), std::move(value), data_type));
  }
  int32_t Count() override { return static_cast<int32_t>(fields_.size()); }
  // Field names are matched without case, as a DMS matches them.
  ComPtr<pelmark::IField> Item(std::string_view name) override {
    for (const ComPtr<Field>& f : fields_)
      if (SameName(f->name(), name)) return f;
    throw pelmark::Error(5, "MinimalDms", "no field named " + std::string(name));
  }
  ComPtr<pelmark::IField> ItemAt(int32_t index) override {
    if (index < 1 || index > Count()) throw pelmark::Error(9, "MinimalDms", "no such field");
    return fields_[static_cast<size_t>(index - 1)];
  }

 private:
  std::vector<ComPtr<Field>> fields_;
};

class Entity final : public pelmark::EntityBase {
 public:
  Entity(std::string entity_name, int32_t id, int32_t type_code)
      : name_(std::move(entity_name)), id_(id), type_code_(type_code) {}
  int32_t ID() override { return id_; }
  void SetID(int32_t id) override { id_ = id; }
  std::string EntityName() override { return name_; }
  void SetEntityName(std::string_view name) override { name_ = name; }
  int32_t TypeCode() override { return type_code_; }
  void SetTypeCode(int32_t code) override { type_code_ = code; }
  ComPtr<pelmark::IFields> Fields() override { return fields_; }
  FieldList& fields() { return *fields_; }

 private:
  std::string name_;
  int32_t id_;
  int32_t type_code_;
  ComPtr<FieldList> fields_ = MakeHostObject<FieldList>();
};

class EntityList final : public pelmark::EntityListBase {
 public:
  explicit EntityList(std::vector<ComPtr<Entity>> items) : items_(std::move(items)) {}
  int32_t Count() override { return static_cast<int32_t>(items_.size()); }
  ComPtr<pelmark::IEntity> Item(int32_t index) override {
    return items_.at(static_cast<size_t>(index - 1));
  }

 private:
  std::vector<ComPtr<Entity>> items_;
};

// What the DMS and the notification service were asked, for the checks. A walk
// must reach the items in list order, so each keeps the next id it expects.
struct Tally {
  int32_t vital = 0;    // MarkAsVital calls with the expected reference and reason
  int32_t fetched = 0;  // GetDocument calls of the expected document
  int32_t saved = 0;    // SaveDocument of the expected document with its new Title
  int32_t member_queries = 0;
  int32_t jobs_read = 0;
  std::vector<std::string> posted;  // the bodies posted and delivered, in order
  std::string wrong;                // the first call that was not as expected
  void Wrong(std::string what) {
    if (wrong.empty()) wrong = std::move(what);
  }
};

// The members of group 40: four users, each with a full name and an address.
inline constexpr int32_t kGroupId = 40;
inline constexpr int32_t kGroupMembers = 4;
inline std::string MemberName(int32_t i) { return "Member " + std::to_string(i); }

class Dms final : public pelmark::DmsServiceBase {
 public:
  Dms(Tally& tally, Journal journal, std::string reason, double job_start)
      : tally_(tally), journal_(journal), reason_(std::move(reason)), job_start_(job_start) {}

  void Connect(int32_t database_id, pelmark::IDmsSession*) override {
    journal_.Add("Connect " + std::to_string(database_id));
  }
  void Disconnect() override { journal_.Add("Disconnect"); }

  bool MarkAsVital(pelmark::IEntityRef* item, std::string_view reason) override {
    Note("MarkAsVital", item, reason);
    if (item->ID() != tally_.vital + 1 || item->TypeCode() != 2 ||
        item->EntityName() != "Document" || reason != reason_)
      tally_.Wrong("MarkAsVital of item " + std::to_string(item->ID()));
    ++tally_.vital;
    return true;
  }

  ComPtr<pelmark::IEntity> GetDocument(pelmark::IEntityRef* ref) override {
    Note("GetDocument", ref, "");
    const int32_t id = ref->ID();
    if (id != tally_.fetched + 1 || ref->TypeCode() != 2)
      tally_.Wrong("GetDocument of document " + std::to_string(id));
    ++tally_.fetched;
    auto doc = MakeHostObject<Entity>("Document", id, 2);
    doc->fields().Add("Title", Variant("Draft"), 200);
    doc->fields().Add("DocTypeCode", Variant(int32_t{2}), 12);
    return doc;
  }
  void SaveDocument(pelmark::IEntity* entity) override {
    const Variant title = entity->Fields()->Item("Title")->Value();
    if (journal_.on())
      journal_.Add("SaveDocument " + std::to_string(entity->ID()) + " Title " + Text(title));
    if (entity->ID() != tally_.saved + 1 || title != Variant("Reviewed"))
      tally_.Wrong("SaveDocument of document " + std::to_string(entity->ID()));
    ++tally_.saved;
  }

  ComPtr<pelmark::IEntityList> QueryRecords(pelmark::IQuery* query) override {
    const std::string xml = query->Xml();
    journal_.Add("QueryRecords " + xml);
    ++tally_.member_queries;
    if (xml.find("relatedentity=\"Group\"") == std::string::npos ||
        xml.find(">" + std::to_string(kGroupId) + "</condition>") == std::string::npos)
      tally_.Wrong("a member query that is not for group 40");
    std::vector<ComPtr<Entity>> users;
    for (int32_t i = 1; i <= kGroupMembers; ++i) {
      auto user = MakeHostObject<Entity>("User", 100 + i, 0);
      user->fields().Add("Full Name", Variant(MemberName(i)), 200);
      user->fields().Add("Name", Variant("m" + std::to_string(i)), 200);
      user->fields().Add("EmailID", Variant("m" + std::to_string(i) + "@example.org"), 200);
      users.push_back(std::move(user));
    }
    return MakeHostObject<EntityList>(std::move(users));
  }

  // Job 77 was scheduled earlier; its start time decides a Wait.
  ComPtr<pelmark::IEntity> GetJob(pelmark::IEntityRef* ref) override {
    Note("GetJob", ref, "");
    ++tally_.jobs_read;
    if (ref->ID() != 77) return {};
    auto job = MakeHostObject<Entity>("Job", 77, 61);
    job->fields().Add("Start Date", Variant::Date(job_start_), 7);
    return job;
  }

 private:
  void Note(std::string_view call, pelmark::IEntityRef* ref, std::string_view reason) {
    if (!journal_.on()) return;
    journal_.Add(std::string(call) + " " + ref->EntityName() + " " + std::to_string(ref->ID()) +
                 " " + std::to_string(ref->TypeCode()) + " " + std::string(reason));
  }

  Tally& tally_;
  Journal journal_;
  std::string reason_;
  double job_start_;
};

class Settings final : public pelmark::ConfigurationServiceBase {
 public:
  std::string GetSetting(std::string_view, std::string_view key,
                         std::string_view default_value) override {
    if (key == "AdminEmailId") return "workflow@example.org";
    if (key == "AdminName") return "Contract Workflow";
    return std::string(default_value);
  }
};

class Message final : public pelmark::NotificationMessageBase {
 public:
  explicit Message(Journal journal) : journal_(journal) {}
  void SetBody(const Variant& v) override { Set("Body", v); }
  void SetSubject(const Variant& v) override { Set("Subject", v); }
  void SetSenderEmailID(const Variant& v) override { Set("SenderEmailID", v); }
  void SetSenderID(const Variant& v) override { Set("SenderID", v); }
  void SetSenderType(const Variant& v) override { Set("SenderType", v); }
  void SetSenderName(const Variant& v) override { Set("SenderName", v); }
  void SetMessageCode1(const Variant& v) override { Set("MessageCode1", v); }
  void SetMessageCode2(const Variant& v) override { Set("MessageCode2", v); }
  void SetMessageCode3(const Variant& v) override { Set("MessageCode3", v); }
  void SetCreatedOn(const Variant& v) override { Set("CreatedOn", v); }
  void AddAttachment(const Variant& type, const Variant& name, const Variant& content) override {
    journal_.Add("AddAttachment " + Text(type) + " " + Text(name) + " of " +
                 std::to_string(content.is_string() ? content.string_value().size() : 0) +
                 " bytes");
  }
  void AddRecipient(const Variant& id, const Variant& type, const Variant& name,
                    const Variant& email) override {
    journal_.Add("AddRecipient " + Text(id) + " " + Text(type) + " " + Text(name) + " " +
                 Text(email));
    recipient = name.is_string() ? name.string_value() : "";
  }

  std::string body;
  std::string recipient;

 private:
  void Set(std::string_view property, const Variant& v) {
    if (property == "Body") body = v.is_string() ? v.string_value() : "";
    if (journal_.on()) journal_.Add("Set" + std::string(property) + " " + Text(v));
  }
  Journal journal_;
};

class Notifications final : public pelmark::NotificationServiceBase {
 public:
  Notifications(Tally& tally, Journal journal) : tally_(tally), journal_(journal) {}
  ComPtr<pelmark::INotificationMessage> CreateMessage() override {
    return MakeHostObject<Message>(journal_);
  }
  int32_t PostMessage(pelmark::INotificationMessage* message) override {
    auto* m = static_cast<Message*>(message);
    journal_.Add("PostMessage to " + m->recipient);
    tally_.posted.push_back(m->body);
    return static_cast<int32_t>(tally_.posted.size());
  }
  void DeliverMessage(int32_t id) override {
    journal_.Add("DeliverMessage " + std::to_string(id));
    if (id != static_cast<int32_t>(tally_.posted.size()))
      tally_.Wrong("a message delivered that was not the one just posted");
  }

 private:
  Tally& tally_;
  Journal journal_;
};

class Services final : public pelmark::ActivityServicesBase {
 public:
  Services(ComPtr<pelmark::IProcessInstance> instance, ComPtr<Dms> dms,
           ComPtr<Notifications> notifications)
      : instance_(std::move(instance)),
        dms_(std::move(dms)),
        notifications_(std::move(notifications)) {}
  ComPtr<pelmark::IProcessInstance> GetProcessInstance(int32_t) override { return instance_; }
  ComPtr<pelmark::IService> GetService(std::string_view name) override {
    if (name == "DmsService") return dms_;
    if (name == "ConfigurationService") return settings_;
    if (name == "NotificationService") return notifications_;
    return nullptr;
  }

 private:
  ComPtr<pelmark::IProcessInstance> instance_;
  ComPtr<Dms> dms_;
  ComPtr<Settings> settings_ = MakeHostObject<Settings>();
  ComPtr<Notifications> notifications_;
};

}  // namespace corvane::host_bench
