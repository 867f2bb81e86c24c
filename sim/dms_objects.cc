// The objects the DMS hands out: entities, their fields and field collections,
// entity lists, export results, notification messages, and the configuration
// and notification services. An entity object owns its copy of the data; the
// fields it gives out work on that copy.
#include <cmath>

#include "internal.h"

namespace sim::internal {
namespace {

template <class I>
class FieldObject : public ComObject<I> {
 public:
  FieldObject(std::shared_ptr<State> st, std::string iface, std::shared_ptr<Entity> entity,
              size_t index, const std::string& owner, std::initializer_list<pelmark::IID> iids)
      : ComObject<I>(std::move(st), std::move(iface),
                     owner + " field " + entity->fields[index].name, iids),
        entity_(std::move(entity)),
        index_(index) {}

  std::string Name() override {
    return this->Run("IField.Name", {}, [&] { return field().name; });
  }
  Variant Value() override {
    return this->Run("IField.Value", {}, [&] { return field().value; });
  }
  void SetValue(const Variant& value) override {
    this->Run("IField.SetValue", {{"value", JournalValue(value)}}, [&] {
      Field& f = field();
      f.value = JournalValue(value);
      if (f.kind == FieldKind::kLookup && value.type() == pelmark::VarType::Long)
        f.id = value.long_value();
      if (f.kind == FieldKind::kChoice && value.type() == pelmark::VarType::Long)
        f.key_value = value.long_value();
    });
  }
  bool IsNullValue() override {
    return this->Run("IField.IsNullValue", {}, [&] { return field().value.is_null(); });
  }
  void SetIsNullValue(bool is_null) override {
    this->Run("IField.SetIsNullValue", {{"is_null", Variant(is_null)}}, [&] {
      Field& f = field();
      if (is_null) {
        f.value = Variant::Null();
      } else if (f.value.is_null()) {
        f.value = f.kind == FieldKind::kLookup ? Variant(f.id) : Variant();
      }
    });
  }
  int32_t DataType() override {
    return this->Run("IField.DataType", {}, [&] { return field().data_type; });
  }

 protected:
  Field& field() const { return entity_->fields[index_]; }

 private:
  std::shared_ptr<Entity> entity_;
  size_t index_;
};

class PlainField final : public FieldObject<pelmark::IField> {
 public:
  PlainField(std::shared_ptr<State> st, std::shared_ptr<Entity> e, size_t i,
             const std::string& owner)
      : FieldObject(std::move(st), "IField", std::move(e), i, owner, {pelmark::IField::iid}) {}
};

class LookupField final : public FieldObject<pelmark::ILookupField> {
 public:
  LookupField(std::shared_ptr<State> st, std::shared_ptr<Entity> e, size_t i,
              const std::string& owner)
      : FieldObject(std::move(st), "ILookupField", std::move(e), i, owner,
                    {pelmark::IField::iid, pelmark::ILookupField::iid}) {}

  int32_t ID() override {
    return Run("ID", {}, [&] { return field().id; });
  }
  void SetID(int32_t id) override {
    Run("SetID", {{"id", Variant(id)}}, [&] {
      field().id = id;
      field().value = Variant(id);
    });
  }
  int32_t TypeCode() override {
    return Run("TypeCode", {}, [&] { return field().type_code; });
  }
  void SetTypeCode(int32_t code) override {
    Run("SetTypeCode", {{"code", Variant(code)}}, [&] { field().type_code = code; });
  }
  int32_t MajorVersion() override {
    return Run("MajorVersion", {}, [&] { return field().major_version; });
  }
  void SetMajorVersion(int32_t v) override {
    Run("SetMajorVersion", {{"value", Variant(v)}}, [&] { field().major_version = v; });
  }
  int32_t MinorVersion() override {
    return Run("MinorVersion", {}, [&] { return field().minor_version; });
  }
  void SetMinorVersion(int32_t v) override {
    Run("SetMinorVersion", {{"value", Variant(v)}}, [&] { field().minor_version = v; });
  }
  std::string DisplayValue() override {
    return Run("DisplayValue", {}, [&] { return field().display_value; });
  }
  void SetDisplayValue(std::string_view text) override {
    Run("SetDisplayValue", {{"text", Variant(text)}},
        [&] { field().display_value = std::string(text); });
  }
};

class ChoiceField final : public FieldObject<pelmark::IChoiceField> {
 public:
  ChoiceField(std::shared_ptr<State> st, std::shared_ptr<Entity> e, size_t i,
              const std::string& owner)
      : FieldObject(std::move(st), "IChoiceField", std::move(e), i, owner,
                    {pelmark::IField::iid, pelmark::IChoiceField::iid}) {}

