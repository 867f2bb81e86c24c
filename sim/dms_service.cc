// IDmsService over the simulator's store. Items live in databases; a call that
// addresses an item needs a connection (unless Options says otherwise) and sees
// only the connected database. Jobs, users, groups, roles, event codes and
// interval codes are global and need no connection.
#include <algorithm>

#include "internal.h"
#include "queries.h"

namespace sim::internal {
namespace {

std::string RefText(const Ref& r) {
  return r.entity_name + " " + std::to_string(r.id) + " (type code " + std::to_string(r.type_code) +
         ")";
}

std::optional<int32_t> LongOf(const Variant& v) {
  if (v.type() == pelmark::VarType::Long) return v.long_value();
  if (v.type() == pelmark::VarType::Double) return static_cast<int32_t>(v.double_value());
  return std::nullopt;
}

// A document answers to 2 or its own DocTypeCode, negated for a negative id.
bool DocumentMatches(const Item& item, const Ref& ref) {
  if (item.entity.entity_name != "Document" || item.entity.id != ref.id) return false;
  int32_t sign = ref.id < 0 ? -1 : 1;
  int32_t doc_type = item.entity.type_code;
  if (const Field* f = item.entity.Find("DocTypeCode"))
    if (auto v = LongOf(f->value)) doc_type = *v;
  return ref.type_code == sign * kDocumentTypeCode || ref.type_code == sign * doc_type;
}

class SimDms final : public ComObject<pelmark::IDmsService> {
 public:
  explicit SimDms(std::shared_ptr<State> st)
      : ComObject(std::move(st), "IDmsService", "DmsService",
                  {pelmark::IService::iid, pelmark::IDmsService::iid}, 1) {}

  // --- Connection ---------------------------------------------------------
  void Connect(int32_t database_id, pelmark::IDmsSession* session) override {
    Run("Connect", {{"database", Variant(database_id)}, {"session", Variant(Describe(session))}},
        [&] {
          if (!session) ThrowDms(kErrBadArgument, "Connect needs a session");
          if (!state().HasDatabase(database_id))
            ThrowDms(kErrNotFound, "No database " + std::to_string(database_id));
          state().connected = database_id;
        });
  }
  void Disconnect() override {
    Run("Disconnect", {}, [&] { state().connected.reset(); });
  }

