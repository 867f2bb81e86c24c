#include "simulator.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "internal.h"
#include "rules/case_mapping.h"

namespace sim {

using internal::State;

// ---------------------------------------------------------------------------
// Text helpers.

namespace {

std::string Quote(std::string_view s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out.push_back(c);
        }
    }
  }
  return out + "\"";
}

std::string DoubleText(double d) {
  char buf[64];
  auto [p, ec] = std::to_chars(buf, buf + sizeof buf, d);
  std::string s(buf, p);
  if (s.find_first_of(".eEn") == std::string::npos) s += ".0";
  return s;
}

bool IsNumeric(const Variant& v) {
  switch (v.type()) {
    case pelmark::VarType::Long:
    case pelmark::VarType::Double:
    case pelmark::VarType::Date:
    case pelmark::VarType::Boolean:
      return true;
    default:
      return false;
  }
}

double NumberOf(const Variant& v) {
  switch (v.type()) {
    case pelmark::VarType::Long:
      return v.long_value();
    case pelmark::VarType::Double:
      return v.double_value();
    case pelmark::VarType::Date:
      return v.date_value();
    case pelmark::VarType::Boolean:
      return v.bool_value() ? -1 : 0;
    default:
      return 0;
  }
}

bool ValuesMatch(const Variant& a, const Variant& b) {
  if (IsNumeric(a) && IsNumeric(b)) return NumberOf(a) == NumberOf(b);
  return a == b;
}

}  // namespace

std::string FoldCase(std::string_view text) { return corvane::ToLower(text); }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  return corvane::EqualsIgnoringCase(a, b);
}

std::string FormatVariant(const Variant& v) {
  switch (v.type()) {
    case pelmark::VarType::Empty:
      return "Empty";
    case pelmark::VarType::Null:
      return "Null";
    case pelmark::VarType::Long:
      return std::to_string(v.long_value());
    case pelmark::VarType::Double:
      return DoubleText(v.double_value());
    case pelmark::VarType::Date: {
      std::string s = DoubleText(v.date_value());
      if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) s.resize(s.size() - 2);
      return "#" + s + "#";
    }
    case pelmark::VarType::String:
      return Quote(v.string_value());
    case pelmark::VarType::Boolean:
      return v.bool_value() ? "True" : "False";
    case pelmark::VarType::Object:
      return v.object_value() ? "Object" : "Nothing";
  }
  return "?";
}

// ---------------------------------------------------------------------------
// Data helpers.

Field Field::Of(std::string name, int32_t data_type, Variant value) {
  Field f;
  f.name = std::move(name);
  f.data_type = data_type;
  f.value = std::move(value);
  return f;
}
Field Field::Text(std::string name, std::string value, int32_t data_type) {
  return Of(std::move(name), data_type, Variant(std::move(value)));
}
Field Field::Long(std::string name, int32_t value, int32_t data_type) {
  return Of(std::move(name), data_type, Variant(value));
}
Field Field::Double(std::string name, double value) { return Of(std::move(name), kDouble, value); }
Field Field::Date(std::string name, double days) {
  return Of(std::move(name), kDate, Variant::Date(days));
}
Field Field::YesNo(std::string name, bool value) { return Of(std::move(name), kYesNo, value); }
Field Field::Null(std::string name, int32_t data_type) {
  return Of(std::move(name), data_type, Variant::Null());
}
Field Field::Choice(std::string name, int32_t key, std::string display_text) {
  Field f = Of(std::move(name), kKeyed, Variant(key));
  f.kind = FieldKind::kChoice;
  f.key_value = key;
  f.display_text = std::move(display_text);
  return f;
}
Field Field::NullChoice(std::string name, std::string display_text) {
  Field f = Choice(std::move(name), 0, std::move(display_text));
  f.value = Variant::Null();
  return f;
}
Field Field::Lookup(std::string name, int32_t id, int32_t type_code, std::string display_value) {
  Field f = Of(std::move(name), kLong, Variant(id));
  f.kind = FieldKind::kLookup;
  f.id = id;
  f.type_code = type_code;
  f.display_value = std::move(display_value);
  return f;
}
Field Field::NullLookup(std::string name) {
  Field f = Of(std::move(name), kLong, Variant::Null());
  f.kind = FieldKind::kLookup;
  return f;
}

