#include "runner.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>

#include "class_descriptions.h"
#include "corvane/catalogue.h"
#include "decision_report.h"
#include "design_check.h"
#include "expectations.h"
#include "json_reader.h"
#include "portable.h"
#include "rules/nearest_name.h"
#include "simulator.h"
#include "temporary_directories.h"
#include "workflow_runner.h"

namespace corvane::cli {
namespace {

namespace fs = std::filesystem;
using pelmark::Variant;

Json RefJson(const sim::Ref& r) {
  Json j = {{"entity", r.entity_name}, {"id", r.id}, {"typecode", r.type_code}};
  if (r.version_type != 0) j["versiontype"] = r.version_type;
  return j;
}

Json FieldJson(const sim::Field& f) {
  Json v = VariantJson(f.value);
  v["datatype"] = f.data_type;
  if (f.kind == sim::FieldKind::kLookup) {
    v["lookup"] = {{"id", f.id},
                   {"typecode", f.type_code},
                   {"major", f.major_version},
                   {"minor", f.minor_version},
                   {"display", f.display_value}};
    // The report shows what the reference points at: id, type code and, for an
    // audited document, its version.
    if (!f.is_null()) {
      std::string text = "-> " + std::to_string(f.id) + "/" + std::to_string(f.type_code);
      if (f.major_version != 0 || f.minor_version != 0)
        text += " v" + std::to_string(f.major_version) + "." + std::to_string(f.minor_version);
      v["text"] = text;
    }
  } else if (f.kind == sim::FieldKind::kChoice) {
    v["key"] = f.key_value;
    v["display"] = f.display_text;
  }
  return v;
}

Json EntityJson(const sim::Entity& e) {
  ObjectBuilder fields;
  for (const sim::Field& f : e.fields) fields.Set(f.name, FieldJson(f));
  return {{"entity", e.entity_name},
          {"id", e.id},
          {"typecode", e.type_code},
          {"fields", fields.Take()}};
}

Json ErrorJson(int32_t number, const std::string& source, const std::string& description) {
  char hex[16];
  std::snprintf(hex, sizeof hex, "0x%08X", static_cast<uint32_t>(number));
  Json chain = Json::array();
  // The source text is the origin followed by one location per line; a private
  // location ends its predecessor with " => ".
  size_t start = 0;
  while (true) {
    size_t end = source.find("\r\n", start);
    std::string part = source.substr(start, end == std::string::npos ? end : end - start);
    if (part.ends_with(" => ")) part.resize(part.size() - 4);
    chain.push_back(part);
    if (end == std::string::npos) break;
    start = end + 2;
  }
  return {{"number", number},
          {"hex", hex},
          {"description", description},
          {"source", source},
          {"chain", chain}};
}

Json CallJson(const sim::Call& c) {
  Json args = Json::array();
  for (const sim::Arg& a : c.args)
    args.push_back({{"name", a.name}, {"value", VariantJson(a.value)}});
  Json j = {{"op", c.op}, {"target", c.target}, {"args", args}};
  if (!c.result_object.empty())
    j["result_object"] = c.result_object;
  else if (!c.result.is_empty())
    j["result"] = VariantJson(c.result);
  if (c.error_number != 0) {
    j["error"] = {{"number", c.error_number}, {"description", c.error_description}};
    j["error_source"] = c.error_source;
  }
  j["text"] = c.ToString();
  return j;
}

Json MessageJson(const sim::MessageRecord& m) {
  Json properties = Json::object();
  for (const sim::Arg& p : m.properties) properties[p.name] = VariantJson(p.value);
  Json attachments = Json::array();
  for (const auto& a : m.attachments)
    attachments.push_back({{"contenttype", VariantJson(a.content_type)},
                           {"name", VariantJson(a.name)},
                           {"content", VariantJson(a.content)}});
  Json recipients = Json::array();
  for (const auto& r : m.recipients)
    recipients.push_back({{"id", VariantJson(r.id)},
                          {"type", VariantJson(r.type)},
                          {"name", VariantJson(r.name)},
                          {"email", VariantJson(r.email_id)}});
  return {{"delivery", m.delivery},     {"id", m.id},
          {"delivered", m.delivered},   {"properties", properties},
          {"attachments", attachments}, {"recipients", recipients}};
}

// Counts of every record list before a call, so that its own part can be cut out.
struct Marks {
  size_t journal, writes, stored, comments, annotations, aces, labels, operations, exports, saves,
      messages, log, skipped_items;
};

Marks Mark(const sim::Simulator& sim, const CliPlatform& platform) {
  return {sim.JournalSize(),
          sim.VariableWrites().size(),
          sim.StoredRecords().size(),
          sim.Comments().size(),
          sim.Annotations().size(),
          sim.Aces().size(),
          sim.LabelsApplied().size(),
          sim.ItemOperations().size(),
          sim.Exports().size(),
          sim.Saves().size(),
          sim.Messages().size(),
          platform.event_log.size(),
          platform.skipped_items.size()};
}

// A DMS item the scenario declared.
struct DeclaredItem {
  int32_t database;
  std::string_view entity_name;
  int32_t id;
};

std::vector<DeclaredItem> DeclaredItems(const Scenario& s) {
  std::vector<DeclaredItem> out;
  out.reserve(s.documents.size() + s.stacks.size() + s.record_series.size() +
              s.retention_labels.size());
  for (const auto& d : s.documents) out.push_back({d.database, "Document", d.value.id});
  for (const auto& e : s.stacks) out.push_back({e.database, "DataEntity", e.value.id});
  for (const auto& e : s.record_series) out.push_back({e.database, "RecordSeries", e.value.id});
  for (const auto& e : s.retention_labels)
    out.push_back({e.database, "RetentionLabel", e.value.id});
  return out;
}

// A declared DMS item as it stands now.
Json ItemJson(const DeclaredItem& declared, const sim::Simulator& sim) {
  Json j = {{"entity", declared.entity_name}, {"database", declared.database}, {"id", declared.id}};
  const sim::Item* item = sim.FindItem(declared.database, declared.entity_name, declared.id);
  j["exists"] = item != nullptr;
  if (item) {
    j["typecode"] = item->entity.type_code;
    j["fields"] = EntityJson(item->entity)["fields"];
    Json flags = Json::object();
    for (const auto& [name, on] : item->flags) flags[name] = on;
    j["flags"] = flags;
    j["labels"] = item->labels;
  }
  return j;
}

Json JobsJson(const Scenario& s, const sim::Simulator& sim) {
  std::vector<int32_t> ids;
  for (const auto& j : s.jobs) ids.push_back(j.id);
  for (const auto& r : sim.StoredRecords())
    if (r.entity.entity_name == "Job") ids.push_back(r.entity.id);
  Json out = Json::array();
  for (int32_t id : ids)
    if (const sim::Entity* job = sim.FindJob(id)) out.push_back(EntityJson(*job));
  return out;
}

Json ClassJson(const ClassRef& c) {
  return {{"name", c.name},
          {"progid", "Corvane." + c.name},
          {"clsid", pelmark::GuidToString(c.clsid)},
          {"resolved_by", c.by_clsid ? "CLSID" : "ProgID"}};
}

// The fields whose values differ between two reports of one item.
Json ChangedFields(const Json& before, const Json& after) {
  ObjectBuilder out;
  if (!after.contains("fields")) return out.Take();
  static const Json kNoFields = Json::object();
  const MemberIndex had(before.contains("fields") ? before["fields"] : kNoFields);
  for (const auto& [name, value] : after["fields"].items()) {
    const Json* was = had.Find(name);
    if (!was || *was != value)
      out.Set(name, {{"before", was ? *was : Json(nullptr)}, {"after", value}});
  }
  return out.Take();
}

Json TaskVariablesJson(const Scenario& s, const sim::Simulator& sim, int32_t task_id) {
  ObjectBuilder out;
  for (const sim::TaskSpec& t : s.tasks) {
    if (t.task_id != task_id) continue;
    for (const sim::VariableSpec& v : t.variables)
      out.Set(v.name, VariantJson(sim.TaskVariable(task_id, v.name)));
  }
  // A host that creates variables on their first write has these too.
  const std::string owner = "task " + std::to_string(task_id);
  for (const sim::VariableWrite& w : sim.VariableWrites())
    if (w.owner == owner && !out.Has(w.name))
      out.Set(w.name, VariantJson(sim.TaskVariable(task_id, w.name)));
  return out.Take();
}

// Where a directory or file the scenario asks for goes: inside the sandbox, or nowhere.
fs::path InsideSandbox(const CliPlatform& platform, const std::string& name,
                       const std::string& place) {
  for (char c : name)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
      throw ScenarioError(place, "a file or directory name may not hold control characters or NUL");
  fs::path relative = fs::relative(platform.InSandbox(name), platform.sandbox).lexically_normal();
  if (!relative.empty() && *relative.begin() == "..")
    throw ScenarioError(place, "\"" + name + "\" lies outside the run's file-system sandbox");
  return platform.sandbox / relative;
}

// A plain file the scenario says is there before the calls, its directories made.
void MakeSandboxFile(const CliPlatform& platform, const Scenario::File& file) {
  const fs::path path = InsideSandbox(platform, file.path, file.place);
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  if (ec || fs::exists(path, ec))
    throw ScenarioError(file.place, "cannot make the file \"" + file.path +
                                        "\": a directory or another file of the scenario is "
                                        "in its place");
  std::ofstream out(path, std::ios::binary);
  out << file.content;
  out.close();
  if (!out) throw ScenarioError(file.place, "cannot write the file \"" + file.path + "\"");
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& ch : out) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
  return out;
}

// The closest of `names` to `name`, when it is close enough to be a slip.
std::string Closest(const std::string& name, const std::vector<std::string>& names) {
  return NearestName(name, names);
}

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& n : names)
    if (Lower(n) == Lower(name)) return true;
  return false;
}