  int32_t KeyValue() override {
    return Run("KeyValue", {}, [&] { return field().key_value; });
  }
  std::string DisplayText() override {
    return Run("DisplayText", {}, [&] { return field().display_text; });
  }
};

ComPtr<pelmark::IField> NewField(const std::shared_ptr<State>& st, const std::shared_ptr<Entity>& e,
                                 size_t index, const std::string& owner) {
  switch (e->fields[index].kind) {
    case FieldKind::kLookup:
      return ComPtr<pelmark::IField>(new LookupField(st, e, index, owner));
    case FieldKind::kChoice:
      return ComPtr<pelmark::IField>(new ChoiceField(st, e, index, owner));
    case FieldKind::kPlain:
      break;
  }
  return ComPtr<pelmark::IField>(new PlainField(st, e, index, owner));
}

class SimFields final : public ComObject<pelmark::IFields> {
 public:
  SimFields(std::shared_ptr<State> st, std::shared_ptr<Entity> entity, std::string owner)
      : ComObject(std::move(st), "IFields", owner + " fields", {pelmark::IFields::iid}),
        entity_(std::move(entity)),
        owner_(std::move(owner)) {}

  int32_t Count() override {
    return Run("Count", {}, [&] { return static_cast<int32_t>(entity_->fields.size()); });
  }
  ComPtr<pelmark::IField> Item(std::string_view name) override {
    return Run("Item", {{"name", Variant(name)}}, [&] {
      for (size_t i = 0; i < entity_->fields.size(); ++i) {
        if (EqualsNoCase(entity_->fields[i].name, name))
          return NewField(shared_state(), entity_, i, owner_);
      }
      ThrowDms(kErrUnknownName, owner_ + " has no field '" + std::string(name) + "'");
    });
  }
  ComPtr<pelmark::IField> ItemAt(int32_t index) override {
    return Run("ItemAt", {{"index", Variant(index)}}, [&] {
      if (index < 1 || index > static_cast<int32_t>(entity_->fields.size()))
        ThrowDms(kErrIndexOutOfRange, "Subscript out of range: " + owner_ + " has " +
                                          std::to_string(entity_->fields.size()) + " field(s)");
      return NewField(shared_state(), entity_, static_cast<size_t>(index) - 1, owner_);
    });
  }

 private:
  std::shared_ptr<Entity> entity_;
  std::string owner_;
};

class SimEntity final : public ComObject<pelmark::IEntity> {
 public:
  SimEntity(std::shared_ptr<State> st, std::shared_ptr<Entity> data, std::string target)
      : ComObject(std::move(st), "IEntity", target, {pelmark::IEntity::iid}),
        data_(std::move(data)) {}

  int32_t ID() override {
    return Run("ID", {}, [&] { return data_->id; });
  }
  void SetID(int32_t id) override {
    Run("SetID", {{"id", Variant(id)}}, [&] { data_->id = id; });
  }
  std::string EntityName() override {
    return Run("EntityName", {}, [&] { return data_->entity_name; });
  }
  void SetEntityName(std::string_view name) override {
    Run("SetEntityName", {{"name", Variant(name)}}, [&] { data_->entity_name = name; });
  }
  int32_t TypeCode() override {
    return Run("TypeCode", {}, [&] { return data_->type_code; });
  }
  void SetTypeCode(int32_t code) override {
    Run("SetTypeCode", {{"code", Variant(code)}}, [&] { data_->type_code = code; });
  }
  ComPtr<pelmark::IFields> Fields() override {
    return Run("Fields", {}, [&] {
      return ComPtr<pelmark::IFields>(new SimFields(shared_state(), data_, target()));
    });
  }

  const Entity& data() const { return *data_; }

 private:
  std::shared_ptr<Entity> data_;
};

class SimEntityList final : public ComObject<pelmark::IEntityList> {
 public:
  SimEntityList(std::shared_ptr<State> st, std::vector<Entity> entities, std::string target)
      : ComObject(std::move(st), "IEntityList", std::move(target), {pelmark::IEntityList::iid}) {
    for (Entity& e : entities) entities_.push_back(std::make_shared<Entity>(std::move(e)));
  }

  int32_t Count() override {
    return Run("Count", {}, [&] { return static_cast<int32_t>(entities_.size()); });
  }
  ComPtr<pelmark::IEntity> Item(int32_t index) override {
    return Run("Item", {{"index", Variant(index)}}, [&] {
      if (index < 1 || index > static_cast<int32_t>(entities_.size()))
        ThrowDms(kErrIndexOutOfRange, "Subscript out of range: the list has " +
                                          std::to_string(entities_.size()) + " entit(ies)");
      const auto& e = entities_[static_cast<size_t>(index) - 1];
      return MakeEntity(shared_state(), e, e->entity_name + " " + std::to_string(e->id));
    });
  }