const Field* Entity::Find(std::string_view name) const {
  for (const Field& f : fields)
    if (EqualsNoCase(f.name, name)) return &f;
  return nullptr;
}
Field* Entity::Find(std::string_view name) {
  return const_cast<Field*>(static_cast<const Entity*>(this)->Find(name));
}
Variant Entity::Value(std::string_view name) const {
  const Field* f = Find(name);
  if (!f)
    internal::ThrowDms(kErrUnknownName, entity_name + " has no field '" + std::string(name) + "'");
  return f->value;
}

VariableSpec ItemListVariable(std::string xml, std::string name) {
  VariableSpec v;
  v.name = std::move(name);
  v.value = Variant(std::move(xml));
  v.type_name = "dms.object";
  v.variable_type = 1;
  return v;
}

Variant Call::ArgValue(std::string_view name) const {
  for (const auto& a : args)
    if (a.name == name) return a.value;
  return {};
}

std::string Call::ToString() const {
  std::string s = op;
  if (!target.empty()) s += " [" + target + "]";
  s += "(";
  for (size_t i = 0; i < args.size(); ++i) {
    if (i) s += ", ";
    s += args[i].name + "=" + FormatVariant(args[i].value);
  }
  s += ")";
  if (!result_object.empty()) {
    s += " -> " + result_object;
  } else if (!result.is_empty()) {
    s += " -> " + FormatVariant(result);
  }
  if (error_number != 0) {
    s += " !! error " + std::to_string(error_number);
    if (!error_source.empty()) {
      std::string source = error_source;
      for (size_t at; (at = source.find("\r\n")) != std::string::npos;)
        source.replace(at, 2, " | ");
      s += " (" + source + ")";
    }
    s += ": " + error_description;
  }
  return s;
}

Variant MessageRecord::Property(std::string_view name) const {
  Variant v;
  for (const auto& p : properties)
    if (p.name == name) v = p.value;
  return v;
}

// ---------------------------------------------------------------------------
// Internal state and object base.

namespace internal {

Variant Nothing() { return Variant(pelmark::ComPtr<pelmark::IUnknown>()); }

std::string Describe(pelmark::IUnknown* object) {
  if (!object) return "Nothing";
  if (auto* base = dynamic_cast<ObjectBase*>(object)) {
    return base->target().empty() ? base->iface() : base->iface() + " " + base->target();
  }
  return "object";
}

Variant JournalValue(const Variant& v) {
  if (!v.is_object()) return v;
  if (!v.object_value()) return Nothing();
  return Variant("[" + Describe(v.object_value().get()) + "]");
}

void AppendRef(std::vector<Arg>& args, std::string_view prefix, pelmark::IEntityRef* ref,
               bool with_version) {
  std::string p(prefix);
  if (!ref) {
    args.push_back({p, Nothing()});
    return;
  }
  args.push_back({p + ".EntityName", Variant(ref->EntityName())});
  args.push_back({p + ".ID", Variant(ref->ID())});
  args.push_back({p + ".TypeCode", Variant(ref->TypeCode())});
  if (with_version) args.push_back({p + ".VersionType", Variant(ref->VersionType())});
}

Ref ReadRef(pelmark::IEntityRef* ref) {
  return Ref{ref->EntityName(), ref->ID(), ref->TypeCode(), ref->VersionType()};
}

void ThrowHost(int32_t number, std::string description) {
  throw pelmark::Error(number, std::string(kHostSource), std::move(description));
}
void ThrowDms(int32_t number, std::string description) {
  throw pelmark::Error(number, std::string(kDmsSource), std::move(description));
}

bool State::HasDatabase(int32_t id) const {
  return std::find(databases.begin(), databases.end(), id) != databases.end();
}

void State::EnsureDatabase(int32_t id) {
  if (!HasDatabase(id)) databases.push_back(id);
}

std::shared_ptr<TaskState> State::FindTask(int32_t task_id) const {
  for (const auto& t : tasks)
    if (t->spec.task_id == task_id) return t;
  return nullptr;
}

std::vector<std::shared_ptr<TaskState>> State::StepTasks() const {
  std::vector<std::shared_ptr<TaskState>> out;
  for (const auto& t : tasks)
    if (t->spec.in_step) out.push_back(t);
  return out;
}

bool State::CheckFaults(std::string_view op, std::string_view target, const std::vector<Arg>& args,
                        bool answers_object) {
  for (FaultState& fs : faults) {
    const Fault& f = fs.fault;
    if (f.op != op) continue;
    if (f.answer_nothing && !answers_object) continue;
    if (!f.target.empty() && f.target != target) continue;
    bool all = true;
    for (const Arg& w : f.when) {
      bool found = false;
      for (const Arg& a : args) {
        if (a.name == w.name) {
          found = ValuesMatch(a.value, w.value);
          break;
        }
      }
      if (!found) {
        all = false;
        break;
      }
    }
    if (!all) continue;
    ++fs.matched;
    if (fs.matched <= f.skip) continue;
    if (f.times >= 0 && fs.failed >= f.times) continue;
    ++fs.failed;
    if (f.answer_nothing) return true;
    throw pelmark::Error(f.number, f.source, f.description);
  }
  return false;
}

void State::Shutdown() {
  services_object.reset();
  activity_object.reset();
  task_objects.clear();
  process_objects.clear();
  dms_object.reset();
  configuration_object.reset();
  notification_object.reset();
  // An object a step wrote into a variable holds this state through its own
  // reference; the records must let it go, or the two keep each other alive.
  auto drop_objects = [](Variant& v) {
    if (v.is_object()) v = Variant(ComPtr<pelmark::IUnknown>());
  };
  for (VariableWrite& w : variable_writes) drop_objects(w.value);
  auto drop_from = [&](const std::shared_ptr<VariableSet>& set) {
    if (set)
      for (VariableSpec& v : set->variables) drop_objects(v.value);
  };
  for (const auto& task : tasks) drop_from(task->variables);
  for (const auto& [id, process] : processes) drop_from(process->variables);
}

ObjectBase::ObjectBase(std::shared_ptr<State> state, std::string iface, std::string target,
                       int own_refs)
    : state_(std::move(state)),
      iface_(std::move(iface)),
      target_(std::move(target)),
      own_refs_(own_refs),
      serial_(state_->next_serial++) {
  state_->live[serial_] = this;
}

ObjectBase::~ObjectBase() { state_->live.erase(serial_); }

void ObjectBase::SetResult(size_t index, const Variant& v) {
  state_->journal.SetResult(index, JournalValue(v));
}

void ObjectBase::SetObjectResult(size_t index, pelmark::IUnknown* object) {
  state_->journal.SetResultObject(index, Describe(object));
}

}  // namespace internal

