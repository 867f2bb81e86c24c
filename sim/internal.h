// The simulator's shared state and the base of its COM objects. Every object
// holds the state alive, registers itself while it lives (for reference
// accounting) and records each interface call in the journal through Run(),
// which also applies injected faults.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

#include "item_store.h"
#include "journal.h"
#include "simulator.h"

namespace sim::internal {

using pelmark::ComPtr;

class ObjectBase;

struct VariableSet {
  std::string owner;  // "task 5", "process 12"
  std::vector<VariableSpec> variables;
  bool of_task = false;  // Options::create_task_variables applies
};

struct ParameterSet {
  std::string owner;  // "task 5", "activity"
  std::vector<ParameterSpec> parameters;
};

struct TaskState {
  TaskSpec spec;  // its parameter and variable lists are moved into the sets
  std::shared_ptr<VariableSet> variables;
  std::shared_ptr<ParameterSet> parameters;
};

struct ProcessState {
  ProcessSpec spec;
  std::shared_ptr<VariableSet> variables;
};

struct FaultState {
  Fault fault;
  int32_t matched = 0;
  int32_t failed = 0;
};

struct State {
  Options options;

  CompactJournal journal;
  // The journal index of the call running now: the records a call makes name it.
  size_t current_call = 0;
  std::vector<FaultState> faults;
  uint64_t next_serial = 1;
  std::map<uint64_t, ObjectBase*> live;

  // Host.
  std::map<int32_t, std::shared_ptr<ProcessState>> processes;
  ActivitySpec activity;
  std::shared_ptr<ParameterSet> activity_parameters = std::make_shared<ParameterSet>();
  std::vector<std::shared_ptr<TaskState>> tasks;

  // Objects the simulator itself holds one reference to.
  ComPtr<pelmark::IActivityServices> services_object;
  ComPtr<pelmark::IActivity> activity_object;
  std::map<int32_t, ComPtr<pelmark::ITask>> task_objects;
  std::map<int32_t, ComPtr<pelmark::IProcessInstance>> process_objects;
  ComPtr<pelmark::IDmsService> dms_object;
  ComPtr<pelmark::IConfigurationService> configuration_object;
  ComPtr<pelmark::INotificationService> notification_object;

  // DMS.
  std::vector<int32_t> databases;
  ItemStore items;
  std::vector<Entity> jobs;
  std::vector<UserSpec> users;
  std::vector<GroupSpec> groups;
  std::vector<GroupSpec> roles;
  std::map<std::pair<int32_t, std::string>, int32_t> event_codes;       // name folded
  std::map<std::string, int32_t> interval_codes;                        // folded
  std::map<std::pair<std::string, std::string>, std::string> settings;  // folded
  std::map<std::string, Entity> templates;                              // folded
  std::optional<int32_t> connected;
  int32_t next_id = 1001;
  int32_t next_message_id = 1;
  int32_t messages_created = 0;
  int32_t exports_made = 0;

  // What the library did.
  std::vector<VariableWrite> variable_writes;
  std::vector<StoredRecord> stored_records;
  std::vector<Attachment> comments;
  std::vector<Attachment> annotations;
  std::vector<AceGrant> aces;
  std::vector<LabelApplied> labels;
  std::vector<ItemOperation> item_operations;
  std::vector<ExportRecord> exports;
  std::vector<SaveRecord> saves;
  std::vector<MessageRecord> messages;

  bool NameEquals(std::string_view a, std::string_view b) const {
    return options.case_sensitive_names ? a == b : EqualsNoCase(a, b);
  }
  bool HasDatabase(int32_t id) const;
  void EnsureDatabase(int32_t id);
  std::shared_ptr<TaskState> FindTask(int32_t task_id) const;
  // The tasks the step's ITasks lists, in the order added.
  std::vector<std::shared_ptr<TaskState>> StepTasks() const;
  // Raises the error of the first fault that this call matches, or answers true
  // when it asks for Nothing instead (only for a call that answers an object).
  bool CheckFaults(std::string_view op, std::string_view target, const std::vector<Arg>& args,
                   bool answers_object);
  // Drops the objects the simulator holds, so that they can go.
  void Shutdown();
};

// Journal values never hold a reference: an object becomes its description.
Variant JournalValue(const Variant& v);
Variant Nothing();
std::string Describe(pelmark::IUnknown* object);

// Flattens an entity reference into `prefix`.EntityName/.ID/.TypeCode (and
// .VersionType), or one Nothing argument for null.
void AppendRef(std::vector<Arg>& args, std::string_view prefix, pelmark::IEntityRef* ref,
               bool with_version = false);
Ref ReadRef(pelmark::IEntityRef* ref);

[[noreturn]] void ThrowHost(int32_t number, std::string description);
[[noreturn]] void ThrowDms(int32_t number, std::string description);

class ObjectBase {
 public:
  ObjectBase(std::shared_ptr<State> state, std::string iface, std::string target, int own_refs);
  virtual ~ObjectBase();
  ObjectBase(const ObjectBase&) = delete;
  ObjectBase& operator=(const ObjectBase&) = delete;

  const std::string& iface() const { return iface_; }
  const std::string& target() const { return target_; }
  uint32_t refs() const { return refs_; }
  int own_refs() const { return own_refs_; }

 protected:
  State& state() const { return *state_; }
  const std::shared_ptr<State>& shared_state() const { return state_; }