 private:
  std::vector<std::shared_ptr<Entity>> entities_;
};

class SimExportResult final : public ComObject<pelmark::IExportResult> {
 public:
  SimExportResult(std::shared_ptr<State> st, std::string target)
      : ComObject(std::move(st), "IExportResult", std::move(target),
                  {pelmark::IExportResult::iid}) {}
};

class SimMessage final : public ComObject<pelmark::INotificationMessage> {
 public:
  SimMessage(std::shared_ptr<State> st, std::string target)
      : ComObject(std::move(st), "INotificationMessage", std::move(target),
                  {pelmark::INotificationMessage::iid}) {}

  void SetBody(const Variant& v) override { Set("Body", v); }
  void SetSubject(const Variant& v) override { Set("Subject", v); }
  void SetSenderEmailID(const Variant& v) override { Set("SenderEmailID", v); }
  void SetSenderID(const Variant& v) override { Set("SenderID", v); }
  void SetSenderType(const Variant& v) override { Set("SenderType", v); }
  void SetSenderName(const Variant& v) override { Set("SenderName", v); }
  void SetMessageCode1(const Variant& v) override { Set("MessageCode1", v); }
  void SetCreatedOn(const Variant& v) override { Set("CreatedOn", v); }
  void SetMessageCode2(const Variant& v) override { Set("MessageCode2", v); }
  void SetMessageCode3(const Variant& v) override { Set("MessageCode3", v); }
  void AddAttachment(const Variant& content_type, const Variant& name,
                     const Variant& content) override {
    MessageRecord::AttachmentData a{JournalValue(content_type), JournalValue(name),
                                    JournalValue(content)};
    Run("AddAttachment",
        {{"content_type", a.content_type}, {"name", a.name}, {"content", a.content}},
        [&] { data_.attachments.push_back(a); });
  }
  void AddRecipient(const Variant& id, const Variant& type, const Variant& name,
                    const Variant& email_id) override {
    MessageRecord::Recipient r{JournalValue(id), JournalValue(type), JournalValue(name),
                               JournalValue(email_id)};
    Run("AddRecipient",
        {{"id", r.id}, {"type", r.type}, {"name", r.name}, {"email_id", r.email_id}},
        [&] { data_.recipients.push_back(r); });
  }

  const MessageRecord& data() const { return data_; }

 private:
  void Set(const char* property, const Variant& v) {
    Variant value = JournalValue(v);
    Run(std::string("Set") + property, {{"value", value}}, [&] {
      data_.properties.push_back({property, value});
    });
  }
  MessageRecord data_;
};

class SimConfiguration final : public ComObject<pelmark::IConfigurationService> {
 public:
  explicit SimConfiguration(std::shared_ptr<State> st)
      : ComObject(std::move(st), "IConfigurationService", "ConfigurationService",
                  {pelmark::IService::iid, pelmark::IConfigurationService::iid}, 1) {}

  std::string GetSetting(std::string_view section, std::string_view key,
                         std::string_view default_value) override {
    return Run(
        "GetSetting",
        {{"section", Variant(section)}, {"key", Variant(key)}, {"default", Variant(default_value)}},
        [&] {
          auto it = state().settings.find({FoldCase(section), FoldCase(key)});
          return it == state().settings.end() ? std::string(default_value) : it->second;
        });
  }
};

class SimNotification final : public ComObject<pelmark::INotificationService> {
 public:
  explicit SimNotification(std::shared_ptr<State> st)
      : ComObject(std::move(st), "INotificationService", "NotificationService",
                  {pelmark::IService::iid, pelmark::INotificationService::iid}, 1) {}

  ComPtr<pelmark::INotificationMessage> CreateMessage() override {
    return Run("CreateMessage", {}, [&] {
      int32_t n = ++state().messages_created;
      return ComPtr<pelmark::INotificationMessage>(
          new SimMessage(shared_state(), "message " + std::to_string(n)));
    });
  }
  int32_t PostMessage(pelmark::INotificationMessage* message) override {
    return Run("PostMessage", {{"message", Variant(Describe(message))}},
               [&] { return Hand(message, "posted"); });
  }
  void DeliverMessage(int32_t message_id) override {
    Run("DeliverMessage", {{"message_id", Variant(message_id)}}, [&] {
      for (MessageRecord& m : state().messages) {
        if (m.delivery == "posted" && m.id == message_id) {
          m.delivered = true;
          return;
        }
      }
      ThrowDms(kErrNotFound, "No posted message " + std::to_string(message_id));
    });
  }
  void SendEmail(pelmark::INotificationMessage* message) override {
    Run("SendEmail", {{"message", Variant(Describe(message))}}, [&] { Hand(message, "email"); });
  }