// ---------------------------------------------------------------------------
// Simulator.

namespace {

struct TemplateDefaults {
  std::map<std::string, Entity> templates;
  std::map<std::string, int32_t> interval_codes;
};

TemplateDefaults BuildTemplateDefaults() {
  TemplateDefaults defaults;
  for (Entity& e : internal::PresetTemplates())
    defaults.templates[FoldCase(e.entity_name)] = std::move(e);
  static const std::pair<const char*, int32_t> kIntervals[] = {
      {"year", 1},   {"years", 1},   {"yyyy", 1}, {"month", 2},  {"months", 2},  {"m", 2},
      {"week", 3},   {"weeks", 3},   {"ww", 3},   {"day", 4},    {"days", 4},    {"d", 4},
      {"hour", 5},   {"hours", 5},   {"h", 5},    {"minute", 6}, {"minutes", 6}, {"n", 6},
      {"second", 7}, {"seconds", 7}, {"s", 7}};
  for (const auto& [text, code] : kIntervals) defaults.interval_codes[text] = code;
  return defaults;
}

// Every simulator starts from the same presets; they are built once and copied,
// since fuzz targets and sweeps build a simulator per run.
void AddTemplateDefaults(State& st) {
  static const TemplateDefaults kDefaults = BuildTemplateDefaults();
  st.templates = kDefaults.templates;
  st.interval_codes = kDefaults.interval_codes;
}

template <class Spec>
void Upsert(std::vector<Spec>& list, Spec spec, const State& st) {
  for (Spec& existing : list) {
    if (st.NameEquals(existing.name, spec.name)) {
      existing = std::move(spec);
      return;
    }
  }
  list.push_back(std::move(spec));
}

Item& AddItem(State& st, int32_t database, Entity entity) {
  st.EnsureDatabase(database);
  return st.items.Add(Item{database, std::move(entity), {}, {}});
}

}  // namespace

Simulator::Simulator() : Simulator(Options{}) {}

Simulator::Simulator(Options options) : state_(std::make_shared<State>()) {
  state_->options = options;
  state_->activity_parameters->owner = "activity";
  AddTemplateDefaults(*state_);
}

Simulator::~Simulator() {
  if (state_) state_->Shutdown();
}

