#include "workflow_runner.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <set>
#include <vector>

#include "class_descriptions.h"
#include "expectations.h"

namespace corvane::cli {
namespace {

// ITask.Status of an answered task, as the steps people answer compare it.
constexpr double kTaskCompleted = 134217729.0;  // &H08000001

// A Long or Double as a number; none for any other kind.
std::optional<double> NumberOf(const pelmark::Variant& v) {
  if (v.type() == pelmark::VarType::Long) return v.long_value();
  if (v.type() == pelmark::VarType::Double) return v.double_value();
  return std::nullopt;
}

// "2 days 3 hours", for the summary.
std::string Elapsed(double days) {
  const long long minutes = std::llround(days * 1440);
  const long long d = minutes / 1440, h = minutes % 1440 / 60, m = minutes % 60;
  std::string out;
  auto part = [&](long long n, const char* unit) {
    if (n == 0) return;
    out += (out.empty() ? "" : " ") + std::to_string(n) + " " + unit + (n == 1 ? "" : "s");
  };
  part(d, "day");
  part(h, "hour");
  part(m, "minute");
  return out.empty() ? "no time" : out;
}

class Instance {
 public:
  Instance(const Scenario& s, sim::Simulator& sim, CliPlatform& platform, StepObjects& objects,
           StepCalls& calls, ReportSink& sink)
      : s_(s),
        w_(*s.workflow),
        sim_(sim),
        platform_(platform),
        objects_(objects),
        calls_(calls),
        sink_(sink) {}

  Json Run() {
    platform_.now = *s_.now;
    // Each step people answer has its evaluation task, with the variables its
    // class writes there.
    for (const WorkflowStep& step : w_.steps) {
      if (!step.evaluation_task) continue;
      sim::TaskSpec task{.task_id = step.evaluation_task,
                         .process_id = step.activity.process_id,
                         .in_step = false};
      if (const ClassDescription* d = FindDescription(step.step_class.name))
        for (const VariableDoc& v : d->writes)
          task.variables.push_back({.name = v.name, .value = pelmark::Variant::Null()});
      sim_.AddTask(std::move(task));
    }
    const WorkflowStep& first = w_.steps.front();
    Begin("start", "The instance starts at step \"" + first.name + "\"", &first);
    Start(first);
    End(std::nullopt);
    for (const WorkflowEvent& e : w_.events) {
      // The clock may move past the end (what is due meanwhile happens on the
      // way); nothing else can happen to an instance that is over.
      RequireRunning(e);
      FireTimersUntil(e.time);
      if (e.kind != WorkflowEvent::Kind::kClock) RequireRunning(e);
      platform_.now = e.time;
      Happen(e);
    }
    if (w_.expect) {
      Begin("end", "The instance after the last event", nullptr);
      End(w_.expect);
    }
    Json summary = {{"steps_run", steps_run_},
                    {"decisions", decisions_},
                    {"messages", sim_.Messages().size()},
                    {"jobs", jobs_},
                    {"items_changed", calls_.ItemsChanged()},
                    {"elapsed", Elapsed(platform_.now - *s_.now)},
                    {"state", state_},
                    {"step", current_ ? Json(current_->name) : Json(nullptr)}};
    if (!stop_.is_null()) summary["stopped"] = stop_;
    sink_.EndTimeline(summary);
    return {{"events", failed_}, {"cases", Cases()}};
  }

 private:
  struct Timer {
    double due;
    const WorkflowStep* step;
    bool job;  // a Wait's job; else the step's tasks falling due
  };

  void RequireRunning(const WorkflowEvent& e) const {
    if (state_ != "running")
      throw ScenarioError(e.place, "the instance " + state_ + " at " + IsoDate(ended_at_) + " (" +
                                       ended_how_ + "); no event can happen after that");
  }

  // --- The report's events --------------------------------------------------

