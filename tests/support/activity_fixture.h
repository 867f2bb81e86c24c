// Shared set-up for tests that drive activity classes of the static core through
// the simulator: a test platform, a simulator, a task, an item list, and the
// check that nothing is still held after each call.
#pragma once

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "component/class_table.h"
#include "corvane/catalogue.h"
#include "errors.h"
#include "simulator.h"
#include "test_platform.h"

namespace pelmark {
// Lets test failures show variants as the journal writes them.
inline void PrintTo(const Variant& v, std::ostream* os) { *os << sim::FormatVariant(v); }
}  // namespace pelmark

namespace corvane_test {

inline constexpr int32_t kProcessId = 12;
inline constexpr int32_t kTaskId = 5;
inline constexpr int32_t kDatabase = 7;

// An item list of one kind: `<dmsobject entitytype=... dbid=...><list>items</list></dmsobject>`.
inline std::string ItemList(std::string_view entity_type, int32_t dbid, std::string_view list_name,
                            std::string_view items) {
  return "<dmsobject entitytype=\"" + std::string(entity_type) + "\" dbid=\"" +
         std::to_string(dbid) + "\" dbpath=\"\\\\server\\db\" dbtype=\"1\"><" +
         std::string(list_name) + ">" + std::string(items) + "</" + std::string(list_name) +
         "></dmsobject>";
}

inline std::string DocumentItems(const std::vector<int32_t>& ids) {
  std::string out;
  for (int32_t id : ids)
    out += "<document id=\"" + std::to_string(id) + "\" name=\"Doc " + std::to_string(id) + "\"/>";
  return out;
}

inline std::string DocumentList(const std::vector<int32_t>& ids, int32_t dbid = kDatabase) {
  return ItemList("document", dbid, "documents", DocumentItems(ids));
}

// Creates an object of a catalogue class from the static core.
inline pelmark::ComPtr<pelmark::IActivityRuntime> NewActivity(std::string_view class_name) {
  const corvane::ClassInfo* info = corvane::FindClassByName(class_name);
  if (!info) throw std::invalid_argument("no class " + std::string(class_name));
  corvane::Activity* activity = corvane::CreateActivity(*info);
  if (!activity) throw std::invalid_argument("no family creates " + std::string(class_name));
  return pelmark::ComPtr<pelmark::IActivityRuntime>(activity);
}

class ActivityTest : public ::testing::Test {
 protected:
  // A process whose first variable holds `item_list`, and a task with the given
  // parameters and (declared) variables.
  void SetUpTask(const std::string& item_list, std::vector<sim::ParameterSpec> parameters,
                 std::vector<std::string> variables) {
    sim.SetProcess({.id = kProcessId, .variables = {sim::ItemListVariable(item_list)}});
    sim::TaskSpec task{.task_id = kTaskId, .process_id = kProcessId};
    task.parameters = std::move(parameters);
    for (std::string& name : variables) task.variables.push_back({.name = std::move(name)});
    sim.AddTask(std::move(task));
    sim.AddDatabase(kDatabase);
  }

  int32_t Execute(std::string_view class_name) {
    pelmark::ComPtr<pelmark::IActivityRuntime> activity = NewActivity(class_name);
    pelmark::ITask* task = sim.Task(kTaskId);
    return activity->Execute(sim.Services(), task);
  }

  // Runs Execute expecting it to fail; returns the error.
  pelmark::Error ExecuteFailing(std::string_view class_name) {
    return ErrorOf([&] { Execute(class_name); });
  }

  // The DMS operations in order, as text ("IDmsService.Connect(...)").
  std::vector<std::string> DmsOps() const {
    std::vector<std::string> out;
    for (const sim::Call& c : sim.DmsCalls()) out.push_back(c.op);
    return out;
  }

  void TearDown() override {
    EXPECT_TRUE(sim.HeldReferences().empty())
        << "still held: " << ::testing::PrintToString(sim.HeldReferences());
  }

  // Starts again from an empty simulator, for tests that loop over cases.
  void ResetSimulator() {
    simulator_.emplace();
    platform.decisions.clear();
  }

  TestPlatform platform;

 private:
  std::optional<sim::Simulator> simulator_{std::in_place};

 protected:
  sim::Simulator& sim = *simulator_;
};

}  // namespace corvane_test