Simulator& Simulator::operator=(Simulator&& other) noexcept {
  if (this != &other) {
    if (state_) state_->Shutdown();
    state_ = std::move(other.state_);
  }
  return *this;
}

Options& Simulator::options() { return state_->options; }

void Simulator::SetProcess(ProcessSpec process) {
  auto vars = std::make_shared<internal::VariableSet>();
  vars->owner = "process " + std::to_string(process.id);
  vars->variables = std::move(process.variables);
  process.variables.clear();
  auto it = state_->processes.find(process.id);
  if (it != state_->processes.end()) {
    // Objects already handed out keep pointing at the same state.
    it->second->spec = std::move(process);
    *it->second->variables = std::move(*vars);
    return;
  }
  int32_t id = process.id;
  state_->processes[id] = std::make_shared<internal::ProcessState>(
      internal::ProcessState{std::move(process), std::move(vars)});
}

void Simulator::SetActivity(ActivitySpec activity) {
  state_->activity_parameters->parameters = std::move(activity.parameters);
  activity.parameters.clear();
  state_->activity = std::move(activity);
}

void Simulator::AddTask(TaskSpec task) {
  auto vars = std::make_shared<internal::VariableSet>();
  vars->owner = "task " + std::to_string(task.task_id);
  vars->variables = std::move(task.variables);
  vars->of_task = true;
  auto params = std::make_shared<internal::ParameterSet>();
  params->owner = vars->owner;
  params->parameters = std::move(task.parameters);
  task.variables.clear();
  task.parameters.clear();
  if (auto existing = state_->FindTask(task.task_id)) {
    existing->spec = std::move(task);
    *existing->variables = std::move(*vars);
    *existing->parameters = std::move(*params);
    return;
  }
  state_->tasks.push_back(std::make_shared<internal::TaskState>(
      internal::TaskState{std::move(task), std::move(vars), std::move(params)}));
}

namespace {
std::shared_ptr<internal::TaskState> RequireTask(const State& st, int32_t task_id) {
  auto t = st.FindTask(task_id);
  if (!t) internal::ThrowHost(kErrNotFound, "No task " + std::to_string(task_id));
  return t;
}
std::shared_ptr<internal::ProcessState> RequireProcess(const State& st, int32_t process_id) {
  auto it = st.processes.find(process_id);
  if (it == st.processes.end())
    internal::ThrowHost(kErrNotFound, "No process " + std::to_string(process_id));
  return it->second;
}
Variant VariableValue(const State& st, const internal::VariableSet& set, std::string_view name) {
  for (const VariableSpec& v : set.variables)
    if (st.NameEquals(v.name, name)) return v.value;
  internal::ThrowHost(kErrUnknownName, set.owner + " has no variable '" + std::string(name) + "'");
}
}  // namespace

void Simulator::SetTaskVariable(int32_t task_id, VariableSpec variable) {
  Upsert(RequireTask(*state_, task_id)->variables->variables, std::move(variable), *state_);
}

void Simulator::SetTaskParameter(int32_t task_id, ParameterSpec parameter) {
  Upsert(RequireTask(*state_, task_id)->parameters->parameters, std::move(parameter), *state_);
}

void Simulator::SetTaskStatus(int32_t task_id, Variant status) {
  RequireTask(*state_, task_id)->spec.status = std::move(status);
}

void Simulator::SetTaskDate(int32_t task_id, Variant task_date) {
  RequireTask(*state_, task_id)->spec.task_date = std::move(task_date);
}

void Simulator::SetTaskInStep(int32_t task_id, bool in_step) {
  RequireTask(*state_, task_id)->spec.in_step = in_step;
}

void Simulator::RemoveTaskParameter(int32_t task_id, std::string_view name) {
  auto& list = RequireTask(*state_, task_id)->parameters->parameters;
  std::erase_if(list, [&](const ParameterSpec& p) { return state_->NameEquals(p.name, name); });
}

void Simulator::SetProcessVariable(int32_t process_id, VariableSpec variable) {
  Upsert(RequireProcess(*state_, process_id)->variables->variables, std::move(variable), *state_);
}

void Simulator::SetActivityParameter(ParameterSpec parameter) {
  Upsert(state_->activity_parameters->parameters, std::move(parameter), *state_);
}

void Simulator::AddDatabase(int32_t id) { state_->EnsureDatabase(id); }

