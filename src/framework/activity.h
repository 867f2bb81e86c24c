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
#include "corvane/design.h"
#include "framework/com_object.h"
#include "pelmark/host.h"
#include "rules/error_report.h"

namespace corvane {

// What answers an object's design-time interface: the class table gives every
// object it creates the one for the module. Stateless, so shared by all objects.
class DesignAnswers {
 public:
  virtual std::string Describe(const ClassInfo& info) const = 0;
  // Never throws (see IActivityDesign::Check).
  virtual std::string Check(const ClassInfo& info, std::string_view configuration) const = 0;

 protected:
  ~DesignAnswers() = default;
};

class Activity : public pelmark::IActivityRuntime {
 public:
  explicit Activity(const ClassInfo& info);
  Activity(const Activity&) = delete;
  Activity& operator=(const Activity&) = delete;

  const ClassInfo& info() const { return info_; }
  // Makes the object answer IActivityDesign; without it the object answers only
  // its run-time interfaces.
  void set_design_answers(const DesignAnswers* answers) { design_answers_ = answers; }

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

  // IActivityRuntime: each runs its Run member and, when the call fails, tells
  // the installed observer what the step was reading as it raised.
  int32_t EvaluateCompositeTask(pelmark::IActivityServices* services, pelmark::IActivity* activity,
                                pelmark::ITask*& task) final;
  int32_t Execute(pelmark::IActivityServices* services, pelmark::ITask*& task) final;
  void Initialize(pelmark::IActivityServices* services, pelmark::IActivity* activity) final;

  // The number of activity objects alive in this module (for DllCanUnloadNow).
  static int32_t LiveObjects();

 protected:
  virtual ~Activity();

  // The calls themselves. The defaults take and release their references and
  // touch nothing else; RunExecute runs ExecuteWork inside the public error report.
  virtual int32_t RunEvaluateCompositeTask(pelmark::IActivityServices* services,
                                           pelmark::IActivity* activity, pelmark::ITask*& task);
  virtual int32_t RunExecute(pelmark::IActivityServices* services, pelmark::ITask*& task);
  virtual void RunInitialize(pelmark::IActivityServices* services, pelmark::IActivity* activity);

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
  // IActivityDesign beside IActivityRuntime: a part of the object that shares its
  // identity and reference count.
  class DesignFacet final : public IActivityDesign {
   public:
    explicit DesignFacet(Activity& owner) : owner_(owner) {}
    pelmark::HRESULT QueryInterface(const pelmark::IID& iid, void** out) override {
      return owner_.QueryInterface(iid, out);
    }
    uint32_t AddRef() override { return owner_.AddRef(); }
    uint32_t Release() override { return owner_.Release(); }
    pelmark::HRESULT GetTypeInfoCount(uint32_t* count) override {
      return owner_.GetTypeInfoCount(count);
    }
    pelmark::HRESULT GetTypeInfo(uint32_t index, uint32_t lcid, void** info) override {
      return owner_.GetTypeInfo(index, lcid, info);
    }
    pelmark::HRESULT GetIDsOfNames(std::span<const std::string_view> names,
                                   int32_t* dispids) override {
      return owner_.GetIDsOfNames(names, dispids);
    }
    pelmark::HRESULT Invoke(int32_t dispid, std::span<pelmark::Variant> args,
                            pelmark::Variant* result) override {
      return owner_.Invoke(dispid, args, result);
    }
    std::string Describe() override { return owner_.design_answers_->Describe(owner_.info_); }
    std::string Check(std::string_view configuration) override {
      return owner_.design_answers_->Check(owner_.info_, configuration);
    }

   private:
    Activity& owner_;
  };

  // Runs one call the host makes, named `method`.
  template <class Body>
  decltype(auto) InCall(std::string_view method, Body&& body) {
    ForgetRaise();
    try {
      return std::forward<Body>(body)();
    } catch (const pelmark::Error& error) {
      TellRaised(info_.name, method, error);
      throw;
    }
  }

  pelmark::HRESULT InvokeDesign(int32_t dispid, std::span<pelmark::Variant> args,
                                pelmark::Variant* result);

  const ClassInfo& info_;
  uint32_t refs_ = 0;
  const DesignAnswers* design_answers_ = nullptr;
  DesignFacet design_facet_{*this};
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
