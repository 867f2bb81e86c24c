// Minimal stand-ins for the objects the library makes itself (entity
// references, queries, sessions), so that the simulator can be driven without
// the library. They count references like any COM object.
#pragma once

#include <string>
#include <string_view>

#include "pelmark/dms.h"

namespace sim_test {

template <class I>
class Counted : public I {
 public:
  pelmark::HRESULT QueryInterface(const pelmark::IID& iid, void** out) override {
    if (iid == pelmark::IUnknown::iid || iid == I::iid) {
      *out = static_cast<I*>(this);
      AddRef();
      return pelmark::S_OK;
    }
    *out = nullptr;
    return pelmark::E_NOINTERFACE;
  }
  uint32_t AddRef() override { return ++refs; }
  uint32_t Release() override { return --refs; }  // stack objects: never deleted here
  uint32_t refs = 0;
};

class TestRef final : public Counted<pelmark::IEntityRef> {
 public:
  TestRef(std::string entity_name, int32_t id, int32_t type_code, int32_t version_type = 0)
      : name_(std::move(entity_name)), id_(id), type_code_(type_code), version_(version_type) {}
  std::string EntityName() override { return name_; }
  void SetEntityName(std::string_view name) override { name_ = name; }
  int32_t ID() override { return id_; }
  void SetID(int32_t id) override { id_ = id; }
  int32_t TypeCode() override { return type_code_; }
  void SetTypeCode(int32_t code) override { type_code_ = code; }
  int32_t VersionType() override { return version_; }
  void SetVersionType(int32_t v) override { version_ = v; }

 private:
  std::string name_;
  int32_t id_, type_code_, version_;
};

class TestQuery final : public Counted<pelmark::IQuery> {
 public:
  explicit TestQuery(std::string xml, bool flag = false) : xml_(std::move(xml)), flag_(flag) {}
  void LoadXml(std::string_view text) override { xml_ = text; }
  std::string Xml() override { return xml_; }
  bool QueryFlag() override { return flag_; }
  void SetQueryFlag(bool flag) override { flag_ = flag; }

 private:
  std::string xml_;
  bool flag_;
};

class TestSession final : public Counted<pelmark::IDmsSession> {};

}  // namespace sim_test