 private:
  int32_t Hand(pelmark::INotificationMessage* message, const char* delivery) {
    const MessageRecord* data = MessageData(message);
    if (!data) ThrowDms(kErrBadArgument, "Not a message made by this notification service");
    MessageRecord record = *data;
    record.delivery = delivery;
    record.id = state().next_message_id++;
    state().messages.push_back(std::move(record));
    return state().messages.back().id;
  }
};

Entity Template(std::string name, int32_t type_code, std::vector<Field> fields) {
  return Entity{std::move(name), 0, type_code, std::move(fields)};
}

}  // namespace

ComPtr<pelmark::IEntity> MakeEntity(std::shared_ptr<State> state, std::shared_ptr<Entity> data,
                                    std::string target) {
  return ComPtr<pelmark::IEntity>(
      new SimEntity(std::move(state), std::move(data), std::move(target)));
}

ComPtr<pelmark::IEntity> MakeEntity(std::shared_ptr<State> state, Entity data, std::string target) {
  return MakeEntity(std::move(state), std::make_shared<Entity>(std::move(data)), std::move(target));
}

ComPtr<pelmark::IEntityList> MakeEntityList(std::shared_ptr<State> state,
                                            std::vector<Entity> entities, std::string target) {
  return ComPtr<pelmark::IEntityList>(
      new SimEntityList(std::move(state), std::move(entities), std::move(target)));
}

ComPtr<pelmark::IExportResult> MakeExportResult(std::shared_ptr<State> state, std::string target) {
  return ComPtr<pelmark::IExportResult>(new SimExportResult(std::move(state), std::move(target)));
}

ComPtr<pelmark::IConfigurationService> MakeConfigurationService(std::shared_ptr<State> state) {
  return ComPtr<pelmark::IConfigurationService>(new SimConfiguration(std::move(state)));
}

ComPtr<pelmark::INotificationService> MakeNotificationService(std::shared_ptr<State> state) {
  return ComPtr<pelmark::INotificationService>(new SimNotification(std::move(state)));
}

const Entity* EntityData(pelmark::IEntity* entity) {
  auto* sim_entity = dynamic_cast<SimEntity*>(entity);
  return sim_entity ? &sim_entity->data() : nullptr;
}

const MessageRecord* MessageData(pelmark::INotificationMessage* message) {
  auto* sim_message = dynamic_cast<SimMessage*>(message);
  return sim_message ? &sim_message->data() : nullptr;
}

std::vector<Entity> PresetTemplates() {
  using F = Field;
  return {
      Template("AuditRecord", kAuditRecordTypeCode,
               {F::NullLookup("Audit User"), F::Null("Event Result", kLong),
                F::Null("Event Group", kLong), F::Null("Event Code", kLong),
                F::Null("Comment", kLongText), F::NullLookup("Audit Entity")}),
      Template("Comment", kCommentTypeCode,
               {F::Null("Comment", kLongText), F::NullLookup("CommentedBy")}),
      Template(
          "Annotation", kAnnotationTypeCode,
          {F::Null("Type", kLong), F::Null("Top", kDouble), F::Null("Left", kDouble),
           F::Null("Right", kDouble), F::Null("Bottom", kDouble), F::Null("Color", kLong),
           F::Null("Border Width", kLong), F::Text("Unit", "px"), F::Null("Zorder", kLong),
           F::Null("Page No", kLong), F::Null("Stamp Name", kString), F::Null("User Id", kString)}),
      Template("Ace", kAceTypeCode,
               {F::Null("Allow Modify", kYesNo), F::Null("Allow Delete", kYesNo)}),
      Template("JobMetadata", kJobMetadataTypeCode,
               {F::Null("Display Name", kString), F::Null("Job Type Mask", kLong),
                F::Null("Job Id", kLong), F::Null("Dispature Id", kString),
                F::Null("Dispature Xml", kLongText)}),
      Template(
          "Job", kJobTypeCode,
          {F::Null("Job Type", kLong), F::Null("Status", kLong), F::Null("State", kLong),
           F::Null("Priority", kLong), F::Null("CreatorType", kLong), F::Null("DBGuid", kString),
           F::NullLookup("CreatorObject"), F::Null("Schedule", kLongText),
           F::NullLookup("JobMetadata"), F::Null("Start Date", kDate), F::Null("End Date", kDate),
           F::Null("Parameter Xml", kLongText), F::Null("Error Details", kLongText),
           F::Null("Failure Count", kLong)}),
  };
}

}  // namespace sim::internal