  void Begin(const char* kind, std::string title, const WorkflowStep* step) {
    event_ = {{"index", ++events_},
              {"time", IsoDate(platform_.now)},
              {"kind", kind},
              {"title", std::move(title)},
              {"step", step ? Json(step->name) : Json(nullptr)}};
    sink_.BeginEvent(event_);
  }

  // One test case per step and one per expect block, for a CI server: a step
  // fails when a call of it raised or missed an expectation, a block when it
  // does not hold; a step the instance never reached is skipped.
  Json Cases() const {
    Json cases = Json::array();
    for (const WorkflowStep& step : w_.steps) {
      Json c = {{"name", "step " + step.name + " (" + step.step_class.name + ")"}};
      const auto it = step_failures_.find(step.name);
      if (it != step_failures_.end()) c["failure"] = it->second;
      if (!runs_.contains(step.name)) c["skipped"] = "the instance never reached it";
      cases.push_back(std::move(c));
    }
    for (const Json& e : expect_cases_) cases.push_back(e);
    return cases;
  }

  void End(const std::optional<Json>& expect) {
    Json tail = {{"state", state_}, {"current_step", current_ ? Json(current_->name) : Json()}};
    tail["expectations"] = {{"checked", Json::array()}, {"failures", Json::array()}};
    if (expect) {
      Json facts = calls_.Facts(*expect);
      facts["state"] = state_;
      facts["step"] = current_ ? Json(current_->name) : Json(nullptr);
      facts["decision"] = decisions_.empty() ? Json(nullptr) : decisions_.back();
      tail["expectations"] = CheckInstanceExpectations(*expect, facts);
    }
    if (expect) {
      Json c = {{"name", "event " + event_["index"].dump() + " at " +
                             event_["time"].get<std::string>() + ": " +
                             event_["title"].get<std::string>()}};
      const Json& failures = tail["expectations"]["failures"];
      if (!failures.empty()) {
        std::string lines;
        for (const Json& f : failures)
          lines += f["what"].get<std::string>() + ": expected " + f["expected"].dump() +
                   ", actual " + f["actual"].dump() + "\n";
        c["failure"] = lines;
      }
      expect_cases_.push_back(std::move(c));
    }
    if (!tail["expectations"]["failures"].empty() || call_failed_)
      failed_.push_back({{"index", event_["index"]},
                         {"title", event_["title"]},
                         {"expectations", tail["expectations"]}});
    call_failed_ = false;
    sink_.EndEvent(tail);
  }

  // --- The host's part --------------------------------------------------------

  // Makes one call of `step`; answers its head, or null once it raised, which
  // stops the instance as a host stops it.
  std::optional<Json> Call(const WorkflowStep& step, Method method, int32_t task_id) {
    CallSpec c{.method = method,
               .step_class = step.step_class,
               .task_id = task_id,
               .place = step.place,
               .step = step.name};
    Json head = calls_.Call(c, objects_.at(step.name).get());
    runs_.insert(step.name);
    if (!head["failed"].is_null()) {
      call_failed_ = true;
      step_failures_[step.name] += "call " + head["index"].dump() + " (" +
                                   head["method"].get<std::string>() +
                                   ") missed its expectations\n";
    }
    if (head["error"].is_null()) return head;
    Stop(step, head);
    return std::nullopt;
  }

  void Stop(const WorkflowStep& step, const Json& head) {
    state_ = "stopped";
    ended_at_ = platform_.now;
    const Json& error = head["error"];
    step_failures_[step.name] +=
        "call " + head["index"].dump() + " (" + head["method"].get<std::string>() +
        ") raised error " + error["number"].dump() + ": " +
        error["description"].get<std::string>() + ", which stopped the instance\n";
    ended_how_ = "step \"" + step.name + "\" raised error " + error["number"].dump() + " in " +
                 head["method"].get<std::string>();
    stop_ = {{"step", step.name},
             {"method", head["method"]},
             {"task", head.value("task", Json())},
             {"error", error},
             {"event", event_["index"]}};
    timers_.clear();
  }

  void Finish(std::string how) {
    state_ = "ended";
    ended_at_ = platform_.now;
    ended_how_ = std::move(how);
    current_ = nullptr;
    timers_.clear();
  }

