// The host side of the component model: reads the registry directory that
// registration writes, loads a component module with dlopen, checks that the
// module and this host were built to the same binary contract, and creates
// objects through DllGetClassObject and the class factory.
//
// Header-only on purpose: it is compiled with the host's own flags, so the
// contract check describes the host, not the library.
//
// Threading: a Registry may be shared between threads (it only reads files). A
// ComponentModule is created and destroyed on one thread; objects it creates are
// apartment-threaded (each used on one thread).
//
// Typical usage:
//   corvane::Registry registry("/var/lib/pelmark/registry");
//   corvane::RegisteredClass entry = registry.Resolve("Corvane.MarkAsVital");
//   corvane::ComponentModule module(entry.module_path);
//   auto step = module.Create<pelmark::IActivityRuntime>(entry.clsid);
#pragma once

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "corvane/component.h"
#include "corvane/contract_check.h"
#include "corvane/platform.h"
#include "corvane/registry_entries.h"
#include "pelmark/com.h"
#include "pelmark/contract.h"

namespace corvane {

// The loader's error numbers beyond those of corvane/registry_entries.h.
inline constexpr int32_t kErrorPathAccess = 75;  // registry directory unreadable

// Reads the registry directory that component registration writes: one
// directory per key, one file per value, a key's default value in the file "@".
// Keys and values are reached from the root one name at a time without
// following a symbolic link, and a value is opened without waiting and read up
// to kMaxRegistryValueBytes: a link, a special file (a FIFO, a device) or a
// larger file inside the registry is refused with error 75 naming it.
class Registry {
 public:
  explicit Registry(std::string root) : root_(std::move(root)) {}
  const std::string& root() const { return root_; }

  // The CLSID a ProgID names, if registered.
  std::optional<pelmark::CLSID> ClsidOfProgId(std::string_view prog_id) const {
    return RegisteredClsid(*this, prog_id);
  }

  // The registration of a CLSID, if registered.
  std::optional<RegisteredClass> Lookup(const pelmark::CLSID& clsid) const {
    return RegisteredClassOf(*this, clsid);
  }

  // Every registered class, ordered by ProgID.
  std::vector<RegisteredClass> Classes() const {
    std::vector<RegisteredClass> out;
    Descriptor key = OpenKey("CLSID");
    DIR* listing = key.fd >= 0 ? ::fdopendir(::dup(key.fd)) : nullptr;
    if (!listing) return out;
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(listing)) names.emplace_back(e->d_name);
    ::closedir(listing);
    for (const std::string& name : names) {
      pelmark::CLSID clsid;
      if (!pelmark::TryParseGuid(name, &clsid)) continue;
      if (std::optional<RegisteredClass> c = Lookup(clsid)) out.push_back(*c);
    }
    std::sort(out.begin(), out.end(), [](const RegisteredClass& a, const RegisteredClass& b) {
      return a.prog_id < b.prog_id;
    });
    return out;
  }

  // A value of a key ("@" for its default value); nullopt when absent.
  // Throws pelmark::Error 75 for an entry that is refused (see above).
  std::optional<std::string> Value(std::string_view key_path, std::string_view name = "@") const {
    Descriptor key = OpenKey(key_path);
    if (key.fd < 0) return std::nullopt;
    const std::string file(name.empty() ? "@" : name);
    const std::string path = PathOf(std::string(key_path) + "/" + file);
    Descriptor value{
        ::openat(key.fd, file.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)};
    if (value.fd < 0) {
      if (errno == ELOOP || errno == ENXIO) RefuseIfSpecial(key.fd, file, path);
      return std::nullopt;
    }
    struct stat st {};
    if (::fstat(value.fd, &st) != 0 || S_ISDIR(st.st_mode)) return std::nullopt;
    if (!S_ISREG(st.st_mode)) {
      RefuseIfSpecial(key.fd, file, path);
      return std::nullopt;
    }
    std::string text;
    char buffer[4096];
    for (;;) {
      const ssize_t got = ::read(value.fd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) break;
      text.append(buffer, static_cast<size_t>(got));
      if (text.size() > kMaxRegistryValueBytes)
        throw pelmark::Error(
            kErrorPathAccess, "Registry",
            "the registry value " + path + " holds more than " +
                std::to_string(kMaxRegistryValueBytes) +
                " bytes, more than any registration writes; remove it and register the "
                "component again");
    }
    return text;
  }

