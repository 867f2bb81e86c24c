#include "records/export_activity.h"

#include <string>

#include "corvane/component.h"
#include "corvane/platform.h"
#include "framework/com_object.h"
#include "framework/dms_objects.h"
#include "framework/host_access.h"
#include "framework/item_list.h"
#include "rules/file_system.h"
#include "rules/variant_rules.h"

namespace corvane {
namespace {

constexpr int32_t kDispDirectoryExists = 0x60030000;
constexpr int32_t kDispMakeDirectory = 0x60030001;

// Folder paths written for another platform use "\"; here "/" separates.
std::string WithSlashes(std::string_view path) {
  std::string out(path);
  for (char& c : out)
    if (c == '\\') c = '/';
  return out;
}

class ExportActivity final : public Activity, public _ExportToFolder {
 public:
  using Activity::Activity;

  // The default interface has members of its own, so it is a second vtable.
  pelmark::HRESULT QueryInterface(const pelmark::IID& iid, void** out) override {
    return Activity::QueryInterface(iid, out);
  }
  uint32_t AddRef() override { return Activity::AddRef(); }
  uint32_t Release() override { return Activity::Release(); }
  pelmark::HRESULT GetTypeInfoCount(uint32_t* count) override {
    return Activity::GetTypeInfoCount(count);
  }
  pelmark::HRESULT GetTypeInfo(uint32_t index, uint32_t lcid, void** info) override {
    return Activity::GetTypeInfo(index, lcid, info);
  }
  pelmark::HRESULT GetIDsOfNames(std::span<const std::string_view> names,
                                 int32_t* dispids) override {
    return Activity::GetIDsOfNames(names, dispids);
  }
  pelmark::HRESULT Invoke(int32_t dispid, std::span<pelmark::Variant> args,
                          pelmark::Variant* result) override {
    return Activity::Invoke(dispid, args, result);
  }

  // True when a file-system entry of that name exists, a plain file included.
  // A trailing separator still names the entry, so a plain file standing where
  // the folder should be counts as existing and nothing is created over it.
  bool DirectoryExists(std::string_view path_name) override {
    std::string path = WithSlashes(path_name);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return FolderExists(path);
  }

  // Creates the folder and each missing parent, the outermost first. With an
  // export root, a folder that is not inside it (one of the root's own parents
  // included) is refused before anything is asked.
  void MakeDirectory(std::string_view folder) override {
    std::string path = WithSlashes(folder);
    if (path.empty() || path.back() != '/') path.push_back('/');
    CheckFolderInsideRoot(path);
    // The walk starts after the root, so the root itself is never created.
    size_t start = path.front() == '/' ? 1 : 0;
    while (!DirectoryExists(path)) {
      size_t separator = path.find('/', start);
      if (separator == std::string::npos) break;
      // Positions are 16-bit, as they always were: longer paths overflow.
      if (separator + 1 > 32767) Raise(6);
      std::string prefix = path.substr(0, separator + 1);
      if (!DirectoryExists(prefix)) CreateFolder(prefix.substr(0, separator));
      start = separator + 1;
    }
  }

 private:
  void* QueryOwnInterface(const pelmark::IID& iid) override {
    return iid == _ExportToFolder::iid ? static_cast<_ExportToFolder*>(this) : nullptr;
  }

  int32_t OwnDispatchId(std::string_view name) override {
    if (EqualsIgnoringCase(name, "DirectoryExists")) return kDispDirectoryExists;
    if (EqualsIgnoringCase(name, "MakeDirectory")) return kDispMakeDirectory;
    return -1;
  }

  pelmark::HRESULT InvokeOwn(int32_t dispid, std::span<pelmark::Variant> args,
                             pelmark::Variant* result) override {
    if (dispid != kDispDirectoryExists && dispid != kDispMakeDirectory)
      return pelmark::DISP_E_MEMBERNOTFOUND;
    if (args.size() != 1) return pelmark::DISP_E_BADPARAMCOUNT;
    std::string path = ToText(args[0]);
    if (dispid == kDispDirectoryExists) {
      bool exists = DirectoryExists(path);
      if (result) *result = exists;
    } else {
      MakeDirectory(path);
    }
    return pelmark::S_OK;
  }

  static bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return LCase(a) == LCase(b);
  }

  int32_t ExecuteWork(pelmark::IActivityServices* services, pelmark::ITask* task,
                      Line& at) override {
    RunItemFront(services, task, at, [&](ItemContext& items) {
      at(8);
      pelmark::ComPtr<pelmark::IEntityRef> item =
          GetEntityLookupType(items.doc, items.dms, task, items.kind);
      at(9);
      bool export_document = TaskParameterExists(task, "EXPORT_DOCUMENT");
      at(10);
      std::string folder = ToTextOrEmpty(TaskParameter(task, "FOLDER"));
      if (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
      at(11);
      MakeDirectory(folder);
      at(12);
      // The result is kept to the end of the call but not used.
      pelmark::ComPtr<pelmark::IExportResult> exported;
      if (export_document) exported = items.dms->ExportDocument(item.get(), folder);
    });
    return pelmark::kResultDone;
  }

  // The reference of the last item of the list (the walk overwrites it item by
  // item); null when the list element is absent.
  pelmark::ComPtr<pelmark::IEntityRef> GetEntityLookupType(const XmlDocument& doc,
                                                           pelmark::IDmsService*, pelmark::ITask*,
                                                           const std::string& kind) {
    return Reported({kPrivate, info().name, ":GetEntityLookupType Ln "}, [&](Line& at) {
      at(1);
      pelmark::ComPtr<pelmark::IEntityRef> ref = NewEntityRef();
      at(2);
      if (!WalkItems(doc, kind, ref.get(), [](const ListedItem&, pelmark::IEntityRef*) {}))
        ref.reset();
      return ref;
    });
  }
};

}  // namespace

Activity* NewExportActivity(const ClassInfo& info) { return new ExportActivity(info); }

}  // namespace corvane
