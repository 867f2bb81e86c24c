// The built Corvane.so, loaded with dlopen as a host loads it: registration,
// class objects, identities, resources, late binding and the default methods.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>

#include "corvane/catalogue.h"
#include "corvane/decisions.h"
#include "corvane/design.h"
#include "corvane/loader.h"
#include "corvane/platform.h"
#include "errors.h"
#include "pelmark/host.h"
#include "simulator.h"

namespace {

using corvane_test::ErrorOf;

namespace fs = std::filesystem;
using pelmark::ComPtr;
using pelmark::IActivityRuntime;

// The platform the module under test sees: a fixed clock, a kept event log and a
// registry directory of the test's own.
class ModulePlatform : public corvane::PlatformServices {
 public:
  double Now() override { return 46361.5; }
  const corvane::LocaleInfo& Locale() override { return locale_; }
  void LogError(std::string_view description) override { log.emplace_back(description); }
  bool PathExists(std::string_view) override { return false; }
  void CreateDirectory(std::string_view) override {}
  std::string RegistryRoot() override { return root; }

  std::string root;
  std::vector<std::string> log;

 private:
  // The module formats nothing in these tests; a name is enough.
  corvane::LocaleInfo locale_ = [] {
    corvane::LocaleInfo l{};
    l.name = "en-US";
    return l;
  }();
};

class ComponentTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform.root = (fs::temp_directory_path() /
                     ("corvane-registry-" + std::to_string(::getpid()) + "-" +
                      ::testing::UnitTest::GetInstance()->current_test_info()->name()))
                        .string();
    fs::remove_all(platform.root);
    using SetPlatformFn = corvane::PlatformServices* (*)(corvane::PlatformServices*);
    auto set_platform = reinterpret_cast<SetPlatformFn>(module.Symbol("CorvaneSetPlatform"));
    ASSERT_NE(set_platform, nullptr);
    set_platform(&platform);
  }
  void TearDown() override {
    reinterpret_cast<corvane::PlatformServices* (*)(corvane::PlatformServices*)>(
        module.Symbol("CorvaneSetPlatform"))(nullptr);
    fs::remove_all(platform.root);
  }

  ComPtr<IActivityRuntime> Create(std::string_view class_name) {
    return module.Create<IActivityRuntime>(corvane::FindClassByName(class_name)->clsid);
  }

  corvane::ComponentModule module{CORVANE_MODULE_PATH};
  ModulePlatform platform;
};

TEST_F(ComponentTest, RegistrationListsEveryCatalogueClassAndUnregistrationRemovesThem) {
  ASSERT_EQ(module.RegisterServer(), pelmark::S_OK);
  corvane::Registry registry(platform.root);

  std::vector<corvane::RegisteredClass> classes = registry.Classes();
  ASSERT_EQ(classes.size(), 32u);
  for (const corvane::ClassInfo& c : corvane::kCatalogue) {
    std::string prog_id = "Corvane." + std::string(c.name);
    SCOPED_TRACE(prog_id);
    std::optional<pelmark::CLSID> clsid = registry.ClsidOfProgId(prog_id);
    ASSERT_TRUE(clsid.has_value());
    EXPECT_EQ(*clsid, c.clsid);
    std::optional<corvane::RegisteredClass> entry = registry.Lookup(c.clsid);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->prog_id, prog_id);
    EXPECT_EQ(entry->threading_model, "Apartment");
    EXPECT_EQ(fs::canonical(entry->module_path), fs::canonical(CORVANE_MODULE_PATH));
    EXPECT_EQ(registry.Value("Interface/" + pelmark::GuidToString(c.default_iid)),
              "_" + std::string(c.name));
  }
  EXPECT_EQ(registry.ClsidOfProgId("Corvane.UnmarkAsRecord"),
            pelmark::ParseGuid("{5E48E254-8595-48B3-83E9-AA7D841C1A8F}"));
  const std::string typelib = "TypeLib/{E3035E95-5FA0-4F05-8F5C-01D1CB1BC87E}/1.0";
  EXPECT_EQ(registry.Value(typelib, "Name"), "Corvane");
  EXPECT_TRUE(registry.Value(typelib + "/Imports/{5086F526-75C2-4BC8-9B88-FDAF41174E45}"));

  ASSERT_EQ(module.UnregisterServer(), pelmark::S_OK);
  EXPECT_TRUE(registry.Classes().empty());
  EXPECT_TRUE(fs::is_empty(platform.root)) << "unregistration leaves nothing behind";
}

