#include "framework/activity.h"

#include <atomic>
#include <cctype>

namespace corvane {
namespace {

std::atomic<int32_t> g_live_objects{0};

bool SameNameIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

struct RuntimeMember {
  std::string_view name;
  int32_t dispid;
  size_t arg_count;
};
constexpr RuntimeMember kRuntimeMembers[] = {
    {"EvaluateCompositeTask", kDispEvaluateCompositeTask, 3},
    {"Execute", kDispExecute, 2},
    {"Initialize", kDispInitialize, 2},
};
constexpr RuntimeMember kDesignMembers[] = {
    {"Describe", kDispDescribe, 0},
    {"Check", kDispCheck, 1},
};

}  // namespace

Activity::Activity(const ClassInfo& info) : info_(info) { ++g_live_objects; }
Activity::~Activity() { --g_live_objects; }
int32_t Activity::LiveObjects() { return g_live_objects.load(); }

pelmark::HRESULT Activity::QueryInterface(const pelmark::IID& iid, void** out) {
  if (!out) return pelmark::E_POINTER;
  *out = nullptr;
  // A default interface without members of its own is the dispatch base itself.
  *out = QueryOwnInterface(iid);
  if (!*out && iid == IActivityDesign::iid && design_answers_)
    *out = static_cast<IActivityDesign*>(&design_facet_);
  if (!*out && (iid == pelmark::IUnknown::iid || iid == pelmark::IDispatch::iid ||
                iid == pelmark::IActivityRuntime::iid || iid == info_.default_iid))
    *out = static_cast<pelmark::IActivityRuntime*>(this);
  if (!*out) return pelmark::E_NOINTERFACE;
  AddRef();
  return pelmark::S_OK;
}

uint32_t Activity::AddRef() { return ++refs_; }

uint32_t Activity::Release() {
  uint32_t n = --refs_;
  if (n == 0) delete this;
  return n;
}

pelmark::HRESULT Activity::GetTypeInfoCount(uint32_t* count) {
  if (!count) return pelmark::E_POINTER;
  *count = 0;
  return pelmark::S_OK;
}

pelmark::HRESULT Activity::GetTypeInfo(uint32_t, uint32_t, void** info) {
  if (info) *info = nullptr;
  return pelmark::E_NOTIMPL;
}

pelmark::HRESULT Activity::GetIDsOfNames(std::span<const std::string_view> names,
                                         int32_t* dispids) {
  if (!dispids) return pelmark::E_POINTER;
  if (names.empty()) return pelmark::E_INVALIDARG;
  // Only member names resolve; named arguments are not supported.
  for (size_t i = 1; i < names.size(); ++i) dispids[i] = -1;
  for (const RuntimeMember& m : kRuntimeMembers) {
    if (SameNameIgnoringCase(names[0], m.name)) {
      dispids[0] = m.dispid;
      return names.size() == 1 ? pelmark::S_OK : pelmark::DISP_E_UNKNOWNNAME;
    }
  }
  for (const RuntimeMember& m : kDesignMembers) {
    if (design_answers_ && SameNameIgnoringCase(names[0], m.name)) {
      dispids[0] = m.dispid;
      return names.size() == 1 ? pelmark::S_OK : pelmark::DISP_E_UNKNOWNNAME;
    }
  }
  int32_t own = OwnDispatchId(names[0]);
  dispids[0] = own;
  if (own == -1) return pelmark::DISP_E_UNKNOWNNAME;
  return names.size() == 1 ? pelmark::S_OK : pelmark::DISP_E_UNKNOWNNAME;
}

pelmark::HRESULT Activity::Invoke(int32_t dispid, std::span<pelmark::Variant> args,
                                  pelmark::Variant* result) {
  for (const RuntimeMember& m : kRuntimeMembers) {
    if (m.dispid != dispid) continue;
    if (args.size() != m.arg_count) return pelmark::DISP_E_BADPARAMCOUNT;
    // A wrong kind of argument is the caller's type mismatch, not a failed call.
    pelmark::ComPtr<pelmark::IActivityServices> services;
    pelmark::ComPtr<pelmark::IActivity> activity;
    pelmark::ComPtr<pelmark::ITask> task;
    try {
      services = ObjectArgument<pelmark::IActivityServices>(args[0]);
      if (dispid != kDispExecute) activity = ObjectArgument<pelmark::IActivity>(args[1]);
      if (dispid != kDispInitialize) task = ObjectArgument<pelmark::ITask>(args.back());
    } catch (const pelmark::Error&) {
      return pelmark::DISP_E_TYPEMISMATCH;
    }
    pelmark::ITask* task_ref = task.get();
    pelmark::Variant out;
    switch (dispid) {
      case kDispEvaluateCompositeTask:
        out = EvaluateCompositeTask(services.get(), activity.get(), task_ref);
        break;
      case kDispExecute:
        out = Execute(services.get(), task_ref);
        break;
      default:
        Initialize(services.get(), activity.get());
        break;
    }
    if (result) *result = std::move(out);
    return pelmark::S_OK;
  }
  if (design_answers_ && (dispid == kDispDescribe || dispid == kDispCheck))
    return InvokeDesign(dispid, args, result);
  return InvokeOwn(dispid, args, result);
}

pelmark::HRESULT Activity::InvokeDesign(int32_t dispid, std::span<pelmark::Variant> args,
                                        pelmark::Variant* result) {
  const size_t wanted = dispid == kDispCheck ? 1 : 0;
  if (args.size() != wanted) return pelmark::DISP_E_BADPARAMCOUNT;
  if (wanted && !args[0].is_string()) return pelmark::DISP_E_TYPEMISMATCH;
  std::string answer =
      dispid == kDispCheck ? design_facet_.Check(args[0].string_value()) : design_facet_.Describe();
  if (result) *result = pelmark::Variant(std::move(answer));
  return pelmark::S_OK;
}

int32_t Activity::EvaluateCompositeTask(pelmark::IActivityServices* services,
                                        pelmark::IActivity* activity, pelmark::ITask*& task) {
  return InCall("EvaluateCompositeTask",
                [&] { return RunEvaluateCompositeTask(services, activity, task); });
}

int32_t Activity::Execute(pelmark::IActivityServices* services, pelmark::ITask*& task) {
  return InCall("Execute", [&] { return RunExecute(services, task); });
}

void Activity::Initialize(pelmark::IActivityServices* services, pelmark::IActivity* activity) {
  InCall("Initialize", [&] { RunInitialize(services, activity); });
}

int32_t Activity::RunEvaluateCompositeTask(pelmark::IActivityServices* services,
                                           pelmark::IActivity* activity, pelmark::ITask*&) {
  pelmark::ComPtr<pelmark::IActivityServices> held_services(services);
  pelmark::ComPtr<pelmark::IActivity> held_activity(activity);
  return pelmark::kResultDone;
}

void Activity::RunInitialize(pelmark::IActivityServices* services, pelmark::IActivity* activity) {
  pelmark::ComPtr<pelmark::IActivityServices> held_services(services);
  pelmark::ComPtr<pelmark::IActivity> held_activity(activity);
}

Location Activity::ExecuteLocation() const {
  return {kPublic, info_.name, ": IActivityRuntime_Execute Function Ln "};
}

int32_t Activity::RunExecute(pelmark::IActivityServices* services, pelmark::ITask*& task) {
  // Keep the object alive for the whole call, whatever the host does meanwhile.
  pelmark::ComPtr<pelmark::IActivityRuntime> self(this);
  pelmark::ComPtr<pelmark::IActivityServices> held_services(services);
  return Reported(ExecuteLocation(), [&](Line& at) { return ExecuteWork(services, task, at); });
}

}  // namespace corvane