  // A step starts: it becomes the activity the host hands out, its tasks the
  // step's tasks; a step nobody answers does its work at once.
  void Start(const WorkflowStep& step) {
    current_ = &step;
    ++steps_run_;
    sim_.SetActivity(step.activity);
    for (const sim::TaskSpec& t : s_.tasks) {
      const bool own = std::ranges::find(step.task_ids, t.task_id) != step.task_ids.end();
      sim_.SetTaskInStep(t.task_id, own);
      // The host makes a step's tasks when it starts: that is their date,
      // unless the file gives one.
      if (own && t.task_date == pelmark::Variant::Date(0))
        sim_.SetTaskDate(t.task_id, pelmark::Variant::Date(platform_.now));
    }
    if (!Call(step, Method::kInitialize, 0)) return;
    if (IsHumanTaskClass(step.step_class.name)) {
      if (step.due_days) timers_.push_back({platform_.now + *step.due_days, &step, false});
      return;
    }
    Work(step);
  }

  // Executes each task of a step nobody answers, then goes on.
  void Work(const WorkflowStep& step) {
    std::optional<Json> last;
    for (int32_t id : step.task_ids)
      if (!(last = Call(step, Method::kExecute, id))) return;
    if (step.step_class.name == "EndWorkflow")
      return Finish("step \"" + step.name + "\" ended the workflow");
    if (step.step_class.name == "Wait" && (*last)["result"] == 2) return Schedule(step);
    Follow(step, "");
  }

  // A Wait that returned 2 is woken by its job: the host runs it again when
  // the job's Start Date comes.
  void Schedule(const WorkflowStep& step) {
    const int32_t task = step.task_ids.back();
    std::optional<double> due;
    try {
      const std::optional<double> id = NumberOf(sim_.TaskVariable(task, "JOBID"));
      if (const sim::Entity* job = id ? sim_.FindJob(static_cast<int32_t>(*id)) : nullptr)
        for (const sim::Field& f : job->fields)
          if (f.name == "Start Date" && f.value.type() == pelmark::VarType::Date)
            due = f.value.date_value();
    } catch (const pelmark::Error&) {
    }
    ++jobs_;
    // A job already due fires at once, as a host's scheduler would.
    if (due) timers_.push_back({std::max(*due, platform_.now), &step, true});
  }

  void Follow(const WorkflowStep& step, const std::string& outcome) {
    auto it = step.next.find(outcome);
    if (it == step.next.end()) it = step.next.find("");
    if (it == step.next.end())
      return Finish("no step follows step \"" + step.name + "\"" +
                    (outcome.empty() ? "" : " when " + outcome));
    Start(*FindStep(w_, it->second));
  }

  // An evaluation that decided: the outcome picks the branch.
  void Decided(const WorkflowStep& step, int32_t task_id, const Json& head) {
    std::string outcome = "complete";
    if (step.step_class.name == "DocApproval") {
      const pelmark::Variant approved = sim_.TaskVariable(task_id, "APPROVED");
      outcome = approved.type() == pelmark::VarType::Boolean && approved.bool_value() ? "approved"
                                                                                      : "rejected";
    }
    auto it = step.next.find(outcome);
    if (it == step.next.end()) it = step.next.find("");
    Json d = head["decision"].is_null() ? Json::object() : head["decision"];
    d["step"] = step.name;
    d["time"] = IsoDate(platform_.now);
    d["branch"] = outcome;
    d["next"] = it == step.next.end() ? Json(nullptr) : Json(it->second);
    decisions_.push_back(std::move(d));
    std::erase_if(timers_, [&](const Timer& t) { return t.step == &step; });
    Follow(step, outcome);
  }

  void Evaluate(const WorkflowStep& step) {
    std::optional<Json> head = Call(step, Method::kEvaluateCompositeTask, step.evaluation_task);
    if (head && (*head)["result"] == 1) Decided(step, step.evaluation_task, *head);
  }