// Every file of a registry directory with its text, to compare a whole
// registry; a link or a FIFO is listed as such, never followed or read.
std::map<std::string, std::string> RegistryFiles(const fs::path& root) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(e.path(), root).generic_string();
    if (e.is_symlink()) {
      files[name] = "link to " + fs::read_symlink(e.path()).string();
    } else if (e.is_fifo()) {
      files[name] = "fifo";
    } else if (!e.is_directory()) {
      std::ifstream in(e.path(), std::ios::binary);
      files[name] =
          std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    }
  }
  return files;
}

TEST_F(ComponentTest, ARegistrationFailingPartWayLeavesTheRegistryAsItWasAndLogsThePath) {
  // The module's own entry point, as a host that calls it directly does.
  auto register_server =
      reinterpret_cast<pelmark::HRESULT (*)()>(module.Symbol("DllRegisterServer"));
  ASSERT_NE(register_server, nullptr);
  const fs::path root = platform.root;
  const std::string last_interface =
      "Interface/" +
      pelmark::GuidToString(corvane::kCatalogue[corvane::kClassCount - 1].default_iid);

  // Into an empty registry whose Interface key is a plain file: the type library and
  // the classes are written first, then the first interface key cannot be made.
  fs::create_directories(root);
  std::ofstream(root / "Interface") << "not a key";
  EXPECT_EQ(register_server(), pelmark::SELFREG_E_CLASS);
  EXPECT_EQ(RegistryFiles(root), (std::map<std::string, std::string>{{"Interface", "not a key"}}));
  EXPECT_EQ(std::distance(fs::directory_iterator(root), fs::directory_iterator()), 1)
      << "no empty key directories are left";
  ASSERT_EQ(platform.log.size(), 1u);
  EXPECT_NE(platform.log[0].find((root / "Interface").string() + "/{"), std::string::npos)
      << platform.log[0];
  EXPECT_NE(platform.log[0].find("Not a directory"), std::string::npos) << platform.log[0];

  // Over an earlier registration: the values it replaced get their old text back.
  fs::remove(root / "Interface");
  ASSERT_EQ(register_server(), pelmark::S_OK);
  const fs::path server =
      root / "CLSID" / pelmark::GuidToString(corvane::kCatalogue[0].clsid) / "InprocServer32" / "@";
  std::ofstream(server) << "/opt/older/Corvane.so";
  fs::remove_all(root / last_interface);
  std::ofstream(root / last_interface) << "in the way";
  const std::map<std::string, std::string> before = RegistryFiles(root);
  platform.log.clear();
  EXPECT_EQ(register_server(), pelmark::SELFREG_E_CLASS);
  EXPECT_EQ(RegistryFiles(root), before);
  ASSERT_EQ(platform.log.size(), 1u);
  EXPECT_NE(platform.log[0].find((root / last_interface).string()), std::string::npos)
      << platform.log[0];
}