// What a group of classes reads and writes, and how a message names them.
struct Readers {
  std::vector<std::string> step_names, task_names, written;
  std::string class_names;  // "AutoStamp and Publish"

  void Add(const ClassRef& c) {
    const ClassDescription* d = FindDescription(c.name);
    if (!d || std::find(classes.begin(), classes.end(), d) != classes.end()) return;
    classes.push_back(d);
    step_names.insert(step_names.end(), d->step_parameters.begin(), d->step_parameters.end());
    task_names.insert(task_names.end(), d->task_parameters.begin(), d->task_parameters.end());
    written.insert(written.end(), d->variables_written.begin(), d->variables_written.end());
    class_names += (class_names.empty() ? "" : " and ") + d->name;
  }

  std::vector<const ClassDescription*> classes;
};

// What the scenario sets that no class reading it reads, and what those classes
// write that the scenario never declared: both make a step quietly do something
// other than what its designer meant. A task is judged by the classes whose
// calls name it, the step's parameters by every class of the scenario.
Json StepWarnings(const Scenario& s) {
  Readers all;
  for (const ClassRef* c : ScenarioClasses(s)) all.Add(*c);
  if (all.classes.empty()) return Json::array();

  Json out = Json::array();
  auto unread = [&](const Readers& r, const std::string& name, bool on_step,
                    std::optional<int32_t> task) {
    const auto& own = on_step ? r.step_names : r.task_names;
    const auto& other = on_step ? r.task_names : r.step_names;
    if (Contains(own, name)) return;
    Json w = {{"kind", "unread_parameter"}, {"scope", on_step ? "step" : "task"}, {"name", name}};
    if (task) w["task"] = *task;
    std::string where =
        on_step ? "step parameter " : "task " + std::to_string(*task) + "'s parameter ";
    std::string message = where + name + " is not read by " + r.class_names;
    if (Contains(other, name)) {
      w["suggestion"] = name;
      message += on_step ? "; the class reads it from the task's parameters"
                         : "; the class reads it from the step's parameters";
    } else if (std::string near = Closest(name, own); !near.empty()) {
      w["suggestion"] = near;
      message += "; did you mean " + near + "?";
    } else if (std::string far = Closest(name, other); !far.empty()) {
      w["suggestion"] = far;
      message += "; did you mean " + far + " (a " + (on_step ? "task" : "step") + " parameter)?";
    }
    w["message"] = message;
    out.push_back(std::move(w));
  };
  for (const sim::ParameterSpec& p : s.activity.parameters) unread(all, p.name, true, std::nullopt);
  std::vector<int32_t> called;
  for (const CallSpec& c : s.calls)
    if (c.method != Method::kInitialize) called.push_back(c.task_id);
  for (const sim::TaskSpec& t : s.tasks) {
    Readers task_readers;
    for (const ClassRef* c : ClassesReadingTask(s, t.task_id)) task_readers.Add(*c);
    if (task_readers.classes.empty()) continue;
    for (const sim::ParameterSpec& p : t.parameters) unread(task_readers, p.name, false, t.task_id);
    if (std::find(called.begin(), called.end(), t.task_id) == called.end()) continue;
    // A host that creates variables on their first write takes every write.
    if (s.options.create_task_variables) continue;
    std::vector<std::string> declared;
    for (const sim::VariableSpec& v : t.variables) declared.push_back(v.name);
    std::vector<std::string> reported;
    for (const std::string& name : task_readers.written) {
      if (Contains(declared, name) || Contains(reported, name)) continue;
      reported.push_back(name);
      out.push_back({{"kind", "undeclared_variable"},
                     {"task", t.task_id},
                     {"name", name},
                     {"message", task_readers.class_names + " writes the variable " + name +
                                     ", which task " + std::to_string(t.task_id) +
                                     " does not declare; the write fails on a strict host"}});
    }
  }
  return out;
}