  // --- Read ---------------------------------------------------------------
  ComPtr<pelmark::IEntity> GetDocument(pelmark::IEntityRef* ref) override {
    return Get("GetDocument", "Document", ref);
  }
  ComPtr<pelmark::IEntity> GetDataEntity(pelmark::IEntityRef* ref) override {
    return Get("GetDataEntity", "DataEntity", ref);
  }
  ComPtr<pelmark::IEntity> GetRecordSeries(pelmark::IEntityRef* ref) override {
    return Get("GetRecordSeries", "RecordSeries", ref);
  }
  ComPtr<pelmark::IEntity> GetRetentionLabel(pelmark::IEntityRef* ref) override {
    return Get("GetRetentionLabel", "RetentionLabel", ref);
  }
  ComPtr<pelmark::IEntity> GetJob(pelmark::IEntityRef* ref) override {
    std::vector<Arg> args;
    AppendRef(args, "item", ref);
    return Run("GetJob", std::move(args), [&]() -> ComPtr<pelmark::IEntity> {
      Ref r = RequireRef(ref, "Job");
      for (const Entity& job : state().jobs) {
        if (job.id == r.id && job.type_code == r.type_code)
          return MakeEntity(shared_state(), job, "Job " + std::to_string(job.id));
      }
      return nullptr;
    });
  }
  ComPtr<pelmark::IEntity> GetSecurityLabel(std::string_view label_name) override {
    return Run("GetSecurityLabel", {{"name", Variant(label_name)}},
               [&]() -> ComPtr<pelmark::IEntity> {
                 RequireConnection();
                 const Item* found = nullptr;
                 state().items.ForEachOfKind("SecurityLabel", [&](const Item& item) {
                   if (found || !InScope(item)) return;
                   const Field* name = item.entity.Find("Name");
                   if (name && name->value.is_string() &&
                       EqualsNoCase(name->value.string_value(), label_name))
                     found = &item;
                 });
                 if (!found) return nullptr;
                 return MakeEntity(shared_state(), found->entity,
                                   "SecurityLabel " + std::to_string(found->entity.id));
               });
  }
  ComPtr<pelmark::IEntityList> QueryEntities(pelmark::IQuery* query) override {
    std::string text = query ? query->Xml() : std::string();
    return Run("QueryEntities", {{"query", query ? Variant(text) : Nothing()}}, [&] {
      RequireConnection();
      if (!query) ThrowDms(kErrBadArgument, "QueryEntities needs a query");
      StackDocumentsQuery q = ParseStackDocumentsQuery(text);
      std::vector<Entity> found;
      state().items.ForEachOfKind("Document", [&](const Item& item) {
        if (!InScope(item)) return;
        const Field* id = item.entity.Find("ParentDataEntityObjectID");
        const Field* tc = item.entity.Find("ParentDataEntityTypeCode");
        if (id && tc && LongOf(id->value) == q.stack_id && LongOf(tc->value) == q.stack_type_code)
          found.push_back(DocumentCopy(item));
      });
      return MakeEntityList(shared_state(), std::move(found),
                            "documents of stack " + std::to_string(q.stack_id));
    });
  }
  ComPtr<pelmark::IEntityList> QueryRecords(pelmark::IQuery* query) override {
    std::string text = query ? query->Xml() : std::string();
    bool flag = query ? query->QueryFlag() : false;
    return Run("QueryRecords",
               {{"query", query ? Variant(text) : Nothing()}, {"flag", Variant(flag)}}, [&] {
                 if (!query) ThrowDms(kErrBadArgument, "QueryRecords needs a query");
                 if (!flag) ThrowDms(kErrBadQuery, "QueryRecords needs QueryFlag True");
                 return Members(ParseMemberQuery(text));
               });
  }
  std::string GetUserEmail(int32_t user_id) override {
    return Run("GetUserEmail", {{"user_id", Variant(user_id)}}, [&] {
      for (const UserSpec& u : state().users) {
        if (u.id == user_id) return u.email.is_string() ? u.email.string_value() : std::string();
      }
      ThrowDms(kErrNotFound, "No user " + std::to_string(user_id));
    });
  }
  int32_t GetIntervalTypeCode(std::string_view interval_text) override {
    return Run("GetIntervalTypeCode", {{"text", Variant(interval_text)}}, [&] {
      auto it = state().interval_codes.find(FoldCase(interval_text));
      return it == state().interval_codes.end() ? 0 : it->second;
    });
  }