// Registrations side by side, and a registration beside an unregistration,
// each in a process of its own, started together. The registry's lock runs
// them one after the other: after every round the registry holds the whole
// registration or (when the unregistration ran last) nothing, and every
// process answered success.
TEST_F(ComponentTest, RegistrationsSideBySideLeaveAWholeRegistry) {
  ASSERT_EQ(module.RegisterServer(), pelmark::S_OK);
  const std::map<std::string, std::string> whole = RegistryFiles(platform.root);
  ASSERT_EQ(whole.size(), 391u);
  ASSERT_EQ(module.UnregisterServer(), pelmark::S_OK);
  for (int round = 0; round < 8; ++round) {
    const bool with_unregistration = round % 2 == 1;
    SCOPED_TRACE(with_unregistration ? "register and unregister" : "register twice");
    int start[2];
    ASSERT_EQ(::pipe(start), 0);
    std::vector<pid_t> children;
    for (int child = 0; child < 2; ++child) {
      const pid_t pid = ::fork();
      if (pid == 0) {
        char go;
        ::close(start[1]);
        (void)::read(start[0], &go, 1);  // returns once the parent closes its end
        const bool unregister = with_unregistration && child == 1;
        ::_exit((unregister ? module.UnregisterServer() : module.RegisterServer()) == pelmark::S_OK
                    ? 0
                    : 1);
      }
      children.push_back(pid);
    }
    ::close(start[0]);
    ::close(start[1]);
    for (pid_t pid : children) {
      int status = 0;
      ASSERT_EQ(::waitpid(pid, &status, 0), pid);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a process reported failure";
    }
    const std::map<std::string, std::string> now = RegistryFiles(platform.root);
    if (with_unregistration && now.empty()) continue;
    EXPECT_EQ(now, whole) << "round " << round;
  }
}

// A link or a special file inside the registry is never followed, written or
// read: registration fails and takes back what it did, the loader refuses the
// class with error 75, and each names the path. Unregistration removes the
// link itself and leaves what it points to.
TEST_F(ComponentTest, LinksAndSpecialFilesInTheRegistryAreRefusedWithTheirPath) {
  const fs::path root = platform.root;
  const fs::path outside = root.string() + "-outside";
  const corvane::ClassInfo& first = corvane::kCatalogue[0];
  const fs::path server = root / "CLSID" / pelmark::GuidToString(first.clsid) / "InprocServer32";
  struct {
    const char* what;
    fs::path entry;
    std::function<void(const fs::path&)> make;
    const char* reason;
  } cases[] = {
      {"a value linked outside", server / "@",
       [&](const fs::path& at) { fs::create_symlink(outside / "target", at); }, "symbolic link"},
      {"a key linked outside", server,
       [&](const fs::path& at) { fs::create_directory_symlink(outside, at); }, "symbolic link"},
      {"a FIFO as a value", server / "@",
       [](const fs::path& at) { ASSERT_EQ(::mkfifo(at.c_str(), 0644), 0); },
       "neither a directory nor a regular file"},
      {"a value larger than any registry value", server / "@",
       [](const fs::path& at) { std::ofstream(at) << std::string(100000, 'x'); }, "65536 bytes"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(root);
    fs::remove_all(outside);
    fs::create_directories(outside);
    std::ofstream(outside / "target") << "kept";
    ASSERT_EQ(module.RegisterServer(), pelmark::S_OK);
    fs::remove_all(c.entry);
    c.make(c.entry);
    const std::map<std::string, std::string> before = RegistryFiles(root);
    platform.log.clear();

    EXPECT_EQ(module.RegisterServer(), pelmark::SELFREG_E_CLASS);
    EXPECT_EQ(RegistryFiles(root), before);
    ASSERT_EQ(platform.log.size(), 1u);
    EXPECT_NE(platform.log[0].find(c.entry.string()), std::string::npos) << platform.log[0];
    EXPECT_NE(platform.log[0].find(c.reason), std::string::npos) << platform.log[0];
    {
      pelmark::Error e = ErrorOf(
          [&] { corvane::Registry(root.string()).Resolve("Corvane." + std::string(first.name)); });
      EXPECT_EQ(e.number(), 75);
      EXPECT_NE(e.description().find(c.entry.string()), std::string::npos) << e.description();
    }
    EXPECT_EQ(module.UnregisterServer(), pelmark::S_OK);
    EXPECT_TRUE(fs::is_empty(root));
    EXPECT_EQ(RegistryFiles(outside), (std::map<std::string, std::string>{{"target", "kept"}}));
  }
  fs::remove_all(outside);
}

// A value the file system will not take (here: past the process's file size
// limit) fails registration with the reason; the write is not tried again.
TEST_F(ComponentTest, AValueTheFileSystemRefusesFailsRegistrationAndNamesTheReason) {
  rlimit before{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &before), 0);
  rlimit one_byte = before;
  one_byte.rlim_cur = 1;
  auto* previous = ::signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &one_byte), 0);
  const pelmark::HRESULT registered = module.RegisterServer();
  ::setrlimit(RLIMIT_FSIZE, &before);
  ::signal(SIGXFSZ, previous);
  EXPECT_EQ(registered, pelmark::SELFREG_E_CLASS);
  ASSERT_EQ(platform.log.size(), 1u);
  EXPECT_NE(platform.log[0].find("File too large"), std::string::npos) << platform.log[0];
}