// The tool's warnings; a workflow's, step by step, each naming its step.
Json Warnings(const Scenario& s) {
  if (!s.workflow) return StepWarnings(s);
  Json out = Json::array();
  for (const WorkflowStep& step : s.workflow->steps)
    for (Json& w : StepWarnings(StepScenario(s, step))) {
      w["step"] = step.name;
      w["message"] = "step \"" + step.name + "\": " + w["message"].get<std::string>();
      out.push_back(std::move(w));
    }
  return out;
}

// One call's part of the report, each list produced element by element from
// the simulator's records since the marks taken before the call.
class CallFacts {
 public:
  using Emit = std::function<void(const Json&)>;

  CallFacts(const Scenario& s, const sim::Simulator& sim, const CliPlatform& platform,
            const Marks& mark, const Json& raised)
      : s_(s), sim_(sim), platform_(platform), mark_(mark), raised_(raised) {}

  // The list member `name` of the call, one element at a time. Not for "items"
  // and "items_changed", which compare with the items before the call.
  void List(std::string_view name, const Emit& emit) const {
    if (name == "variable_writes") {
      for (size_t i = mark_.writes; i < sim_.VariableWrites().size(); ++i) {
        const sim::VariableWrite& w = sim_.VariableWrites()[i];
        emit({{"owner", w.owner}, {"name", w.name}, {"value", VariantJson(w.value)}});
      }
    } else if (name == "journal") {
      for (size_t i = mark_.journal; i < sim_.JournalSize(); ++i)
        emit(CallJson(sim_.JournalEntry(i)));
    } else if (name == "dms_calls") {
      for (size_t i = mark_.journal; i < sim_.JournalSize(); ++i)
        if (sim_.JournalOp(i).starts_with("IDmsService.")) emit(sim_.JournalEntry(i).ToString());
    } else if (name == "skipped") {
      Skipped(emit);
    } else if (name == "operations") {
      Since(sim_.ItemOperations(), mark_.operations, emit, [](const sim::ItemOperation& o) {
        Json j = {{"op", o.op}, {"item", RefJson(o.item)}, {"reason", o.reason}};
        if (o.delete_child_items) j["delete_child_items"] = *o.delete_child_items;
        return j;
      });
    } else if (name == "saves") {
      Since(sim_.Saves(), mark_.saves, emit, [&](const sim::SaveRecord& r) {
        return Json{{"op", r.op},
                    {"entity", EntityJson(r.entity)},
                    {"journal_entry", JournalEntry(r.journal_index)}};
      });
    } else if (name == "stored") {
      Since(sim_.StoredRecords(), mark_.stored, emit, [&](const sim::StoredRecord& r) {
        Json j = {{"entity", EntityJson(r.entity)}};
        j["database"] = r.database ? Json(*r.database) : Json(nullptr);
        j["journal_entry"] = JournalEntry(r.journal_index);
        return j;
      });
    } else if (name == "comments" || name == "annotations") {
      Since(name == "comments" ? sim_.Comments() : sim_.Annotations(),
            name == "comments" ? mark_.comments : mark_.annotations, emit,
            [&](const sim::Attachment& a) {
              return Json{{"item", RefJson(a.item)},
                          {"entity", EntityJson(a.entity)},
                          {"journal_entry", JournalEntry(a.journal_index)}};
            });
    } else if (name == "aces") {
      Since(sim_.Aces(), mark_.aces, emit, [&](const sim::AceGrant& a) {
        return Json{{"item", RefJson(a.item)},
                    {"principal", RefJson(a.principal)},
                    {"ace", EntityJson(a.ace)},
                    {"journal_entry", JournalEntry(a.journal_index)}};
      });
    } else if (name == "labels") {
      Since(sim_.LabelsApplied(), mark_.labels, emit, [](const sim::LabelApplied& l) {
        return Json{{"item", RefJson(l.item)}, {"label", RefJson(l.label)}, {"name", l.label_name}};
      });
    } else if (name == "exports") {
      Since(sim_.Exports(), mark_.exports, emit, [](const sim::ExportRecord& e) {
        return Json{{"item", e.item ? RefJson(*e.item) : Json(nullptr)}, {"folder", e.folder}};
      });
    } else if (name == "messages") {
      Since(sim_.Messages(), mark_.messages, emit, MessageJson);
    } else if (name == "event_log") {
      Since(platform_.event_log, mark_.log, emit, [](const std::string& e) { return Json(e); });
    } else if (name == "held_references") {
      for (const std::string& h : sim_.HeldReferences()) emit(h);
    } else if (name == "directories") {
      for (const std::string& d : platform_.SandboxDirectories()) emit(d);
    } else if (name == "files") {
      for (const std::string& f : platform_.SandboxFiles()) emit(f);
    } else if (name == "jobs") {
      for (const Json& job : JobsJson(s_, sim_)) emit(job);
    }
  }