  // Throws pelmark::Error 75 when the directory is missing or cannot be read.
  void CheckReadable() const {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::is_directory(root_, ec))
      throw pelmark::Error(kErrorPathAccess, "Registry",
                           "the registry directory " + root_ +
                               " does not exist; register the component into it first (corvane "
                               "register --registry " +
                               root_ + ")");
    fs::directory_iterator probe(root_, ec);
    if (ec)
      throw pelmark::Error(kErrorPathAccess, "Registry",
                           "the registry directory " + root_ + " cannot be read (" + ec.message() +
                               "); give this host read access to it");
  }

  // The registration of a ProgID ("Corvane.MarkAsVital") or of a CLSID written
  // as text ("{...}"). Throws pelmark::Error 75 for an unusable directory and
  // 429 for a class that is not registered there.
  RegisteredClass Resolve(std::string_view prog_id_or_clsid) const {
    CheckReadable();
    pelmark::CLSID clsid;
    const bool is_clsid = pelmark::TryParseGuid(prog_id_or_clsid, &clsid);
    if (!is_clsid) {
      std::optional<pelmark::CLSID> found = ClsidOfProgId(prog_id_or_clsid);
      if (!found)
        throw pelmark::Error(kErrorCannotCreateObject, "Registry",
                             std::string(prog_id_or_clsid) + " is not registered in " + root_ +
                                 "; register the component (corvane register --registry " + root_ +
                                 ") or check the ProgID's spelling (corvane classes lists them)");
      clsid = *found;
    }
    std::optional<RegisteredClass> entry = Lookup(clsid);
    if (!entry)
      throw pelmark::Error(kErrorCannotCreateObject, "Registry",
                           "the class " + pelmark::GuidToString(clsid) +
                               (is_clsid ? "" : " of " + std::string(prog_id_or_clsid)) +
                               " has no InprocServer32 entry in " + root_ +
                               "; register the component again (corvane register --registry " +
                               root_ + ")");
    return *entry;
  }

 private:
  // A file descriptor closed when it goes out of scope.
  struct Descriptor {
    int fd = -1;
    Descriptor() = default;
    explicit Descriptor(int f) : fd(f) {}
    Descriptor(Descriptor&& other) noexcept : fd(other.fd) { other.fd = -1; }
    Descriptor& operator=(Descriptor&& other) noexcept {
      std::swap(fd, other.fd);
      return *this;
    }
    ~Descriptor() {
      if (fd >= 0) ::close(fd);
    }
  };

  std::string PathOf(const std::string& relative) const {
    return root_ + (root_.empty() || root_.back() == '/' ? "" : "/") + relative;
  }

  // The key's directory, or no descriptor when the key does not exist.
  Descriptor OpenKey(std::string_view key_path) const {
    Descriptor dir{::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
    std::string walked;
    for (size_t from = 0; dir.fd >= 0 && from < key_path.size();) {
      size_t slash = key_path.find('/', from);
      if (slash == std::string_view::npos) slash = key_path.size();
      const std::string part(key_path.substr(from, slash - from));
      from = slash + 1;
      if (part.empty()) continue;
      walked += (walked.empty() ? "" : "/") + part;
      Descriptor next{::openat(dir.fd, part.c_str(),
                               O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)};
      if (next.fd < 0 && (errno == ELOOP || errno == ENOTDIR))
        RefuseIfSpecial(dir.fd, part, PathOf(walked));
      dir = std::move(next);
    }
    return dir;
  }

  // Throws error 75 for an entry that is a link or neither a directory nor a
  // regular file; returns for anything else (a file where a key is looked for,
  // a directory where a value is, reads as nothing registered).
  void RefuseIfSpecial(int dir, const std::string& name, const std::string& path) const {
    struct stat st {};
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return;
    if (S_ISDIR(st.st_mode) || S_ISREG(st.st_mode)) return;
    throw pelmark::Error(
        kErrorPathAccess, "Registry",
        "the registry entry " + path +
            (S_ISLNK(st.st_mode) ? " is a symbolic link, which the registry never follows"
                                 : " is neither a directory nor a regular file") +
            "; remove it and register the component again");
  }

  std::string root_;
};