TEST_F(ComponentTest, UnregisteringFromARegistryThatIsNoDirectoryFailsAndNamesIt) {
  const fs::path file = fs::path(platform.root + "-file");
  std::ofstream(file) << "a file";
  platform.root = (file / "registry").string();
  EXPECT_EQ(module.UnregisterServer(), pelmark::SELFREG_E_CLASS);
  EXPECT_EQ(module.RegisterServer(), pelmark::SELFREG_E_CLASS);
  ASSERT_EQ(platform.log.size(), 2u);
  for (const std::string& entry : platform.log) {
    EXPECT_NE(entry.find(platform.root), std::string::npos) << entry;
    EXPECT_NE(entry.find("Not a directory"), std::string::npos) << entry;
  }
  fs::remove(file);
}

TEST_F(ComponentTest, EveryClassIsCreatableByProgIdAndAnswersItsInterfaces) {
  ASSERT_EQ(module.RegisterServer(), pelmark::S_OK);
  corvane::Registry registry(platform.root);
  for (const corvane::ClassInfo& c : corvane::kCatalogue) {
    SCOPED_TRACE(c.name);
    std::optional<pelmark::CLSID> clsid = registry.ClsidOfProgId("Corvane." + std::string(c.name));
    ASSERT_TRUE(clsid.has_value());
    ComPtr<IActivityRuntime> runtime = module.Create<IActivityRuntime>(*clsid);
    ASSERT_TRUE(runtime);
    void* out = nullptr;
    ASSERT_EQ(runtime->QueryInterface(c.default_iid, &out), pelmark::S_OK);
    ComPtr<pelmark::IDispatch> default_interface =
        ComPtr<pelmark::IDispatch>::Attach(static_cast<pelmark::IDispatch*>(out));
    EXPECT_TRUE(runtime.try_query<pelmark::IDispatch>());
    EXPECT_TRUE(runtime.try_query<pelmark::IUnknown>());
    EXPECT_FALSE(runtime.try_query<pelmark::ITask>());
    // The design-time interface: the class's reference, and its check of a
    // configuration that names a parameter no class reads.
    ComPtr<corvane::IActivityDesign> design = runtime.try_query<corvane::IActivityDesign>();
    ASSERT_TRUE(design);
    EXPECT_EQ(nlohmann::json::parse(design->Describe())["name"], c.name);
    nlohmann::json checked = nlohmann::json::parse(
        design->Check(R"({"step": {"parameters": {"NO_SUCH_PARAMETER": 1}}})"));
    ASSERT_FALSE(checked["findings"].empty());
    EXPECT_EQ(checked["findings"][0]["name"], "NO_SUCH_PARAMETER");
    EXPECT_EQ(module.CanUnloadNow(), pelmark::S_FALSE);
  }
  EXPECT_EQ(module.CanUnloadNow(), pelmark::S_OK) << "every object was released";
}

