// The workflow sections of a scenario: "workflow" (the steps and what follows
// each) and "events" (answers, runs and the clock, in time order). Everything
// that can be known before the instance runs is checked here: names, tasks, the
// clock's direction and the shape of the step graph.
#include <algorithm>
#include <functional>
#include <set>

#include "expectations.h"
#include "scenario_parts.h"

namespace corvane::cli {
namespace {

constexpr std::string_view kHumanTaskClasses[] = {"DocApproval", "Review", "ToDo"};

// The outcomes a step's evaluation can have, for its "next".
std::vector<std::string_view> OutcomesOf(std::string_view class_name) {
  if (class_name == "DocApproval") return {"approved", "rejected"};
  if (IsHumanTaskClass(class_name)) return {"complete"};
  return {};
}

std::map<std::string, std::string> ReadNext(const Node& n, std::string_view class_name) {
  if (n.json().is_string()) return {{"", n.Text()}};
  const std::vector<std::string_view> outcomes = OutcomesOf(class_name);
  if (outcomes.empty() || !n.json().is_object())
    n.Fail(outcomes.empty()
               ? "a " + std::string(class_name) + " step has one way on: give the next step's name"
               : "expected the next step's name, or an object naming the step "
                 "for each outcome");
  n.Keys(std::span(outcomes.data(), outcomes.size()));
  std::map<std::string, std::string> next;
  for (auto& [outcome, name] : n.Members("outcomes to step names")) next[outcome] = name.Text();
  return next;
}

WorkflowStep ReadWorkflowStep(const Node& n, Scenario& s, int32_t process_id) {
  n.RequireObject("a step: {\"name\", \"class\", \"tasks\", ...}");
  n.Keys({"name", "class", "step", "tasks", "due", "next"});
  WorkflowStep step;
  step.place = n.place();
  step.name = n.At("name").Text();
  if (step.name.empty()) n.At("name").Fail("a step needs a name that events and branches use");
  step.step_class = ResolveClassReference(n.At("class").Text(), n.place() + ".class");
  if (n.Has("step")) ReadStep(n.At("step"), step.activity);
  step.activity.process_id = process_id;
  for (sim::TaskSpec& task : ReadTasks(n.At("tasks"), process_id)) {
    if (std::ranges::any_of(s.tasks, [&](const auto& t) { return t.task_id == task.task_id; }))
      n.At("tasks").Fail("two tasks have the id " + std::to_string(task.task_id) +
                         "; a task belongs to one step");
    task.in_step = false;  // until its step starts
    step.task_ids.push_back(task.task_id);
    s.tasks.push_back(std::move(task));
  }
  if (step.task_ids.empty())
    n.At("tasks").Fail("a step needs a task: the host hands one to each call of the step");
  if (n.Has("due")) {
    if (!IsHumanTaskClass(step.step_class.name))
      n.At("due").Fail("only a step people answer (DocApproval, Review, ToDo) falls due");
    step.due_days = AdvanceDays(n.At("due"));
    if (*step.due_days <= 0) n.At("due").Fail("a step falls due some time after it starts");
  }
  if (n.Has("next")) step.next = ReadNext(n.At("next"), step.step_class.name);
  return step;
}

// Every branch names a step, and no step can be reached from itself: an
// instance of this tool's workflows always comes to an end.
void CheckStepGraph(const Workflow& w) {
  for (const WorkflowStep& step : w.steps)
    for (const auto& [outcome, name] : step.next)
      if (!FindStep(w, name)) {
        std::vector<std::string_view> names;
        for (const WorkflowStep& s : w.steps) names.push_back(s.name);
        throw ScenarioError(step.place + ".next" + (outcome.empty() ? "" : "." + outcome),
                            "no step is called \"" + name + "\"" + Suggestion(name, names));
      }
  std::set<std::string> done;
  std::vector<std::string> path;
  std::function<void(const WorkflowStep&)> visit = [&](const WorkflowStep& step) {
    if (done.contains(step.name)) return;
    if (std::ranges::find(path, step.name) != path.end()) {
      std::string cycle;
      for (auto it = std::ranges::find(path, step.name); it != path.end(); ++it)
        cycle += *it + " -> ";
      throw ScenarioError(step.place + ".next", "the steps go round in a cycle (" + cycle +
                                                    step.name + "): the instance would never end");
    }
    path.push_back(step.name);
    for (const auto& [outcome, name] : step.next) visit(*FindStep(w, name));
    path.pop_back();
    done.insert(step.name);
  };
  for (const WorkflowStep& step : w.steps) visit(step);
}

WorkflowEvent ReadEvent(const Node& n, const Scenario& s, double previous) {
  n.RequireObject("an event: {\"at\" or \"after\", then \"answer\" or \"run\"}");
  n.Keys({"at", "after", "answer", "run", "expect"});
  WorkflowEvent e;
  e.place = n.place();
  if (n.Has("at") && n.Has("after"))
    n.Fail("give the event's time by \"at\" or \"after\", not both");
  e.time = n.Has("at") ? n.At("at").Date() : previous;
  if (n.Has("after")) e.time = previous + AdvanceDays(n.At("after"));
  if (e.time < previous)
    (n.Has("at") ? n.At("at") : n.At("after"))
        .Fail("the clock would move backwards, from " + IsoDate(previous) + " to " +
              IsoDate(e.time) + ": events come in time order");
  if (n.Has("answer") && n.Has("run")) n.Fail("an event is one answer or one run, not both");
  if (n.Has("answer")) {
    const Node a = n.At("answer");
    a.RequireObject("an answer: {\"task\", \"approved\", \"comment\", \"variables\"}");
    a.Keys({"task", "approved", "comment", "variables"});
    e.kind = WorkflowEvent::Kind::kAnswer;
    e.task_id = a.At("task").Int();
    const WorkflowStep* step = StepOfTask(*s.workflow, e.task_id);
    if (!step)
      a.At("task").Fail("no task has the id " + std::to_string(e.task_id) +
                        "; the workflow's tasks are " + TaskIds(s));
    if (!IsHumanTaskClass(step->step_class.name))
      a.At("task").Fail("task " + std::to_string(e.task_id) + " belongs to step \"" + step->name +
                        "\" (" + step->step_class.name + "), which nobody answers");
    if (a.Has("approved")) e.approved = a.At("approved").Bool();
    if (a.Has("comment")) e.comment = a.At("comment").Text();
    if (a.Has("variables"))
      for (auto& [name, value] : a.At("variables").Members("variable names to values"))
        e.variables.push_back({.name = name, .value = value.Value()});
  } else if (n.Has("run")) {
    e.kind = WorkflowEvent::Kind::kRun;
    e.step = n.At("run").Text();
    if (!FindStep(*s.workflow, e.step)) n.At("run").Fail("no step is called \"" + e.step + "\"");
  } else if (!n.Has("at") && !n.Has("after")) {
    n.Fail("an event answers a task, runs a step or moves the clock (\"at\" or \"after\")");
  }
  if (n.Has("expect")) {
    ValidateInstanceExpect(n.At("expect").json(), n.place() + ".expect");
    e.expect = n.At("expect").json();
  }
  return e;
}

}  // namespace

bool IsHumanTaskClass(std::string_view class_name) {
  return std::ranges::find(kHumanTaskClasses, class_name) != std::end(kHumanTaskClasses);
}

const WorkflowStep* StepOfTask(const Workflow& w, int32_t task_id) {
  for (const WorkflowStep& step : w.steps)
    if (std::ranges::find(step.task_ids, task_id) != step.task_ids.end()) return &step;
  return nullptr;
}

const WorkflowStep* FindStep(const Workflow& w, std::string_view name) {
  for (const WorkflowStep& step : w.steps)
    if (step.name == name) return &step;
  return nullptr;
}

Scenario StepScenario(const Scenario& s, const WorkflowStep& step) {
  Scenario one = s;
  one.workflow.reset();
  one.step_class = step.step_class;
  one.activity = step.activity;
  one.tasks.clear();
  for (int32_t id : step.task_ids)
    for (const sim::TaskSpec& t : s.tasks)
      if (t.task_id == id) one.tasks.push_back(t);
  // The calls a host makes of the step: Initialize, Execute of each task, and
  // for a step people answer, the evaluation of each answer.
  one.calls = {CallSpec{.method = Method::kInitialize, .step_class = step.step_class}};
  for (int32_t id : step.task_ids) {
    one.calls.push_back({.method = Method::kExecute, .step_class = step.step_class, .task_id = id});
    if (IsHumanTaskClass(step.step_class.name))
      one.calls.push_back(
          {.method = Method::kEvaluateCompositeTask, .step_class = step.step_class, .task_id = id});
  }
  return one;
}

void ParseWorkflow(const Node& root, Scenario& s, int32_t process_id) {
  for (std::string_view single : {"class", "step", "tasks", "calls"})
    if (root.Has(single))
      root.At(single).Fail(
          "a workflow's steps hold their own class, parameters and tasks; move \"" +
          std::string(single) + "\" into a step of \"workflow\"");
  if (!s.now)
    root.Fail("a workflow needs \"now\": the time its instance starts, from which events count");
  const Node wf = root.At("workflow");
  wf.RequireObject("a workflow: {\"steps\": [...]}");
  wf.Keys({"steps"});
  s.workflow.emplace();
  for (const Node& n : wf.At("steps").List()) {
    WorkflowStep step = ReadWorkflowStep(n, s, process_id);
    if (FindStep(*s.workflow, step.name))
      n.At("name").Fail("two steps are called \"" + step.name + "\"");
    s.workflow->steps.push_back(std::move(step));
  }
  if (s.workflow->steps.empty()) wf.At("steps").Fail("a workflow needs a step to start with");
  CheckStepGraph(*s.workflow);
  int32_t last_id = 0;
  for (const sim::TaskSpec& t : s.tasks) last_id = std::max(last_id, t.task_id);
  for (WorkflowStep& step : s.workflow->steps)
    if (IsHumanTaskClass(step.step_class.name)) step.evaluation_task = ++last_id;
  s.step_class = s.workflow->steps.front().step_class;
  double time = *s.now;
  if (root.Has("events"))
    for (const Node& n : root.At("events").List()) {
      s.workflow->events.push_back(ReadEvent(n, s, time));
      time = s.workflow->events.back().time;
    }
  if (root.Has("expect")) {
    ValidateInstanceExpect(root.At("expect").json(), "expect");
    s.workflow->expect = root.At("expect").json();
  }
}

}  // namespace corvane::cli