  // --- Write --------------------------------------------------------------
  ComPtr<pelmark::IEntity> NewEntity(std::string_view entity_name) override {
    return Run("NewEntity", {{"name", Variant(entity_name)}}, [&] {
      auto it = state().templates.find(FoldCase(entity_name));
      if (it == state().templates.end())
        ThrowDms(kErrBadArgument, "Unknown entity name '" + std::string(entity_name) + "'");
      Entity e = it->second;
      e.id = 0;
      return MakeEntity(shared_state(), std::move(e), "new " + it->second.entity_name);
    });
  }
  int32_t AddEntity(pelmark::IEntity* entity) override {
    return Run("AddEntity", EntityArgs(entity), [&] {
      Entity copy = RequireEntity(entity);
      copy.id = state().next_id++;
      state().stored_records.push_back({state().connected, copy, state().current_call});
      if (copy.entity_name == "Job") state().jobs.push_back(copy);
      return copy.id;
    });
  }
  void SaveDocument(pelmark::IEntity* entity) override { Save("SaveDocument", "Document", entity); }
  void SaveDataEntity(pelmark::IEntity* entity) override {
    Save("SaveDataEntity", "DataEntity", entity);
  }
  void SaveRecordSeries(pelmark::IEntity* entity) override {
    Save("SaveRecordSeries", "RecordSeries", entity);
  }
  void AddComment(pelmark::IEntityRef* item, pelmark::IEntity* comment) override {
    Attach("AddComment", item, comment, state().comments, nullptr);
  }
  void AddAnnotation(pelmark::IEntityRef* document, pelmark::IEntity* annotation) override {
    Attach("AddAnnotation", document, annotation, state().annotations, "Document");
  }
  void AddAce(pelmark::IEntityRef* target, pelmark::IEntityRef* principal,
              pelmark::IEntity* ace) override {
    std::vector<Arg> args;
    AppendRef(args, "item", target);
    AppendRef(args, "principal", principal);
    for (Arg& a : EntityArgs(ace, "ace")) args.push_back(std::move(a));
    Run("AddAce", std::move(args), [&] {
      RequireConnection();
      Ref item = RequireItemRef(target, nullptr);
      if (!principal) ThrowDms(kErrBadArgument, "AddAce needs a principal");
      state().aces.push_back({item, ReadRef(principal), RequireEntity(ace), state().current_call});
    });
  }
  void ApplyLabel(pelmark::IEntityRef* item, pelmark::IEntityRef* label) override {
    std::vector<Arg> args;
    AppendRef(args, "item", item);
    AppendRef(args, "label", label);
    Run("ApplyLabel", std::move(args), [&] {
      RequireConnection();
      Ref r = RequireItemRef(item, nullptr);
      if (!label) ThrowDms(kErrBadArgument, "ApplyLabel needs a label");
      Ref l = ReadRef(label);
      Item* label_item = Resolve(l);
      if (!label_item || l.entity_name != "SecurityLabel")
        ThrowDms(kErrNotFound, "No security label " + RefText(l));
      std::string name = label_item->entity.Find("Name")->value.string_value();
      Resolve(r)->labels.push_back(name);
      state().labels.push_back({r, l, name});
    });
  }
  void PublishDocument(pelmark::IEntityRef* document) override {
    std::vector<Arg> args;
    AppendRef(args, "item", document, true);
    Run("PublishDocument", std::move(args), [&] {
      RequireConnection();
      Ref r = RequireItemRef(document, "Document");
      Entity& e = Resolve(r)->entity;
      auto bump = [&](const char* name, bool major) {
        Field* f = e.Find(name);
        if (!f) return;
        auto v = LongOf(f->value);
        if (r.version_type == 0) {
          f->value = Variant(major ? v.value_or(0) + 1 : 0);
        } else if (!major) {
          f->value = Variant(v.value_or(0) + 1);
        }
      };
      for (const char* name : {"MajorVersion", "Major Version"}) bump(name, true);
      for (const char* name : {"MinorVersion", "Minor Version"}) bump(name, false);
      state().item_operations.push_back({"PublishDocument", r, "", std::nullopt});
    });
  }

  // --- Records management -------------------------------------------------
  bool MarkAsArchive(pelmark::IEntityRef* item, std::string_view reason) override {
    return SetFlag("MarkAsArchive", item, reason, "Archived", true);
  }
  bool MarkAsRecord(pelmark::IEntityRef* item, std::string_view reason) override {
    return SetFlag("MarkAsRecord", item, reason, "Record", true);
  }
  bool MarkAsVital(pelmark::IEntityRef* item, std::string_view reason) override {
    return SetFlag("MarkAsVital", item, reason, "Vital", true);
  }
  bool PutOnHold(pelmark::IEntityRef* item, std::string_view reason) override {
    return SetFlag("PutOnHold", item, reason, "OnHold", true);
  }
  bool ResetOnHold(pelmark::IEntityRef* item, std::string_view reason) override {
    return SetFlag("ResetOnHold", item, reason, "OnHold", false);
  }
  bool UnmarkAsVital(pelmark::IEntityRef* item, std::string_view reason) override {
    return SetFlag("UnmarkAsVital", item, reason, "Vital", false);
  }
  bool UnmarkAsRecord(pelmark::IEntityRef* item, std::string_view reason) override {
    return SetFlag("UnmarkAsRecord", item, reason, "Record", false);
  }