  // The whole list, for the expectations that name it.
  Json ListJson(std::string_view name) const {
    Json out = Json::array();
    List(name, [&](const Json& e) { out.push_back(e); });
    return out;
  }

 private:
  // The number the call's journal gives the entry at `journal_index` of the
  // simulator's journal: the first call the step made is 1.
  size_t JournalEntry(size_t journal_index) const { return journal_index - mark_.journal + 1; }

  template <class T, class F>
  static void Since(const std::vector<T>& all, size_t from, const Emit& emit, F to_json) {
    for (size_t i = from; i < all.size(); ++i) emit(to_json(all[i]));
  }

  // The errors the call's requests raised that the step caught and did not
  // pass on: the ones a step skips by design, item by item. When the call itself
  // raised an error, the last failed request with that number is the one it
  // passed on.
  void Skipped(const Emit& emit) const {
    std::optional<size_t> passed_on;
    if (!raised_.is_null())
      for (size_t i = sim_.JournalSize(); i-- > mark_.journal;) {
        const sim::Call call = sim_.JournalEntry(i);
        if (call.error_number != 0 && Json(call.error_number) == raised_["number"]) {
          passed_on = i;
          break;
        }
      }
    auto plain = [](const Json& v) {
      return v["value"].is_string() ? v["value"].get<std::string>() : v["value"].dump();
    };
    // Items a walk went past without a call (an id it could not read), each
    // placed before the call that followed it.
    size_t unread = mark_.skipped_items;
    auto emit_unread = [&](size_t before) {
      for (; unread < platform_.skipped_items.size() &&
             platform_.skipped_items[unread].journal_position <= before;
           ++unread) {
        const CliPlatform::SkippedItem& k = platform_.skipped_items[unread];
        const pelmark::Error& e = k.error;
        emit({{"op", "read id"},
              {"item", k.item.empty() ? Json(nullptr) : Json(k.item)},
              {"error", {{"number", e.number()}, {"description", e.description()}}},
              {"error_source", e.source()},
              {"text", "the item's id could not be read; the walk went on without it"}});
      }
    };
    for (size_t i = mark_.journal; i < sim_.JournalSize(); ++i) {
      emit_unread(i);
      if (passed_on == i) continue;
      const sim::Call call = sim_.JournalEntry(i);
      if (call.error_number == 0) continue;
      const Json entry = CallJson(call);
      Json skipped = {{"op", entry["op"]}, {"item", nullptr}};
      std::string entity = "item", id;
      for (const Json& a : entry["args"]) {
        const std::string name = a["name"].get<std::string>();
        if (name.ends_with("EntityName")) entity = plain(a["value"]);
        if (name.ends_with(".ID") || name == "ID" || name == "id") id = plain(a["value"]);
      }
      if (!id.empty()) skipped["item"] = entity + " " + id;
      skipped["error"] = entry["error"];
      skipped["error_source"] = entry["error_source"];
      skipped["text"] = entry["text"];
      emit(skipped);
    }
    emit_unread(SIZE_MAX);
  }

