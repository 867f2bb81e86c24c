// The workflow host's objects: services, process instances, the step, its tasks,
// their variables and parameters. Collections and single variables or parameters
// are made afresh for every call that returns them, so a reference the library
// forgets to release stays visible in HeldReferences(); the services object,
// the step, the tasks and the process instances are the simulator's own.
#include <cmath>

#include "internal.h"

namespace sim::internal {
namespace {

using pelmark::IID;

class SimParameter final : public ComObject<pelmark::IParameter> {
 public:
  SimParameter(std::shared_ptr<State> st, std::shared_ptr<ParameterSet> set, std::string name)
      : ComObject(std::move(st), "IParameter", set->owner + " parameter " + name,
                  {pelmark::IParameter::iid}),
        set_(std::move(set)),
        name_(std::move(name)) {}

  Variant Value() override {
    return Run("Value", {}, [&] { return Spec().value; });
  }
  bool IsNull() override {
    return Run("IsNull", {}, [&] {
      const ParameterSpec& p = Spec();
      return p.is_null.value_or(p.value.is_null());
    });
  }

 private:
  const ParameterSpec& Spec() const {
    for (const ParameterSpec& p : set_->parameters)
      if (p.name == name_) return p;
    ThrowHost(kErrUnknownName, set_->owner + " no longer has parameter '" + name_ + "'");
  }
  std::shared_ptr<ParameterSet> set_;
  std::string name_;
};

class SimParameters final : public ComObject<pelmark::IParameters> {
 public:
  SimParameters(std::shared_ptr<State> st, std::shared_ptr<ParameterSet> set)
      : ComObject(std::move(st), "IParameters", set->owner + " parameters",
                  {pelmark::IParameters::iid}),
        set_(std::move(set)) {}

  ComPtr<pelmark::IParameter> Item(std::string_view name) override {
    return Run("Item", {{"name", Variant(name)}}, [&] {
      for (const ParameterSpec& p : set_->parameters) {
        if (state().NameEquals(p.name, name))
          return ComPtr<pelmark::IParameter>(new SimParameter(shared_state(), set_, p.name));
      }
      ThrowHost(kErrUnknownName,
                "The step has no parameter '" + std::string(name) + "' (" + set_->owner + ")");
    });
  }
  bool Exists(std::string_view name) override {
    return Run("Exists", {{"name", Variant(name)}}, [&] {
      for (const ParameterSpec& p : set_->parameters)
        if (state().NameEquals(p.name, name)) return true;
      return false;
    });
  }

 private:
  std::shared_ptr<ParameterSet> set_;
};

// Whether a variable the set lacks comes into being when it is written.
bool Creatable(const State& st, const VariableSet& set) {
  return set.of_task && st.options.create_task_variables;
}

class SimVariable final : public ComObject<pelmark::IVariable> {
 public:
  SimVariable(std::shared_ptr<State> st, std::shared_ptr<VariableSet> set, std::string name)
      : ComObject(std::move(st), "IVariable", set->owner + " variable " + name,
                  {pelmark::IVariable::iid}),
        set_(std::move(set)),
        name_(std::move(name)) {}

  std::string TypeName() override {
    return Run("TypeName", {}, [&] { return Spec().type_name; });
  }
  int32_t VariableType() override {
    return Run("VariableType", {}, [&] { return Spec().variable_type; });
  }
  bool IsNull() override {
    return Run("IsNull", {}, [&] {
      const VariableSpec& v = Spec();
      return v.is_null.value_or(v.value.is_null());
    });
  }
  Variant Value() override {
    return Run("Value", {}, [&] { return Spec().value; });
  }
  void SetValue(const Variant& value) override {
    Run("SetValue", {{"value", JournalValue(value)}}, [&] {
      if (!Find() && Creatable(state(), *set_)) set_->variables.push_back({.name = name_});
      VariableSpec& v = Spec();
      v.value = value;
      v.is_null.reset();
      state().variable_writes.push_back({set_->owner, v.name, value});
    });
  }

 private:
  VariableSpec* Find() const {
    for (VariableSpec& v : set_->variables)
      if (v.name == name_) return &v;
    return nullptr;
  }
  VariableSpec& Spec() const {
    if (VariableSpec* v = Find()) return *v;
    if (Creatable(state(), *set_))
      ThrowHost(kErrUnknownName,
                set_->owner + " has no variable '" + name_ + "' until it is first written");
    ThrowHost(kErrUnknownName, set_->owner + " no longer has variable '" + name_ + "'");
  }
  std::shared_ptr<VariableSet> set_;
  std::string name_;
};

class SimVariables final : public ComObject<pelmark::IVariables> {
 public:
  SimVariables(std::shared_ptr<State> st, std::shared_ptr<VariableSet> set)
      : ComObject(std::move(st), "IVariables", set->owner + " variables",
                  {pelmark::IVariables::iid}),
        set_(std::move(set)) {}

