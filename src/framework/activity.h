// The base of every activity class: COM identity (IUnknown, the dispatch base,
// IActivityRuntime and the class's default interface _<Class>), late binding by
// name, the default Initialize and EvaluateCompositeTask, and the common frame of
// Execute, which runs the class's work inside the error report.
//
// Threading: apartment; an object is called on one thread and keeps no state
// between calls.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

#include "corvane/catalogue.h"
#include "framework/com_object.h"
#include "pelmark/host.h"
#include "rules/error_report.h"

namespace corvane {

class Activity : public pelmark::IActivityRuntime {
 public:
  explicit Activity(const ClassInfo& info);
  Activity(const Activity&) = delete;
  Activity& operator=(const Activity&) = delete;

  const ClassInfo& info() const { return info_; }

  // IUnknown
  pelmark::HRESULT QueryInterface(const pelmark::IID& iid, void** out) override;
  uint32_t AddRef() override;
  uint32_t Release() override;

  // IDispatch
  pelmark::HRESULT GetTypeInfoCount(uint32_t* count) override;
  pelmark::HRESULT GetTypeInfo(uint32_t index, uint32_t lcid, void** info) override;
  pelmark::HRESULT GetIDsOfNames(std::span<const std::string_view> names,
                                 int32_t* dispids) override;
  pelmark::HRESULT Invoke(int32_t dispid, std::span<pelmark::Variant> args,
                          pelmark::Variant* result) override;

  // IActivityRuntime. The defaults take and release their references and touch
  // nothing else; Execute runs ExecuteWork inside the public error report.
  int32_t EvaluateCompositeTask(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                                pelmark::ITask*& task) override;
  int32_t Execute(pelmark::IActivityServices* services, pelmark::ITask*& task) override;
  void Initialize(pelmark::IActivityServices* services, pelmark::IActivity* activity) override;

  // The number of activity objects alive in this module (for DllCanUnloadNow).
  static int32_t LiveObjects();

 protected:
  virtual ~Activity();

  // The class's own work inside Execute; `at` numbers its statements.
  virtual int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                              Line& at) = 0;

  // Other interfaces a class answers besides the common ones (null when none).
  virtual void* QueryOwnInterface(const pelmark::IID& iid) { return nullptr; }
  // Extra dispatch members: name to id, and the call. DISP_E_* when unknown.
  virtual int32_t OwnDispatchId(std::string_view name) { return -1; }
  virtual pelmark::HRESULT InvokeOwn(int32_t dispid, std::span<pelmark::Variant> args,
                                     pelmark::Variant* result) {
    return pelmark::DISP_E_MEMBERNOTFOUND;
  }

  // The ": IActivityRuntime_Execute Function Ln " location of this class.
  Location ExecuteLocation() const;

 private:
  const ClassInfo& info_;
  uint32_t refs_ = 0;
};

// Dispatch ids of the IActivityRuntime members.
inline constexpr int32_t kDispEvaluateCompositeTask = 0x60020000;
inline constexpr int32_t kDispExecute = 0x60020001;
inline constexpr int32_t kDispInitialize = 0x60020002;

// Takes an object argument of a late-bound call as interface T; raises 13 when the
// argument is no object of that kind. Nothing (Empty or a null object) gives null.
template <class T>
pelmark::ComPtr<T> ObjectArgument(const pelmark::Variant& v) {
  if (v.is_empty()) return {};
  if (!v.is_object()) Raise(13);
  if (!v.object_value()) return {};
  return QueryOrRaise<T>(v.object_value());
}

}  // namespace corvane