  // --- Removal and export -------------------------------------------------
  bool DeleteDocument(pelmark::IEntityRef* item, std::string_view reason) override {
    return Delete("DeleteDocument", "Document", item, std::nullopt, reason);
  }
  bool DeleteDataEntity(pelmark::IEntityRef* item, bool delete_child_items,
                        std::string_view reason) override {
    return Delete("DeleteDataEntity", "DataEntity", item, delete_child_items, reason);
  }
  bool DeleteRecordSeries(pelmark::IEntityRef* item, bool delete_child_items,
                          std::string_view reason) override {
    return Delete("DeleteRecordSeries", "RecordSeries", item, delete_child_items, reason);
  }
  ComPtr<pelmark::IExportResult> ExportDocument(pelmark::IEntityRef* item,
                                                std::string_view folder) override {
    std::vector<Arg> args;
    AppendRef(args, "item", item);
    args.push_back({"folder", Variant(folder)});
    return Run("ExportDocument", std::move(args), [&] {
      RequireConnection();
      std::optional<Ref> r;
      if (item) r = RequireItemRef(item, nullptr);
      state().exports.push_back({r, std::string(folder)});
      int32_t n = ++state().exports_made;
      return MakeExportResult(shared_state(), "export " + std::to_string(n));
    });
  }

  int32_t GetEventCode(int32_t type_code, std::string_view event_name) override {
    return Run("GetEventCode", {{"type_code", Variant(type_code)}, {"event", Variant(event_name)}},
               [&] {
                 auto it = state().event_codes.find({type_code, FoldCase(event_name)});
                 return it == state().event_codes.end() ? 0 : it->second;
               });
  }

 private:
  void RequireConnection() const {
    if (state().options.require_connection && !state().connected)
      ThrowDms(kErrNotConnected, "Not connected to a database");
  }
  bool InScope(const Item& item) const {
    return !state().connected || item.database == *state().connected;
  }

  Item* Resolve(const Ref& r) {
    return state().items.FindFirst(r.entity_name, r.id, [&](const Item& item) {
      if (!InScope(item)) return false;
      if (r.entity_name == "Document") return DocumentMatches(item, r);
      return item.entity.type_code == r.type_code;
    });
  }

  // Reads a reference the library passed; `kind` (when given) is the entity name
  // the operation needs.
  static Ref RequireRef(pelmark::IEntityRef* ref, const char* kind) {
    if (!ref) ThrowDms(kErrBadArgument, "Object required: no entity reference");
    Ref r = ReadRef(ref);
    if (kind && r.entity_name != kind)
      ThrowDms(kErrBadArgument,
               "Expected a reference to a " + std::string(kind) + ", not " + RefText(r));
    return r;
  }

  // A reference to an item that exists in the connected database.
  Ref RequireItemRef(pelmark::IEntityRef* ref, const char* kind) {
    Ref r = RequireRef(ref, kind);
    if (!Resolve(r)) ThrowDms(kErrNotFound, "No " + RefText(r) + InDatabase());
    return r;
  }

  std::string InDatabase() const {
    return state().connected ? " in database " + std::to_string(*state().connected) : "";
  }

  static Entity DocumentCopy(const Item& item) {
    Entity e = item.entity;
    if (e.id < 0) e.type_code = -e.type_code;
    return e;
  }

  ComPtr<pelmark::IEntity> Get(const char* op, const char* kind, pelmark::IEntityRef* ref) {
    std::vector<Arg> args;
    AppendRef(args, "item", ref);
    return Run(op, std::move(args), [&]() -> ComPtr<pelmark::IEntity> {
      RequireConnection();
      Ref r = RequireRef(ref, kind);
      Item* item = Resolve(r);
      if (!item) return nullptr;
      Entity copy = r.entity_name == "Document" ? DocumentCopy(*item) : item->entity;
      return MakeEntity(shared_state(), std::move(copy),
                        std::string(kind) + " " + std::to_string(item->entity.id));
    });
  }

  static std::vector<Arg> EntityArgs(pelmark::IEntity* entity, const char* prefix = "entity") {
    std::string p = prefix;
    const Entity* data = EntityData(entity);
    if (!data) return {{p, entity ? Variant("[foreign object]") : Nothing()}};
    return {{p + ".EntityName", Variant(data->entity_name)},
            {p + ".ID", Variant(data->id)},
            {p + ".TypeCode", Variant(data->type_code)}};
  }

  static Entity RequireEntity(pelmark::IEntity* entity) {
    if (!entity) ThrowDms(kErrBadArgument, "Object required: no entity");
    const Entity* data = EntityData(entity);
    if (!data) ThrowDms(kErrBadArgument, "Not an entity made by this DMS");
    return *data;
  }