void Simulator::AddDocument(int32_t database, DocumentSpec document) {
  Entity e{"Document", document.id, document.doc_type_code, std::move(document.fields)};
  if (document.system_fields) {
    auto add = [&](const char* name, Variant value) {
      if (!e.Find(name)) e.fields.push_back(Field::Of(name, kLong, std::move(value)));
    };
    add("DocTypeCode", document.doc_type_code);
    add("ParentDataEntityObjectID",
        document.parent_id ? Variant(*document.parent_id) : Variant::Null());
    add("ParentDataEntityTypeCode",
        document.parent_id ? Variant(document.parent_type_code) : Variant::Null());
    add("MajorVersion", document.major_version);
    add("MinorVersion", document.minor_version);
    add("Major Version", document.major_version);
    add("Minor Version", document.minor_version);
  }
  AddItem(*state_, database, std::move(e));
}

void Simulator::AddDataEntity(int32_t database, Entity entity) {
  entity.entity_name = "DataEntity";
  AddItem(*state_, database, std::move(entity));
}

void Simulator::AddRecordSeries(int32_t database, Entity entity) {
  entity.entity_name = "RecordSeries";
  AddItem(*state_, database, std::move(entity));
}

void Simulator::AddRetentionLabel(int32_t database, Entity entity) {
  entity.entity_name = "RetentionLabel";
  if (entity.type_code == 0) entity.type_code = kRetentionLabelTypeCode;
  AddItem(*state_, database, std::move(entity));
}

void Simulator::AddSecurityLabel(int32_t database, std::string name, int32_t id,
                                 int32_t type_code) {
  AddItem(*state_, database,
          Entity{"SecurityLabel", id, type_code, {Field::Text("Name", std::move(name))}});
}

void Simulator::AddUser(UserSpec user) { state_->users.push_back(std::move(user)); }
void Simulator::AddGroup(GroupSpec group) { state_->groups.push_back(std::move(group)); }
void Simulator::AddRole(GroupSpec role) { state_->roles.push_back(std::move(role)); }

void Simulator::AddJob(Entity job) {
  if (job.entity_name.empty()) job.entity_name = "Job";
  if (job.type_code == 0) job.type_code = kJobTypeCode;
  RemoveJob(job.id);
  state_->jobs.push_back(std::move(job));
}

void Simulator::AddJob(int32_t id, double start_date) {
  Entity job = state_->templates.at(FoldCase("Job"));
  job.id = id;
  job.Find("Start Date")->value = Variant::Date(start_date);
  job.Find("End Date")->value = Variant::Date(start_date + 10);
  AddJob(std::move(job));
}

void Simulator::RemoveJob(int32_t id) {
  std::erase_if(state_->jobs, [&](const Entity& e) { return e.id == id; });
}

void Simulator::SetEventCode(int32_t type_code, std::string event_name, int32_t code) {
  state_->event_codes[{type_code, FoldCase(event_name)}] = code;
}

void Simulator::SetIntervalTypeCode(std::string text, int32_t code) {
  state_->interval_codes[FoldCase(text)] = code;
}

void Simulator::ClearIntervalTypeCodes() { state_->interval_codes.clear(); }

void Simulator::SetSetting(std::string section, std::string key, std::string value) {
  state_->settings[{FoldCase(section), FoldCase(key)}] = std::move(value);
}

void Simulator::DefineEntityTemplate(Entity entity_template) {
  std::string key = FoldCase(entity_template.entity_name);
  state_->templates[key] = std::move(entity_template);
}

void Simulator::InjectFault(Fault fault) { state_->faults.push_back({std::move(fault), 0, 0}); }
void Simulator::ClearFaults() { state_->faults.clear(); }

pelmark::IActivityServices* Simulator::Services() {
  if (!state_->services_object) state_->services_object = internal::MakeServices(state_);
  return state_->services_object.get();
}

pelmark::IActivity* Simulator::Activity() {
  if (!state_->activity_object) state_->activity_object = internal::MakeActivity(state_);
  return state_->activity_object.get();
}

pelmark::ITask* Simulator::Task(int32_t task_id) {
  auto& slot = state_->task_objects[task_id];
  if (!slot) slot = internal::MakeTask(state_, RequireTask(*state_, task_id));
  return slot.get();
}

std::vector<Call> Simulator::Journal() const {
  std::vector<Call> out;
  out.reserve(state_->journal.size());
  for (size_t i = 0; i < state_->journal.size(); ++i) out.push_back(state_->journal.At(i));
  return out;
}

size_t Simulator::JournalSize() const { return state_->journal.size(); }

Call Simulator::JournalEntry(size_t index) const { return state_->journal.At(index); }