TEST_F(ComponentTest, UnknownClassesAndAggregationAreRefused) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(module.GetClassObject(pelmark::IUnknown::iid, pelmark::IClassFactory::iid, &out),
            pelmark::CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  ASSERT_EQ(module.GetClassObject(corvane::kCatalogue[0].clsid, pelmark::IClassFactory::iid, &out),
            pelmark::S_OK);
  auto factory = ComPtr<pelmark::IClassFactory>::Attach(static_cast<pelmark::IClassFactory*>(out));
  ComPtr<IActivityRuntime> outer = Create("Wait");
  EXPECT_EQ(factory->CreateInstance(outer.get(), IActivityRuntime::iid, &out),
            pelmark::CLASS_E_NOAGGREGATION);
}

TEST_F(ComponentTest, EachInterfaceIdResourceIsTwentyBytesEndingWithTheDefaultInterfaceId) {
  for (const corvane::ClassInfo& c : corvane::kCatalogue) {
    std::string name = "_IID_" + std::string(c.name);
    for (char& ch : name) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    std::vector<uint8_t> bytes = module.Resource("CUSTOM", name.c_str());
    ASSERT_EQ(bytes.size(), 20u) << name;
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 4),
              (std::vector<uint8_t>{16, 0, 0, 0}));
    pelmark::GUID iid;
    std::memcpy(&iid.Data1, &bytes[4], 4);
    std::memcpy(&iid.Data2, &bytes[8], 2);
    std::memcpy(&iid.Data3, &bytes[10], 2);
    std::memcpy(iid.Data4, &bytes[12], 8);
    EXPECT_EQ(iid, c.default_iid) << name;
  }
  EXPECT_EQ(module.Resource("CUSTOM", "_IID_EXPORTTOFOLDER"),
            (std::vector<uint8_t>{0x10, 0,    0,    0,    0x38, 0xFF, 0x0A, 0xCE, 0x87, 0xC5,
                                  0x9A, 0x47, 0xB4, 0x0C, 0xB3, 0xB7, 0x6F, 0xFA, 0x39, 0x8C}));
  EXPECT_TRUE(module.Resource("CUSTOM", "_IID_NOSUCHCLASS").empty());
}

// Under the Itanium ABI a pointer to a virtual member holds 1 + the slot's byte offset.
template <class F>
size_t SlotOf(F member) {
  static_assert(sizeof(F) == 2 * sizeof(uintptr_t));
  uintptr_t raw[2];
  std::memcpy(raw, &member, sizeof raw);
  return (raw[0] - 1) / sizeof(void*);
}

TEST(ActivityRuntimeLayoutTest, MethodsFollowTheSevenDispatchSlots) {
  EXPECT_EQ(SlotOf(&pelmark::IUnknown::QueryInterface), 0u);
  EXPECT_EQ(SlotOf(&pelmark::IDispatch::Invoke), 6u);
  EXPECT_EQ(SlotOf(&IActivityRuntime::EvaluateCompositeTask), 7u);
  EXPECT_EQ(SlotOf(&IActivityRuntime::Execute), 8u);
  EXPECT_EQ(SlotOf(&IActivityRuntime::Initialize), 9u);
  EXPECT_EQ(SlotOf(&pelmark::IClassFactory::CreateInstance), 3u);
  EXPECT_EQ(SlotOf(&pelmark::IClassFactory::LockServer), 4u);
}

class DefaultMethodsTest : public ComponentTest {
 protected:
  void SetUp() override {
    ComponentTest::SetUp();
    sim.SetProcess({.id = 12});
    sim.AddTask({.task_id = 5, .process_id = 12});
    sim.SetActivity({.process_id = 12});
  }
  sim::Simulator sim;
};

TEST_F(DefaultMethodsTest, DefaultEvaluateAndInitializeMakeNoHostCall) {
  ComPtr<IActivityRuntime> vital = Create("MarkAsVital");
  pelmark::ITask* task = sim.Task(5);
  EXPECT_EQ(vital->EvaluateCompositeTask(sim.Services(), sim.Activity(), task), 1);
  EXPECT_EQ(task, sim.Task(5));
  vital->Initialize(sim.Services(), sim.Activity());
  EXPECT_TRUE(sim.Journal().empty());
  EXPECT_TRUE(sim.HeldReferences().empty());
}

