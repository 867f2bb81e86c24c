// The workflow host's objects that every activity call receives: the services
// object, the step definition, its tasks, the workflow instance, variables and
// parameters. The host implements them; the library only calls them.
//
// Conventions: methods that fail throw pelmark::Error. Object results come back
// as counted references (null for Nothing). Collections are 1-based. Properties
// are read as Name() and written as SetName(value).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pelmark/com.h"
#include "pelmark/variant.h"

namespace pelmark {

struct IService;
struct IProcessInstance;
struct IActivity;
struct ITask;

// A service handed out by name; query it for IDmsService, IConfigurationService
// or INotificationService.
struct IService : IUnknown {
  PELMARK_INTERFACE(IService, "{5086F526-0001-4BC8-9B88-FDAF41174E45}");

 protected:
  ~IService() = default;
};

struct IParameter : IUnknown {
  PELMARK_INTERFACE(IParameter, "{5086F526-0002-4BC8-9B88-FDAF41174E45}");
  virtual Variant Value() = 0;
  virtual bool IsNull() = 0;

 protected:
  ~IParameter() = default;
};

struct IParameters : IUnknown {
  PELMARK_INTERFACE(IParameters, "{5086F526-0003-4BC8-9B88-FDAF41174E45}");
  // The host decides what an unknown name does (a strict host throws).
  virtual ComPtr<IParameter> Item(std::string_view name) = 0;
  virtual bool Exists(std::string_view name) = 0;

 protected:
  ~IParameters() = default;
};

struct IVariable : IUnknown {
  PELMARK_INTERFACE(IVariable, "{5086F526-0004-4BC8-9B88-FDAF41174E45}");
  virtual std::string TypeName() = 0;
  virtual int32_t VariableType() = 0;
  virtual bool IsNull() = 0;
  virtual Variant Value() = 0;
  virtual void SetValue(const Variant& value) = 0;

 protected:
  ~IVariable() = default;
};

struct IVariables : IUnknown {
  PELMARK_INTERFACE(IVariables, "{5086F526-0005-4BC8-9B88-FDAF41174E45}");
  virtual int32_t Count() = 0;
  // A 1-based position (a number) or a name (a text).
  virtual ComPtr<IVariable> Item(const Variant& index_or_name) = 0;
  virtual bool Exists(std::string_view name) = 0;

 protected:
  ~IVariables() = default;
};

struct ITask : IUnknown {
  PELMARK_INTERFACE(ITask, "{5086F526-0006-4BC8-9B88-FDAF41174E45}");
  virtual ComPtr<IVariables> Variables() = 0;
  virtual ComPtr<IParameters> Parameters() = 0;
  virtual int32_t ActivityID() = 0;
  virtual int32_t TaskID() = 0;
  virtual int32_t ProcessID() = 0;
  virtual int32_t TaskIndex() = 0;
  virtual Variant ResourceID() = 0;
  virtual Variant ResourceType() = 0;
  virtual Variant ResourceName() = 0;
  virtual Variant Status() = 0;
  virtual Variant TaskDate() = 0;

 protected:
  ~ITask() = default;
};

struct ITasks : IUnknown {
  PELMARK_INTERFACE(ITasks, "{5086F526-0007-4BC8-9B88-FDAF41174E45}");
  virtual int32_t Count() = 0;
  // 1-based, in enumeration order.
  virtual ComPtr<ITask> Item(int32_t index) = 0;

 protected:
  ~ITasks() = default;
};

// The step definition.
struct IActivity : IUnknown {
  PELMARK_INTERFACE(IActivity, "{5086F526-0008-4BC8-9B88-FDAF41174E45}");
  virtual ComPtr<ITasks> Tasks() = 0;
  virtual ComPtr<IParameters> Parameters() = 0;
  virtual int32_t ProcessID() = 0;
  virtual int32_t RequestCount() = 0;
  virtual int32_t MinResponses() = 0;
  // Text holding a number, as the designer typed it.
  virtual std::string MinApprovals() = 0;

 protected:
  ~IActivity() = default;
};

// A running workflow instance.
struct IProcessInstance : IUnknown {
  PELMARK_INTERFACE(IProcessInstance, "{5086F526-0009-4BC8-9B88-FDAF41174E45}");
  virtual ComPtr<IVariables> Variables() = 0;
  virtual Variant InitiatorID() = 0;
  virtual Variant InitiatorType() = 0;
  virtual Variant InitiatorName() = 0;
  virtual Variant InitiatorComment() = 0;
  virtual Variant ProcessName() = 0;

 protected:
  ~IProcessInstance() = default;
};

// The services object passed to every activity call.
struct IActivityServices : IUnknown {
  PELMARK_INTERFACE(IActivityServices, "{5086F526-000A-4BC8-9B88-FDAF41174E45}");
  virtual ComPtr<IProcessInstance> GetProcessInstance(int32_t process_id) = 0;
  // "DmsService", "ConfigurationService" or "NotificationService"; null when the
  // host does not offer it.
  virtual ComPtr<IService> GetService(std::string_view name) = 0;

 protected:
  ~IActivityServices() = default;
};

// The interface every activity class implements. Its three methods sit in vtable
// slots 7, 8 and 9, after IUnknown and the dispatch base.
struct IActivityRuntime : IDispatch {
  PELMARK_INTERFACE(IActivityRuntime, "{8F47B557-E07C-4004-AE88-3A49EFA0B7AC}");
  // Returns 1 when the step is complete, 3 while it waits for more answers.
  virtual int32_t EvaluateCompositeTask(IActivityServices* services, IActivity* activity,
                                        ITask*& task) = 0;
  // Returns 1 when done, 2 while pending.
  virtual int32_t Execute(IActivityServices* services, ITask*& task) = 0;
  virtual void Initialize(IActivityServices* services, IActivity* activity) = 0;

 protected:
  ~IActivityRuntime() = default;
};

// Result codes of Execute and EvaluateCompositeTask.
inline constexpr int32_t kResultDone = 1;
inline constexpr int32_t kResultPending = 2;
inline constexpr int32_t kResultStaysOpen = 3;

}  // namespace pelmark