  void Save(const char* op, const char* kind, pelmark::IEntity* entity) {
    Run(op, EntityArgs(entity), [&] {
      RequireConnection();
      Entity data = RequireEntity(entity);
      if (data.entity_name != kind)
        ThrowDms(kErrBadArgument, std::string(op) + " cannot store a " + data.entity_name);
      Ref r{data.entity_name, data.id, data.type_code, 0};
      Item* item = Resolve(r);
      if (!item) ThrowDms(kErrNotFound, "No " + RefText(r) + InDatabase());
      item->entity.fields = data.fields;
      state().saves.push_back({op, item->entity, state().current_call});
    });
  }

  void Attach(const char* op, pelmark::IEntityRef* ref, pelmark::IEntity* entity,
              std::vector<Attachment>& into, const char* kind) {
    std::vector<Arg> args;
    AppendRef(args, "item", ref);
    for (Arg& a : EntityArgs(entity)) args.push_back(std::move(a));
    Run(op, std::move(args), [&] {
      RequireConnection();
      Ref r = RequireItemRef(ref, kind);
      into.push_back({r, RequireEntity(entity), state().current_call});
    });
  }

  bool SetFlag(const char* op, pelmark::IEntityRef* ref, std::string_view reason, const char* flag,
               bool value) {
    std::vector<Arg> args;
    AppendRef(args, "item", ref);
    args.push_back({"reason", Variant(reason)});
    return Run(op, std::move(args), [&] {
      RequireConnection();
      Ref r = RequireItemRef(ref, nullptr);
      Resolve(r)->flags[flag] = value;
      state().item_operations.push_back({op, r, std::string(reason), std::nullopt});
      return true;
    });
  }

  bool Delete(const char* op, const char* kind, pelmark::IEntityRef* ref,
              std::optional<bool> children, std::string_view reason) {
    std::vector<Arg> args;
    AppendRef(args, "item", ref);
    if (children) args.push_back({"delete_child_items", Variant(*children)});
    args.push_back({"reason", Variant(reason)});
    return Run(op, std::move(args), [&] {
      RequireConnection();
      Ref r = RequireItemRef(ref, kind);
      Item* target = Resolve(r);
      int32_t database = target->database;
      int32_t id = target->entity.id;
      int32_t type_code = target->entity.type_code;
      state().items.Erase(target);
      if (children.value_or(false) && r.entity_name == "DataEntity") {
        // The documents filed in the stack go with it.
        state().items.EraseIf("Document", [&](const Item& item) {
          if (item.database != database) return false;
          const Field* pid = item.entity.Find("ParentDataEntityObjectID");
          const Field* ptc = item.entity.Find("ParentDataEntityTypeCode");
          return pid && ptc && LongOf(pid->value) == id && LongOf(ptc->value) == type_code;
        });
      }
      state().item_operations.push_back({op, r, std::string(reason), children});
      return true;
    });
  }

  ComPtr<pelmark::IEntityList> Members(const MemberQuery& q) {
    const auto& owners = q.kind == MemberQuery::Kind::kGroup ? state().groups : state().roles;
    std::vector<Entity> found;
    std::vector<int32_t> seen;
    for (const GroupSpec& g : owners) {
      if (g.id != q.id) continue;
      for (int32_t member : g.members) {
        if (std::find(seen.begin(), seen.end(), member) != seen.end()) continue;
        for (const UserSpec& u : state().users) {
          if (u.id != member || u.user_type != 0) continue;
          seen.push_back(member);
          found.push_back(Entity{
              "User",
              u.id,
              kUserTypeCode,
              {Field::Long("UserID", u.id), Field::Of("Name", kString, u.name),
               Field::Of("Full Name", kString, u.full_name), Field::Of("EmailID", kString, u.email),
               Field::Long("UserType", u.user_type)}});
        }
      }
    }
    std::string kind = q.kind == MemberQuery::Kind::kGroup ? "group " : "role ";
    return MakeEntityList(shared_state(), std::move(found),
                          "members of " + kind + std::to_string(q.id));
  }
};

}  // namespace

ComPtr<pelmark::IDmsService> MakeDmsService(std::shared_ptr<State> state) {
  return ComPtr<pelmark::IDmsService>(new SimDms(std::move(state)));
}

}  // namespace sim::internal