  const Scenario& s_;
  const sim::Simulator& sim_;
  const CliPlatform& platform_;
  const Marks& mark_;
  const Json& raised_;
};

// Every list member of a call, in the report's order; "items" and
// "items_changed" go between "files" and "jobs".
constexpr std::string_view kListsBeforeItems[] = {
    "journal",   "dms_calls",       "skipped",     "operations", "saves",   "stored",
    "comments",  "annotations",     "aces",        "labels",     "exports", "messages",
    "event_log", "held_references", "directories", "files"};

// What CheckExpectations reads of a call: the small members, and of the lists
// only those the expect block names (the items only as far as it names them).
Json ExpectationFacts(const CallSpec& c, const Json& head, const Json& task_variables,
                      const CallFacts& facts, const std::vector<DeclaredItem>& declared,
                      const sim::Simulator& sim) {
  Json out = head;
  out["variable_writes"] = facts.ListJson("variable_writes");
  if (!task_variables.is_null()) out["task_variables"] = task_variables;
  out["held_references"] = facts.ListJson("held_references");
  if (!c.expect) return out;
  for (const auto& [key, want] : c.expect->items()) {
    if (key == "items") {
      Json items = Json::array();
      for (const Json& w : want)
        for (const DeclaredItem& d : declared)
          if (w["entity"] == Json(d.entity_name) && w["database"] == Json(d.database) &&
              w["id"] == Json(d.id)) {
            items.push_back(ItemJson(d, sim));
            break;
          }
      out["items"] = std::move(items);
    } else if (key == "journal_contains") {
      Json journal = Json::array();
      facts.List("journal", [&](const Json& e) { journal.push_back({{"text", e["text"]}}); });
      out["journal"] = std::move(journal);
    } else if (key != "result" && key != "error" && key != "decision" && key != "variables" &&
               key != "writes") {
      out[key] = facts.ListJson(key);
    }
  }
  return out;
}

// Hands one list member of a call to the sink, element by element.
void StreamList(ReportSink& sink, std::string_view name, const CallFacts& facts) {
  sink.BeginList(name);
  facts.List(name, [&](const Json& e) { sink.Element(e); });
  sink.EndList();
}

// The run's file-system sandbox: a temporary directory that the platform's paths
// lead into while the scenario runs.
class Sandbox {
 public:
  explicit Sandbox(CliPlatform& platform) : platform_(platform) {
    std::error_code error;
    directory_ = TemporaryDirectory(kSandboxPrefix, error);
    if (directory_.path().empty()) throw HostError("cannot make a file-system sandbox in /tmp");
    platform_.sandbox = PathOfUtf8(directory_.path());
    platform_.export_root = Utf8Of(platform_.sandbox);
  }
  ~Sandbox() {
    directory_.Remove();
    platform_.sandbox.clear();
    platform_.export_root.clear();
  }
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // Makes the directories and plain files the scenario says are there before the calls.
  void Fill(const Scenario& s) {
    const HoldInterrupt hold;
    for (size_t i = 0; i < s.directories.size(); ++i) {
      const std::string place = "filesystem.directories[" + std::to_string(i) + "]";
      std::error_code ec;
      fs::create_directories(InsideSandbox(platform_, s.directories[i], place), ec);
      if (ec)
        throw ScenarioError(
            place, "cannot make the directory \"" + s.directories[i] + "\": " + ec.message());
    }
    for (const Scenario::File& file : s.files) MakeSandboxFile(platform_, file);
  }

 private:
  CliPlatform& platform_;
  TemporaryDirectory directory_;
};

// The head of the report; `check_errors` receives the message of each finding of
// severity error, also of those the head leaves out as named already.
Json ReportHead(const Scenario& s, ModuleHost& host, std::vector<std::string>& check_errors) {
  Json head = Json::object();
  head["scenario"] = s.file;
  head["description"] = s.description;
  head["class"] = ClassJson(s.step_class);
  if (s.workflow) {
    head["steps"] = Json::array();
    for (const WorkflowStep& step : s.workflow->steps) {
      Json next = Json::object();
      for (const auto& [outcome, name] : step.next) next[outcome.empty() ? "any" : outcome] = name;
      head["steps"].push_back(
          {{"name", step.name}, {"class", ClassJson(step.step_class)}, {"next", next}});
    }
  }
  head["locale"] = s.locale;
  head["clock_fixed"] = s.now.has_value();
  head["registry"] = host.temporary_registry() ? "temporary" : host.registry_root();
  head["warnings"] = Warnings(s);
  // The class's own findings, but for names the tool has already warned about
  // (and only the tool: two findings of the class about one parameter are two).
  const Json tool_warnings = head["warnings"];
  for (Json& f : CheckStep(s, host)) {
    if (f["severity"] == "error")
      check_errors.push_back("check error at " + f.value("path", "") + ": " +
                             f.value("message", ""));
    bool named = false;
    // A misspelt name is one mistake: the tool's warning already says which
    // name was meant, so the class's "missing" finding for it adds nothing.
    for (const Json& w : tool_warnings)
      named = named || ((w.value("name", "") == f.value("name", "") ||
                         w.value("suggestion", "") == f.value("name", "")) &&
                        w.value("task", Json()) == f.value("task", Json()));
    if (named) continue;
    head["warnings"].push_back({{"kind", "check"},
                                {"severity", f["severity"]},
                                {"path", f["path"]},
                                {"name", f["name"]},
                                {"task", f["task"]},
                                {"message", f["message"]},
                                {"suggestion", f["suggestion"]}});
  }
  return head;
}

