#include "framework/dms_objects.h"

#include <string>

#include "framework/com_object.h"

namespace corvane {
namespace {

class DmsSession final : public ComObject<pelmark::IDmsSession> {};

class EntityRef final : public ComObject<pelmark::IEntityRef> {
 public:
  std::string EntityName() override { return entity_name_; }
  void SetEntityName(std::string_view name) override { entity_name_ = name; }
  int32_t ID() override { return id_; }
  void SetID(int32_t id) override { id_ = id; }
  int32_t TypeCode() override { return type_code_; }
  void SetTypeCode(int32_t code) override { type_code_ = code; }
  int32_t VersionType() override { return version_type_; }
  void SetVersionType(int32_t v) override { version_type_ = v; }

 private:
  std::string entity_name_;
  int32_t id_ = 0;
  int32_t type_code_ = 0;
  int32_t version_type_ = 0;
};

class Query final : public ComObject<pelmark::IQuery> {
 public:
  void LoadXml(std::string_view text) override { xml_ = text; }
  std::string Xml() override { return xml_; }
  bool QueryFlag() override { return flag_; }
  void SetQueryFlag(bool flag) override { flag_ = flag; }

 private:
  std::string xml_;
  bool flag_ = false;
};

}  // namespace

pelmark::ComPtr<pelmark::IDmsSession> NewDmsSession() { return MakeCom<DmsSession>(); }
pelmark::ComPtr<pelmark::IEntityRef> NewEntityRef() { return MakeCom<EntityRef>(); }
pelmark::ComPtr<pelmark::IQuery> NewQuery() { return MakeCom<Query>(); }

}  // namespace corvane