// A loaded component module. Unloads it (dlclose) on destruction, which the
// owner must not do while objects from it are alive.
class ComponentModule {
 public:
  // Loads the module and checks its contract against this host's. Throws
  // pelmark::Error 53 when there is no file at `path`, 48 when it cannot be
  // loaded, is no component module, or was built to another contract.
  explicit ComponentModule(const std::string& path) : path_(path) {
    std::error_code ec;
    if (!std::filesystem::exists(path, ec))
      throw pelmark::Error(
          kErrorFileNotFound, "ComponentModule",
          "the module " + path +
              " does not exist; install the corvane package or give the module's path");
    handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_) {
      const char* why = dlerror();
      throw pelmark::Error(kErrorLoadingModule, "ComponentModule",
                           "cannot load " + path + ": " + (why ? why : "unknown reason"));
    }
    get_class_object_ = Resolve<decltype(get_class_object_)>("DllGetClassObject");
    can_unload_now_ = Resolve<decltype(can_unload_now_)>("DllCanUnloadNow");
    register_server_ = Resolve<decltype(register_server_)>("DllRegisterServer");
    unregister_server_ = Resolve<decltype(unregister_server_)>("DllUnregisterServer");
    find_resource_ = Resolve<decltype(find_resource_)>("CorvaneFindResource");
    set_platform_ = Resolve<decltype(set_platform_)>("CorvaneSetPlatform");
    auto get_contract = Resolve<const CorvaneContract* (*)()>("CorvaneGetContract");
    if (!get_class_object_ || !can_unload_now_ || !register_server_ || !unregister_server_) {
      Unload();
      throw pelmark::Error(
          kErrorLoadingModule, "ComponentModule",
          path + " is not a component module: the four server entry points are missing");
    }
    if (!get_contract) {
      Unload();
      throw pelmark::Error(
          kErrorLoadingModule, "ComponentModule",
          "refusing to use " + path +
              ": it exports no CorvaneGetContract, so it predates contract version " +
              std::to_string(PELMARK_CONTRACT_VERSION) +
              " of this host; install a module of the same release as the headers");
    }
    contract_ = get_contract();
    std::string mismatch = ContractMismatch(path, ModuleContract(), HostContract());
    if (!mismatch.empty()) {
      Unload();
      throw pelmark::Error(kErrorLoadingModule, "ComponentModule", mismatch);
    }
  }
  ~ComponentModule() { Unload(); }
  ComponentModule(const ComponentModule&) = delete;
  ComponentModule& operator=(const ComponentModule&) = delete;

  const std::string& path() const { return path_; }
  // The module's product version ("2.0.0").
  std::string ProductVersion() const { return contract_->product_version; }
  ContractSide ModuleContract() const { return {contract_->contract_version, contract_->abi}; }

  pelmark::HRESULT GetClassObject(const pelmark::CLSID& clsid, const pelmark::IID& iid,
                                  void** out) const {
    return get_class_object_(clsid, iid, out);
  }
  pelmark::HRESULT CanUnloadNow() const { return can_unload_now_(); }
  // Registers every class into the platform's registry directory. When that
  // fails part way, the module takes back what it wrote and logs each failure,
  // with its path and reason, to the platform's event log.
  pelmark::HRESULT RegisterServer() const { return register_server_(); }
  // Removes the registration; what cannot be removed stays and is logged, with
  // its path and reason, to the platform's event log.
  pelmark::HRESULT UnregisterServer() const { return unregister_server_(); }

  // A resource's bytes (empty when the module has none of that name).
  std::vector<uint8_t> Resource(const char* type, const char* name, uint32_t id = 1) const {
    if (!find_resource_) return {};
    const uint8_t* data = nullptr;
    uint32_t size = 0;
    if (pelmark::Failed(find_resource_(type, name, id, &data, &size)) || !data) return {};
    return std::vector<uint8_t>(data, data + size);
  }

  // Installs the services the module uses (nullptr: its own defaults); returns
  // the previous ones. The services must outlive their use.
  corvane::PlatformServices* SetPlatform(corvane::PlatformServices* services) const {
    return set_platform_ ? set_platform_(services) : nullptr;
  }
  // The module's default services (real clock, en-US, syslog, file system), for
  // a host that replaces only some of them (see corvane::PlatformOverride).
  corvane::PlatformServices* SystemPlatform() const { return contract_->system_platform; }
  // A locale the module knows by name ("en-US", "de-DE"), or null.
  const corvane::LocaleInfo* Locale(std::string_view name) const {
    for (const corvane::LocaleInfo* const* l = contract_->locales; *l; ++l)
      if ((*l)->name == name) return *l;
    return nullptr;
  }

  // An exported symbol, or null.
  void* Symbol(const char* name) const { return dlsym(handle_, name); }

  // Creates an object of a class through its class factory and asks it for
  // interface T. Throws pelmark::Error 429 naming the class and the module.
  template <class T>
  pelmark::ComPtr<T> Create(const pelmark::CLSID& clsid) const {
    void* out = nullptr;
    pelmark::HRESULT hr = GetClassObject(clsid, pelmark::IClassFactory::iid, &out);
    if (hr == pelmark::CLASS_E_CLASSNOTAVAILABLE)
      throw pelmark::Error(
          kErrorCannotCreateObject, "ComponentModule",
          path_ + " does not serve the class " + pelmark::GuidToString(clsid) +
              "; the registry entry that named it is stale: register the component "
              "again");
    if (pelmark::Failed(hr))
      throw pelmark::Error(kErrorCannotCreateObject, "ComponentModule",
                           "DllGetClassObject of " + path_ + " failed for " +
                               pelmark::GuidToString(clsid) + " with " + HresultText(hr));
    pelmark::ComPtr<pelmark::IClassFactory> factory =
        pelmark::ComPtr<pelmark::IClassFactory>::Attach(static_cast<pelmark::IClassFactory*>(out));
    out = nullptr;
    hr = factory->CreateInstance(nullptr, T::iid, &out);
    if (pelmark::Failed(hr))
      throw pelmark::Error(kErrorCannotCreateObject, "ComponentModule",
                           "creating " + pelmark::GuidToString(clsid) + " from " + path_ +
                               " failed with " + HresultText(hr));
    return pelmark::ComPtr<T>::Attach(static_cast<T*>(out));
  }

  static std::string HresultText(pelmark::HRESULT hr) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text = "0x";
    for (int i = 7; i >= 0; --i) text.push_back(kHex[(static_cast<uint32_t>(hr) >> (4 * i)) & 0xF]);
    return text;
  }

 private:
  template <class F>
  F Resolve(const char* name) const {
    return reinterpret_cast<F>(dlsym(handle_, name));
  }
  void Unload() {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
  }

  std::string path_;
  void* handle_ = nullptr;
  const CorvaneContract* contract_ = nullptr;
  pelmark::HRESULT (*get_class_object_)(const pelmark::CLSID&, const pelmark::IID&,
                                        void**) = nullptr;
  pelmark::HRESULT (*can_unload_now_)() = nullptr;
  pelmark::HRESULT (*register_server_)() = nullptr;
  pelmark::HRESULT (*unregister_server_)() = nullptr;
  pelmark::HRESULT (*find_resource_)(const char*, const char*, uint32_t, const uint8_t**,
                                     uint32_t*) = nullptr;
  corvane::PlatformServices* (*set_platform_)(corvane::PlatformServices*) = nullptr;
};

}  // namespace corvane