  // Records "iface.method" (or `method` as given when it names its interface,
  // "IField.Value") with its arguments, applies faults, runs `body` and
  // records its result or the error it raised.
  template <class F>
  auto Run(std::string_view method, std::vector<Arg> args, F&& body) -> decltype(body());

  uint32_t refs_ = 0;

 private:
  void SetResult(size_t index, const Variant& v);
  void SetObjectResult(size_t index, pelmark::IUnknown* object);

  std::shared_ptr<State> state_;
  std::string iface_;
  std::string target_;
  int own_refs_;
  uint64_t serial_;
};

template <class F>
auto ObjectBase::Run(std::string_view method, std::vector<Arg> args, F&& body) -> decltype(body()) {
  using R = decltype(body());
  State& st = *state_;
  std::string qualified;
  if (method.find('.') == std::string_view::npos) {
    qualified.reserve(iface_.size() + 1 + method.size());
    qualified.append(iface_).append(".").append(method);
    method = qualified;
  }
  const size_t index = st.journal.Append(method, target_, args);
  struct CurrentCall {
    State& st;
    size_t outer;
    ~CurrentCall() { st.current_call = outer; }
  } current{st, st.current_call};
  st.current_call = index;
  constexpr bool kAnswersObject = !std::is_void_v<R> && !std::is_same_v<R, int32_t> &&
                                  !std::is_same_v<R, bool> && !std::is_same_v<R, std::string> &&
                                  !std::is_same_v<R, Variant>;
  try {
    const bool answer_nothing = st.CheckFaults(method, target_, args, kAnswersObject);
    if constexpr (kAnswersObject) {
      if (answer_nothing) {
        SetObjectResult(index, nullptr);
        return R();
      }
    }
    if constexpr (std::is_void_v<R>) {
      body();
    } else {
      R r = body();
      if constexpr (std::is_same_v<R, int32_t> || std::is_same_v<R, bool> ||
                    std::is_same_v<R, std::string> || std::is_same_v<R, Variant>) {
        SetResult(index, Variant(r));
      } else {
        SetObjectResult(index, r.get());  // a ComPtr
      }
      return r;
    }
  } catch (const pelmark::Error& e) {
    st.journal.SetError(index, e.number(), e.source(), e.description());
    throw;
  }
}

// A COM object implementing interface I (a single-inheritance chain whose
// identifiers are listed in `iids`, IUnknown included automatically).
template <class I>
class ComObject : public I, public ObjectBase {
 public:
  ComObject(std::shared_ptr<State> state, std::string iface, std::string target,
            std::initializer_list<pelmark::IID> iids, int own_refs = 0)
      : ObjectBase(std::move(state), std::move(iface), std::move(target), own_refs), iids_(iids) {}

  pelmark::HRESULT QueryInterface(const pelmark::IID& iid, void** out) override {
    if (!out) return pelmark::E_POINTER;
    if (iid == pelmark::IUnknown::iid) {
      *out = static_cast<I*>(this);
      AddRef();
      return pelmark::S_OK;
    }
    for (const pelmark::IID& known : iids_) {
      if (known == iid) {
        *out = static_cast<I*>(this);
        AddRef();
        return pelmark::S_OK;
      }
    }
    *out = nullptr;
    return pelmark::E_NOINTERFACE;
  }
  uint32_t AddRef() override { return ++refs_; }
  uint32_t Release() override {
    uint32_t r = --refs_;
    if (r == 0) delete this;
    return r;
  }

 private:
  std::vector<pelmark::IID> iids_;
};

// Factories (host_objects.cc, dms_objects.cc, dms_service.cc).
ComPtr<pelmark::IActivityServices> MakeServices(std::shared_ptr<State> state);
ComPtr<pelmark::IActivity> MakeActivity(std::shared_ptr<State> state);
ComPtr<pelmark::ITask> MakeTask(std::shared_ptr<State> state, std::shared_ptr<TaskState> task);
ComPtr<pelmark::IProcessInstance> MakeProcess(std::shared_ptr<State> state,
                                              std::shared_ptr<ProcessState> process);
ComPtr<pelmark::IDmsService> MakeDmsService(std::shared_ptr<State> state);
ComPtr<pelmark::IConfigurationService> MakeConfigurationService(std::shared_ptr<State> state);
ComPtr<pelmark::INotificationService> MakeNotificationService(std::shared_ptr<State> state);

// An entity object over its own copy of the data.
ComPtr<pelmark::IEntity> MakeEntity(std::shared_ptr<State> state, Entity data, std::string target);
ComPtr<pelmark::IEntity> MakeEntity(std::shared_ptr<State> state, std::shared_ptr<Entity> data,
                                    std::string target);
ComPtr<pelmark::IEntityList> MakeEntityList(std::shared_ptr<State> state,
                                            std::vector<Entity> entities, std::string target);
ComPtr<pelmark::IExportResult> MakeExportResult(std::shared_ptr<State> state, std::string target);
// The data of an entity object made by MakeEntity; null for any other object.
const Entity* EntityData(pelmark::IEntity* entity);
// The data of a message made by the notification service; null for others.
const MessageRecord* MessageData(pelmark::INotificationMessage* message);

// The preset NewEntity templates.
std::vector<Entity> PresetTemplates();

}  // namespace sim::internal