  // --- Events -------------------------------------------------------------

  void FireTimersUntil(double time) {
    while (state_ == "running") {
      auto next = std::ranges::min_element(timers_, {}, &Timer::due);
      if (next == timers_.end() || next->due > time) return;
      const Timer timer = *next;
      timers_.erase(next);
      platform_.now = timer.due;
      const WorkflowStep& step = *timer.step;
      if (timer.job) {
        Begin("job", "The job of step \"" + step.name + "\" comes due", &step);
        Work(step);
      } else {
        Begin("due", "The tasks of step \"" + step.name + "\" fall due", &step);
        Evaluate(step);
      }
      End(std::nullopt);
    }
  }

  void Happen(const WorkflowEvent& e) {
    switch (e.kind) {
      case WorkflowEvent::Kind::kClock:
        Begin("clock", "The clock moves to " + IsoDate(e.time), current_);
        break;
      case WorkflowEvent::Kind::kRun: {
        const WorkflowStep& step = *FindStep(w_, e.step);
        Begin("run", "Step \"" + step.name + "\" runs", &step);
        Start(step);
        break;
      }
      case WorkflowEvent::Kind::kAnswer:
        Answer(e);
        break;
    }
    End(e.expect);
  }

  void Answer(const WorkflowEvent& e) {
    const WorkflowStep& step = *StepOfTask(w_, e.task_id);
    if (current_ != &step)
      throw ScenarioError(e.place + ".answer.task",
                          "task " + std::to_string(e.task_id) + " belongs to step \"" + step.name +
                              "\", which is not running at " + IsoDate(e.time) + " (" +
                              (current_ ? "step \"" + current_->name + "\" is" : "no step is") +
                              ")");
    const pelmark::Variant status = sim_.Task(e.task_id)->Status();
    if (NumberOf(status) == kTaskCompleted)
      throw ScenarioError(e.place + ".answer.task",
                          "task " + std::to_string(e.task_id) + " has been answered already");
    std::string title = "Task " + std::to_string(e.task_id) + " is answered";
    for (const sim::TaskSpec& t : s_.tasks)
      if (t.task_id == e.task_id && t.resource_name.is_string() &&
          !t.resource_name.string_value().empty())
        title = t.resource_name.string_value() + " answers task " + std::to_string(e.task_id);
    if (e.approved) title += *e.approved ? ": approved" : ": rejected";
    Begin("answer", std::move(title), &step);
    sim_.SetTaskStatus(e.task_id, kTaskCompleted);
    if (e.approved) sim_.SetTaskVariable(e.task_id, {.name = "APPROVED", .value = *e.approved});
    if (e.comment) sim_.SetTaskVariable(e.task_id, {.name = "COMMENTS", .value = *e.comment});
    for (const sim::VariableSpec& v : e.variables) sim_.SetTaskVariable(e.task_id, v);
    if (Call(step, Method::kExecute, e.task_id)) Evaluate(step);
  }

  const Scenario& s_;
  const Workflow& w_;
  sim::Simulator& sim_;
  CliPlatform& platform_;
  StepObjects& objects_;
  StepCalls& calls_;
  ReportSink& sink_;

  const WorkflowStep* current_ = nullptr;
  std::vector<Timer> timers_;
  std::string state_ = "running";
  double ended_at_ = 0;
  std::string ended_how_;
  Json stop_;
  Json event_;
  Json decisions_ = Json::array();
  Json failed_ = Json::array();
  bool call_failed_ = false;
  std::set<std::string> runs_;                        // steps that made a call
  std::map<std::string, std::string> step_failures_;  // by step name
  Json expect_cases_ = Json::array();
  int events_ = 0, steps_run_ = 0, jobs_ = 0;
};

}  // namespace

Json RunWorkflow(const Scenario& s, sim::Simulator& sim, CliPlatform& platform,
                 StepObjects& objects, StepCalls& calls, ReportSink& sink) {
  return Instance(s, sim, platform, objects, calls, sink).Run();
}

}  // namespace corvane::cli