std::string_view Simulator::JournalOp(size_t index) const { return state_->journal.Op(index); }

std::vector<Call> Simulator::DmsCalls() const { return CallsTo("IDmsService."); }

std::vector<Call> Simulator::CallsTo(std::string_view prefix) const {
  std::vector<Call> out;
  for (size_t i = 0; i < state_->journal.size(); ++i)
    if (state_->journal.Op(i).starts_with(prefix)) out.push_back(state_->journal.At(i));
  return out;
}

void Simulator::ClearJournal() { state_->journal.Clear(); }

const std::vector<VariableWrite>& Simulator::VariableWrites() const {
  return state_->variable_writes;
}

std::vector<VariableWrite> Simulator::TaskVariableWrites() const {
  std::vector<VariableWrite> out;
  for (const auto& w : state_->variable_writes)
    if (w.owner.starts_with("task ")) out.push_back(w);
  return out;
}

Variant Simulator::TaskVariable(int32_t task_id, std::string_view name) const {
  return VariableValue(*state_, *RequireTask(*state_, task_id)->variables, name);
}

Variant Simulator::ProcessVariable(int32_t process_id, std::string_view name) const {
  return VariableValue(*state_, *RequireProcess(*state_, process_id)->variables, name);
}

std::optional<int32_t> Simulator::Connected() const { return state_->connected; }

const std::vector<StoredRecord>& Simulator::StoredRecords() const { return state_->stored_records; }

std::vector<StoredRecord> Simulator::StoredRecords(std::string_view entity_name) const {
  std::vector<StoredRecord> out;
  for (const auto& r : state_->stored_records)
    if (EqualsNoCase(r.entity.entity_name, entity_name)) out.push_back(r);
  return out;
}

std::vector<StoredRecord> Simulator::AuditRecords() const { return StoredRecords("AuditRecord"); }
const std::vector<Attachment>& Simulator::Comments() const { return state_->comments; }
const std::vector<Attachment>& Simulator::Annotations() const { return state_->annotations; }
const std::vector<AceGrant>& Simulator::Aces() const { return state_->aces; }
const std::vector<LabelApplied>& Simulator::LabelsApplied() const { return state_->labels; }
const std::vector<ItemOperation>& Simulator::ItemOperations() const {
  return state_->item_operations;
}

std::vector<ItemOperation> Simulator::Deletions() const {
  std::vector<ItemOperation> out;
  for (const auto& op : state_->item_operations)
    if (op.op.starts_with("Delete")) out.push_back(op);
  return out;
}

std::vector<ItemOperation> Simulator::Publications() const {
  std::vector<ItemOperation> out;
  for (const auto& op : state_->item_operations)
    if (op.op == "PublishDocument") out.push_back(op);
  return out;
}

const std::vector<ExportRecord>& Simulator::Exports() const { return state_->exports; }
const std::vector<SaveRecord>& Simulator::Saves() const { return state_->saves; }
const std::vector<MessageRecord>& Simulator::Messages() const { return state_->messages; }

const Item* Simulator::FindItem(int32_t database, std::string_view entity_name, int32_t id,
                                std::optional<int32_t> type_code) const {
  return state_->items.FindFirst(entity_name, id, [&](const Item& item) {
    return item.database == database && (!type_code || item.entity.type_code == *type_code);
  });
}

Variant Simulator::FieldValue(int32_t database, std::string_view entity_name, int32_t id,
                              std::string_view field) const {
  const Item* item = FindItem(database, entity_name, id);
  if (!item)
    internal::ThrowDms(kErrNotFound, "No " + std::string(entity_name) + " " + std::to_string(id) +
                                         " in database " + std::to_string(database));
  return item->entity.Value(field);
}

const Entity* Simulator::FindJob(int32_t id) const {
  for (const Entity& e : state_->jobs)
    if (e.id == id) return &e;
  return nullptr;
}

std::vector<std::string> Simulator::HeldReferences() const {
  std::vector<std::string> out;
  for (const auto& [serial, object] : state_->live) {
    if (static_cast<int>(object->refs()) > object->own_refs()) {
      out.push_back(internal::Describe(dynamic_cast<pelmark::IUnknown*>(object)) + ": " +
                    std::to_string(object->refs()) + " reference(s), simulator holds " +
                    std::to_string(object->own_refs()));
    }
  }
  return out;
}

size_t Simulator::LiveObjects() const { return state_->live.size(); }

}  // namespace sim