  int32_t Count() override {
    return Run("Count", {}, [&] { return static_cast<int32_t>(set_->variables.size()); });
  }
  ComPtr<pelmark::IVariable> Item(const Variant& index_or_name) override {
    return Run("Item", {{"index", JournalValue(index_or_name)}}, [&] {
      const auto& vars = set_->variables;
      if (index_or_name.is_string()) {
        const std::string& name = index_or_name.string_value();
        for (const VariableSpec& v : vars) {
          if (state().NameEquals(v.name, name))
            return ComPtr<pelmark::IVariable>(new SimVariable(shared_state(), set_, v.name));
        }
        if (Creatable(state(), *set_))
          return ComPtr<pelmark::IVariable>(new SimVariable(shared_state(), set_, name));
        ThrowHost(kErrUnknownName, set_->owner + " has no variable '" + name + "'");
      }
      double index = 0;
      if (index_or_name.type() == pelmark::VarType::Long) {
        index = index_or_name.long_value();
      } else if (index_or_name.type() == pelmark::VarType::Double) {
        index = std::nearbyint(index_or_name.double_value());
      } else {
        ThrowHost(kErrTypeMismatch, "Type mismatch: a variable is chosen by position or name");
      }
      if (index < 1 || index > static_cast<double>(vars.size()))
        ThrowHost(kErrIndexOutOfRange, "Subscript out of range: " + set_->owner + " has " +
                                           std::to_string(vars.size()) + " variable(s)");
      const std::string& name = vars[static_cast<size_t>(index) - 1].name;
      return ComPtr<pelmark::IVariable>(new SimVariable(shared_state(), set_, name));
    });
  }
  bool Exists(std::string_view name) override {
    return Run("Exists", {{"name", Variant(name)}}, [&] {
      for (const VariableSpec& v : set_->variables)
        if (state().NameEquals(v.name, name)) return true;
      return false;
    });
  }

 private:
  std::shared_ptr<VariableSet> set_;
};

ComPtr<pelmark::IVariables> NewVariables(const std::shared_ptr<State>& st,
                                         std::shared_ptr<VariableSet> set) {
  return ComPtr<pelmark::IVariables>(new SimVariables(st, std::move(set)));
}

ComPtr<pelmark::IParameters> NewParameters(const std::shared_ptr<State>& st,
                                           std::shared_ptr<ParameterSet> set) {
  return ComPtr<pelmark::IParameters>(new SimParameters(st, std::move(set)));
}

ComPtr<pelmark::ITask> TaskObject(const std::shared_ptr<State>& st,
                                  const std::shared_ptr<TaskState>& task) {
  auto& slot = st->task_objects[task->spec.task_id];
  if (!slot) slot = MakeTask(st, task);
  return slot;
}

class SimTask final : public ComObject<pelmark::ITask> {
 public:
  SimTask(std::shared_ptr<State> st, std::shared_ptr<TaskState> task)
      : ComObject(std::move(st), "ITask", "task " + std::to_string(task->spec.task_id),
                  {pelmark::ITask::iid}, 1),
        task_(std::move(task)) {}

  ComPtr<pelmark::IVariables> Variables() override {
    return Run("Variables", {}, [&] { return NewVariables(shared_state(), task_->variables); });
  }
  ComPtr<pelmark::IParameters> Parameters() override {
    return Run("Parameters", {}, [&] { return NewParameters(shared_state(), task_->parameters); });
  }
  int32_t ActivityID() override {
    return Run("ActivityID", {}, [&] { return task_->spec.activity_id; });
  }
  int32_t TaskID() override {
    return Run("TaskID", {}, [&] { return task_->spec.task_id; });
  }
  int32_t ProcessID() override {
    return Run("ProcessID", {}, [&] { return task_->spec.process_id; });
  }
  int32_t TaskIndex() override {
    return Run("TaskIndex", {}, [&] { return task_->spec.task_index; });
  }
  Variant ResourceID() override {
    return Run("ResourceID", {}, [&] { return task_->spec.resource_id; });
  }
  Variant ResourceType() override {
    return Run("ResourceType", {}, [&] { return task_->spec.resource_type; });
  }
  Variant ResourceName() override {
    return Run("ResourceName", {}, [&] { return task_->spec.resource_name; });
  }
  Variant Status() override {
    return Run("Status", {}, [&] { return task_->spec.status; });
  }
  Variant TaskDate() override {
    return Run("TaskDate", {}, [&] { return task_->spec.task_date; });
  }

 private:
  std::shared_ptr<TaskState> task_;
};

class SimTasks final : public ComObject<pelmark::ITasks> {
 public:
  explicit SimTasks(std::shared_ptr<State> st)
      : ComObject(std::move(st), "ITasks", "tasks", {pelmark::ITasks::iid}) {}

  int32_t Count() override {
    return Run("Count", {}, [&] { return static_cast<int32_t>(state().StepTasks().size()); });
  }
  ComPtr<pelmark::ITask> Item(int32_t index) override {
    return Run("Item", {{"index", Variant(index)}}, [&] {
      const std::vector<std::shared_ptr<TaskState>> tasks = state().StepTasks();
      if (index < 1 || index > static_cast<int32_t>(tasks.size()))
        ThrowHost(kErrIndexOutOfRange, "Subscript out of range: the step has " +
                                           std::to_string(tasks.size()) + " task(s)");
      return TaskObject(shared_state(), tasks[index - 1]);
    });
  }
};

class SimActivity final : public ComObject<pelmark::IActivity> {
 public:
  explicit SimActivity(std::shared_ptr<State> st)
      : ComObject(std::move(st), "IActivity", "activity", {pelmark::IActivity::iid}, 1) {}