// One object per class, as a host makes one per step; every call of that step
// goes to the same object.
// A workflow's objects are one per step, by the step's name.
using Steps = StepObjects;

Steps CreateSteps(const Scenario& s, ModuleHost& host) {
  Steps steps;
  if (s.workflow) {
    for (const WorkflowStep& step : s.workflow->steps)
      steps[step.name] =
          host.Create(step.step_class.name, step.step_class.clsid, step.step_class.by_clsid);
    return steps;
  }
  auto make = [&](const ClassRef& c) {
    auto& slot = steps[c.name];
    if (!slot) slot = host.Create(c.name, c.clsid, c.by_clsid);
  };
  make(s.step_class);
  for (const CallSpec& c : s.calls) make(c.step_class);
  return steps;
}

// "reading task 5's parameter COMMENTSASNOTES "yes" as a yes/no value": the
// step's note in words, with the call's task named by its id.
std::string RaisedWords(const RaisedContext& r, const CallSpec& c) {
  std::string words = r.action + " ";
  if (r.owner == "task" && c.method != Method::kInitialize)
    words += "task " + std::to_string(c.task_id) + "'s ";
  else if (!r.owner.empty())
    words += "the " + r.owner + "'s ";
  words += r.what;
  if (!r.value.is_empty()) words += " " + VariantText(r.value);
  if (!r.detail.empty()) words += " " + r.detail;
  return words;
}

// Makes call number `index` (from 0) of the step and answers its head: what was
// called, on what clock, and what it returned or raised.
Json MakeCall(const CallSpec& c, size_t index, pelmark::IActivityRuntime* step, sim::Simulator& sim,
              double now) {
  Json call = Json::object();
  call["index"] = index + 1;
  call["class"] = c.step_class.name;
  if (!c.step.empty()) call["step"] = c.step;
  call["method"] = MethodName(c.method);
  if (c.method != Method::kInitialize) call["task"] = c.task_id;
  call["clock"] = VariantJson(Variant::Date(now));
  call["result"] = nullptr;
  call["error"] = nullptr;
  try {
    switch (c.method) {
      case Method::kInitialize:
        step->Initialize(sim.Services(), sim.Activity());
        break;
      case Method::kExecute: {
        pelmark::ITask* task = sim.Task(c.task_id);
        call["result"] = step->Execute(sim.Services(), task);
        break;
      }
      case Method::kEvaluateCompositeTask: {
        pelmark::ITask* task = sim.Task(c.task_id);
        call["result"] = step->EvaluateCompositeTask(sim.Services(), sim.Activity(), task);
        break;
      }
    }
  } catch (const pelmark::Error& e) {
    call["error"] = ErrorJson(e.number(), e.source(), e.description());
  } catch (const std::exception& e) {
    // Only pelmark::Error may cross the contract; anything else is a defect.
    call["error"] = ErrorJson(-1, "corvane", std::string("not a contract error: ") + e.what());
  }
  return call;
}

// The declared DMS items, each one's report kept as JSON text from one call to
// the next: what finds the items a call changed. Text is a fraction of the size
// of a JSON tree.
class ItemReports {
 public:
  ItemReports(const Scenario& s, const sim::Simulator& sim)
      : declared_(DeclaredItems(s)), sim_(sim), after_(declared_.size()) {
    before_.reserve(declared_.size());
    for (const DeclaredItem& d : declared_) before_.push_back(ItemJson(d, sim_).dump());
  }

  const std::vector<DeclaredItem>& declared() const { return declared_; }

  // Hands "items" and "items_changed" of the call just made to the sink.
  void Stream(ReportSink& sink) {
    std::vector<size_t> changed;
    sink.BeginList("items");
    for (size_t i = 0; i < declared_.size(); ++i) {
      const Json item = ItemJson(declared_[i], sim_);
      after_[i] = item.dump();
      if (after_[i] != before_[i]) changed.push_back(i);
      sink.Element(item);
    }
    sink.EndList();
    sink.BeginList("items_changed");
    for (size_t i : changed) {
      Json change = ItemJson(declared_[i], sim_);
      // Read back as a scenario is: Json::parse inserts each member with a search.
      Json before = ParseScenarioJson(before_[i]);
      Json fields = ChangedFields(before, change);
      change.erase("fields");
      change["changed_fields"] = std::move(fields);
      // What the changed fields do not say: whether it existed, its flags and labels.
      change["before"] = {{"exists", before["exists"]},
                          {"flags", before.value("flags", Json::object())},
                          {"labels", before.value("labels", Json::array())}};
      sink.Element(change);
    }
    sink.EndList();
    std::swap(before_, after_);
  }