TEST_F(DefaultMethodsTest, LateBindingCallsTheSameMethodsByName) {
  sim.SetProcess({.id = 12,
                  .variables = {sim::ItemListVariable(
                      "<dmsobject entitytype=\"document\" dbid=\"7\" dbpath=\"\" "
                      "dbtype=\"0\"><documents><document id=\"17\"/></documents>"
                      "</dmsobject>")}});
  sim.AddTask({.task_id = 5,
               .process_id = 12,
               .parameters = {{"REASON", "r"}},
               .variables = {{"MARKEDASRECORDON"}, {"ISVITAL"}}});
  sim.AddDocument(7, {.id = 17});
  ComPtr<IActivityRuntime> vital = Create("MarkAsVital");

  std::string_view names[] = {"execute"};
  int32_t dispid = 0;
  ASSERT_EQ(vital->GetIDsOfNames(names, &dispid), pelmark::S_OK);
  std::vector<pelmark::Variant> args{pelmark::Variant(ComPtr<pelmark::IUnknown>(sim.Services())),
                                     pelmark::Variant(ComPtr<pelmark::IUnknown>(sim.Task(5)))};
  pelmark::Variant result;
  ASSERT_EQ(vital->Invoke(dispid, args, &result), pelmark::S_OK);
  args.clear();
  EXPECT_EQ(result, pelmark::Variant(1));
  EXPECT_EQ(sim.TaskVariable(5, "ISVITAL"), pelmark::Variant(true));

  std::string_view unknown[] = {"Frobnicate"};
  EXPECT_EQ(vital->GetIDsOfNames(unknown, &dispid), pelmark::DISP_E_UNKNOWNNAME);
  EXPECT_TRUE(sim.HeldReferences().empty());
}

TEST_F(DefaultMethodsTest, AHostInstallsADecisionObserverThroughTheModulesEntryPoint) {
  struct Kept final : corvane::DecisionObserver {
    void Decided(const corvane::Decision& decision) override { decisions.push_back(decision); }
    std::vector<corvane::Decision> decisions;
  } kept;
  using SetObserverFn = corvane::DecisionObserver* (*)(corvane::DecisionObserver*);
  auto set_observer = reinterpret_cast<SetObserverFn>(module.Symbol("CorvaneSetDecisionObserver"));
  ASSERT_NE(set_observer, nullptr);
  EXPECT_EQ(set_observer(&kept), nullptr);
  ComPtr<IActivityRuntime> todo = Create("ToDo");
  pelmark::ITask* task = sim.Task(5);
  EXPECT_EQ(todo->EvaluateCompositeTask(sim.Services(), sim.Activity(), task), 3);
  EXPECT_EQ(set_observer(nullptr), &kept);
  EXPECT_EQ(todo->EvaluateCompositeTask(sim.Services(), sim.Activity(), task), 3);

  ASSERT_EQ(kept.decisions.size(), 1u) << "told once, and not once removed";
  EXPECT_EQ(kept.decisions[0].class_name, "ToDo");
  EXPECT_EQ(kept.decisions[0].row, 2);
  EXPECT_EQ(kept.decisions[0].outcome, "stays open");
  EXPECT_EQ(kept.decisions[0].result, 3);
}

TEST_F(DefaultMethodsTest, FailuresReachTheHostAsContractErrorsAcrossTheModule) {
  ComPtr<IActivityRuntime> vital = Create("MarkAsVital");
  sim.SetProcess({.id = 12, .variables = {sim::ItemListVariable("<dmsobject/>")}});
  pelmark::ITask* task = sim.Task(5);
  pelmark::Error e = ErrorOf([&] { vital->Execute(sim.Services(), task); });
  EXPECT_EQ(e.number(), 91);
  EXPECT_TRUE(e.source().starts_with("Corvane\r\nMarkAsVital: IActivityRuntime_Execute"));
  EXPECT_EQ(platform.log.size(), 1u);
  EXPECT_TRUE(sim.HeldReferences().empty());
}

}  // namespace