  ComPtr<pelmark::ITasks> Tasks() override {
    return Run("Tasks", {}, [&] { return ComPtr<pelmark::ITasks>(new SimTasks(shared_state())); });
  }
  ComPtr<pelmark::IParameters> Parameters() override {
    return Run("Parameters", {},
               [&] { return NewParameters(shared_state(), state().activity_parameters); });
  }
  int32_t ProcessID() override {
    return Run("ProcessID", {}, [&] { return state().activity.process_id; });
  }
  int32_t RequestCount() override {
    return Run("RequestCount", {}, [&] { return state().activity.request_count; });
  }
  int32_t MinResponses() override {
    return Run("MinResponses", {}, [&] { return state().activity.min_responses; });
  }
  std::string MinApprovals() override {
    return Run("MinApprovals", {}, [&] { return state().activity.min_approvals; });
  }
};

class SimProcess final : public ComObject<pelmark::IProcessInstance> {
 public:
  SimProcess(std::shared_ptr<State> st, std::shared_ptr<ProcessState> process)
      : ComObject(std::move(st), "IProcessInstance", "process " + std::to_string(process->spec.id),
                  {pelmark::IProcessInstance::iid}, 1),
        process_(std::move(process)) {}

  ComPtr<pelmark::IVariables> Variables() override {
    return Run("Variables", {}, [&] { return NewVariables(shared_state(), process_->variables); });
  }
  Variant InitiatorID() override {
    return Run("InitiatorID", {}, [&] { return process_->spec.initiator_id; });
  }
  Variant InitiatorType() override {
    return Run("InitiatorType", {}, [&] { return process_->spec.initiator_type; });
  }
  Variant InitiatorName() override {
    return Run("InitiatorName", {}, [&] { return process_->spec.initiator_name; });
  }
  Variant InitiatorComment() override {
    return Run("InitiatorComment", {}, [&] { return process_->spec.initiator_comment; });
  }
  Variant ProcessName() override {
    return Run("ProcessName", {}, [&] { return process_->spec.process_name; });
  }

 private:
  std::shared_ptr<ProcessState> process_;
};

class SimServices final : public ComObject<pelmark::IActivityServices> {
 public:
  explicit SimServices(std::shared_ptr<State> st)
      : ComObject(std::move(st), "IActivityServices", "services", {pelmark::IActivityServices::iid},
                  1) {}

  ComPtr<pelmark::IProcessInstance> GetProcessInstance(int32_t process_id) override {
    return Run("GetProcessInstance", {{"process_id", Variant(process_id)}}, [&] {
      auto it = state().processes.find(process_id);
      if (it == state().processes.end())
        ThrowHost(kErrNotFound, "No workflow instance " + std::to_string(process_id));
      auto& slot = state().process_objects[process_id];
      if (!slot) slot = MakeProcess(shared_state(), it->second);
      return slot;
    });
  }

  ComPtr<pelmark::IService> GetService(std::string_view name) override {
    return Run("GetService", {{"name", Variant(name)}}, [&]() -> ComPtr<pelmark::IService> {
      State& st = state();
      if (name == "DmsService" && st.options.dms_service) {
        if (!st.dms_object) st.dms_object = MakeDmsService(shared_state());
        return ComPtr<pelmark::IService>(st.dms_object.get());
      }
      if (name == "ConfigurationService" && st.options.configuration_service) {
        if (!st.configuration_object)
          st.configuration_object = MakeConfigurationService(shared_state());
        return ComPtr<pelmark::IService>(st.configuration_object.get());
      }
      if (name == "NotificationService" && st.options.notification_service) {
        if (!st.notification_object)
          st.notification_object = MakeNotificationService(shared_state());
        return ComPtr<pelmark::IService>(st.notification_object.get());
      }
      return nullptr;
    });
  }
};

}  // namespace

ComPtr<pelmark::IActivityServices> MakeServices(std::shared_ptr<State> state) {
  return ComPtr<pelmark::IActivityServices>(new SimServices(std::move(state)));
}

ComPtr<pelmark::IActivity> MakeActivity(std::shared_ptr<State> state) {
  return ComPtr<pelmark::IActivity>(new SimActivity(std::move(state)));
}

ComPtr<pelmark::ITask> MakeTask(std::shared_ptr<State> state, std::shared_ptr<TaskState> task) {
  return ComPtr<pelmark::ITask>(new SimTask(std::move(state), std::move(task)));
}

ComPtr<pelmark::IProcessInstance> MakeProcess(std::shared_ptr<State> state,
                                              std::shared_ptr<ProcessState> process) {
  return ComPtr<pelmark::IProcessInstance>(new SimProcess(std::move(state), std::move(process)));
}

}  // namespace sim::internal