 private:
  const std::vector<DeclaredItem> declared_;
  const sim::Simulator& sim_;
  std::vector<std::string> before_, after_;
};

// A call that raised while no expectation was written for it: the error would
// otherwise pass unseen. Any expect block covers it, since one without "error"
// fails on an error.
Json UncoveredError(const CallSpec& c, const Json& call) {
  const Json& error = call["error"];
  const std::string number = std::to_string(error["number"].get<int32_t>());
  std::string what = "call " + call["index"].dump() + " (" + call["class"].get<std::string>() +
                     "." + call["method"].get<std::string>() +
                     (call.contains("task") ? " of task " + call["task"].dump() : "") + ")";
  std::string where = c.place == "expect" ? "the scenario" : c.place;
  Json w = {{"kind", "uncovered_error"}, {"call", call["index"]},
            {"method", call["method"]},  {"task", call.value("task", Json())},
            {"number", error["number"]}, {"description", error["description"]}};
  w["message"] = what + " raised error " + number + " (" + error["description"].get<std::string>() +
                 ") and no expectation covers it; if that is meant, add \"expect\": {\"error\": "
                 "{\"number\": " +
                 number + "}} to " + where;
  return w;
}

// Makes call number `index` of the scenario and hands its part of the report to
// the sink; answers its failed expectations for the summary, or null when all
// hold. A raised error no expectation covers goes to `uncovered`.
Json RunCall(const Scenario& s, const CallSpec& c, size_t index, pelmark::IActivityRuntime* step,
             ModuleHost& host, sim::Simulator& sim, CliPlatform& platform, ItemReports& items,
             ReportSink& sink, Json& uncovered, Json* made = nullptr) {
  if (c.at) platform.now = *c.at;
  platform.now += c.advance_days;
  const Marks mark = Mark(sim, platform);
  host.decisions().clear();
  host.raised().clear();
  Json call = MakeCall(c, index, step, sim, platform.now);
  // What the step was reading when it raised the call's error, when it says.
  if (!call["error"].is_null() && !host.raised().empty())
    call["error"]["while"] = RaisedWords(host.raised().back(), c);
  // A call decides at most once; what it decided, as the class explained it.
  call["decision"] =
      host.decisions().empty() ? Json(nullptr) : DecisionJson(host.decisions().back());

  const CallFacts facts(s, sim, platform, mark, call["error"]);
  const Json task_variables =
      c.method != Method::kInitialize ? TaskVariablesJson(s, sim, c.task_id) : Json();
  // The expectations are checked first and reported last, as the JSON orders them.
  const Json expectations = CheckExpectations(
      c.expect, ExpectationFacts(c, call, task_variables, facts, items.declared(), sim));

  sink.BeginCall(call);
  StreamList(sink, "variable_writes", facts);
  if (!task_variables.is_null()) sink.Member("task_variables", task_variables);
  for (std::string_view name : kListsBeforeItems) StreamList(sink, name, facts);
  items.Stream(sink);
  StreamList(sink, "jobs", facts);
  sink.Member("expectations", expectations);
  sink.EndCall();
  if (!c.expect && !call["error"].is_null()) uncovered.push_back(UncoveredError(c, call));
  if (made) *made = call;

  if (expectations["failures"].empty()) return nullptr;
  return {{"index", call["index"]}, {"method", call["method"]}, {"expectations", expectations}};
}

// A workflow's calls, made and reported one by one as its events lead to them,
// and the facts of its instance.
class WorkflowCalls final : public StepCalls {
 public:
  WorkflowCalls(const Scenario& s, ModuleHost& host, sim::Simulator& sim, ItemReports& items,
                ReportSink& sink, Json& uncovered)
      : s_(s), host_(host), sim_(sim), items_(items), sink_(sink), uncovered_(uncovered) {
    for (const DeclaredItem& d : items_.declared()) start_.push_back(ItemJson(d, sim_).dump());
  }

  Json Call(const CallSpec& c, pelmark::IActivityRuntime* step) override {
    const size_t before = uncovered_.size();
    Json failed = RunCall(s_, c, count_++, step, host_, sim_, host_.platform(), items_, sink_,
                          uncovered_, &last_);
    // The workflow stops at an error and says where: the warning names the step.
    for (size_t i = before; i < uncovered_.size(); ++i) {
      Json& w = uncovered_[i];
      w["step"] = c.step;
      w["message"] = "step \"" + c.step + "\" raised error " + w["number"].dump() + " (" +
                     w["description"].get<std::string>() + ") in call " + w["call"].dump() + " (" +
                     w["method"].get<std::string>() +
                     "), which stopped the instance; if that is meant, expect \"state\": "
                     "\"stopped\" of the event";
    }
    last_["failed"] = std::move(failed);
    return last_;
  }

  Json Facts(const Json& expect) override {
    const Marks from_start{};
    const Json no_error;
    const CallFacts facts(s_, sim_, host_.platform(), from_start, no_error);
    Json out = Json::object();
    for (const auto& [key, want] : expect.items()) {
      if (key == "items") {
        out["items"] = Json::array();
        for (const DeclaredItem& d : items_.declared()) out["items"].push_back(ItemJson(d, sim_));
      } else if (key == "variables") {
        out["variables"] = ProcessVariables();
      } else if (key == "task_variables") {
        ObjectBuilder tasks;
        for (const sim::TaskSpec& t : s_.tasks)
          tasks.Set(std::to_string(t.task_id), TaskVariablesJson(s_, sim_, t.task_id));
        out["task_variables"] = tasks.Take();
      } else if (key == "messages" || key == "jobs" || key == "stored" || key == "comments" ||
                 key == "event_log") {
        out[key] = facts.ListJson(key);
      }
    }
    return out;
  }

  size_t ItemsChanged() override {
    size_t changed = 0;
    for (size_t i = 0; i < start_.size(); ++i)
      changed += ItemJson(items_.declared()[i], sim_).dump() != start_[i];
    return changed;
  }

 private:
  // The process's variables: those the scenario declares and those written.
  Json ProcessVariables() const {
    ObjectBuilder out;
    if (!s_.process) return out.Take();
    std::vector<std::string> names;
    for (const sim::VariableSpec& v : s_.process->variables) names.push_back(v.name);
    const std::string owner = "process " + std::to_string(s_.process->id);
    for (const sim::VariableWrite& w : sim_.VariableWrites())
      if (w.owner == owner && !Contains(names, w.name)) names.push_back(w.name);
    for (const std::string& name : names)
      out.Set(name, VariantJson(sim_.ProcessVariable(s_.process->id, name)));
    return out.Take();
  }

  const Scenario& s_;
  ModuleHost& host_;
  sim::Simulator& sim_;
  ItemReports& items_;
  ReportSink& sink_;
  Json& uncovered_;
  std::vector<std::string> start_;
  size_t count_ = 0;
  Json last_;
};

}  // namespace

namespace {

// A sink that keeps nothing: a workflow runs once unseen, so that an event
// that cannot happen is reported as a scenario error before any report.
class DiscardingSink final : public ReportSink {
 public:
  void BeginReport(const Json&, const std::string&) override {}
  void BeginCall(const Json&) override {}
  void Member(std::string_view, const Json&) override {}
  void BeginList(std::string_view) override {}
  void Element(const Json&) override {}
  void EndList() override {}
  void EndCall() override {}
  void BeginEvent(const Json&) override {}
  void EndEvent(const Json&) override {}
  void EndTimeline(const Json&) override {}
  void EndReport(const Json&) override {}
};

Json RunOnce(const Scenario& s, ModuleHost& host, ReportSink& sink, const RunOptions& options) {
  CliPlatform& platform = host.platform();
  platform.now = s.now.value_or(SystemNow());
  platform.locale = FindLocale(s.locale);
  platform.event_log.clear();
  platform.skipped_items.clear();
  Sandbox sandbox(platform);
  sandbox.Fill(s);

  sim::Simulator sim(s.options);
  platform.journal_position = [&sim] { return sim.JournalSize(); };
  struct PositionReset {
    CliPlatform& p;
    ~PositionReset() { p.journal_position = nullptr; }
  } position_reset{platform};
  try {
    BuildSimulator(s, sim);
  } catch (const pelmark::Error& e) {
    throw ScenarioError("", "the simulated host refused the content: " + e.description());
  }

  std::vector<std::string> check_errors;
  const Json head = ReportHead(s, host, check_errors);
  bool passed = true;
  Json summary = {{"scenario", s.file}, {"passed", true}, {"calls", Json::array()}};
  Json tail = {{"call_warnings", Json::array()}, {"strict_failures", Json::array()}};
  {
    // All objects are made before the report starts, so that a class that cannot
    // be created stops the scenario before any of its report is written.
    Steps steps = CreateSteps(s, host);
    sink.BeginReport(head, host.module_path());
    ItemReports items(s, sim);
    if (s.workflow) {
      WorkflowCalls calls(s, host, sim, items, sink, tail["call_warnings"]);
      Json outcome = RunWorkflow(s, sim, platform, steps, calls, sink);
      summary["events"] = std::move(outcome["events"]);
      summary["cases"] = std::move(outcome["cases"]);
      passed = summary["events"].empty();
    }
    for (size_t index = 0; index < s.calls.size(); ++index) {
      const CallSpec& c = s.calls[index];
      Json failed = RunCall(s, c, index, steps[c.step_class.name].get(), host, sim, platform, items,
                            sink, tail["call_warnings"]);
      if (failed.is_null()) continue;
      passed = false;
      summary["calls"].push_back(std::move(failed));
    }
  }
  if (options.strict) {
    for (const std::string& e : check_errors) tail["strict_failures"].push_back(e);
    for (const Json& w : tail["call_warnings"])
      tail["strict_failures"].push_back(
          "call " + w["call"].dump() + " raised error " + w["number"].dump() + " (" +
          w["description"].get<std::string>() + ") that no expectation covers");
    passed = passed && tail["strict_failures"].empty();
  }
  tail["passed"] = passed;
  summary["passed"] = passed;
  summary["call_warnings"] = tail["call_warnings"];
  summary["strict_failures"] = tail["strict_failures"];
  sink.EndReport(tail);
  return summary;
}

}  // namespace

Json RunScenario(const Scenario& s, ModuleHost& host, ReportSink& sink, const RunOptions& options) {
  if (s.workflow) {
    DiscardingSink unseen;
    RunOnce(s, host, unseen, options);
  }
  return RunOnce(s, host, sink, options);
}

}  // namespace corvane::cli
