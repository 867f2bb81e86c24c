#include "notify/sender_list.h"

#include "framework/com_object.h"
#include "framework/dms_objects.h"
#include "framework/item_list.h"
#include "framework/xml.h"
#include "rules/error_report.h"
#include "rules/variant_rules.h"

namespace corvane {
namespace {

constexpr std::string_view kOwner = "Notify";

// The texts go to the DMS byte for byte, blanks around "=" and before ">"
// included: installed DMS versions match them literally.
constexpr std::string_view kGroupPrefix =
    R"(<query entity="tblUsers" maxrows="-1" distinctmode="1" columnset="0" searchmode="1">)"
    R"(<columnset/><criteria><conditionexpression logicaloperator="1"><conditionexpressions/>)"
    R"(<conditions>)"
    R"(<condition attributename="UserType" attributetype= "13" operator="1" valuetype="0" valuedatatype = "3" >)"
    R"(0</condition></conditions></conditionexpression></criteria><joins>)"
    R"(<join primaryentity="Users" primaryentityattribute="UserID" primaryintermediateattribute="UserID" relatedentity="Group" relateentityattribute="GroupID" jointype="0" >)"
    R"(<columnset/><criteria><conditionexpression logicaloperator="1"><conditionexpressions/>)"
    R"(<conditions>)"
    R"(<condition attributename="GroupID" attributetype= "13" operator="1" valuetype="0" valuedatatype = "3" >)";
constexpr std::string_view kRolePrefix =
    R"(<query entity="tblUsers" maxrows="-1" distinctmode="1" columnset="0" searchmode="1">)"
    R"(<columnset/><criteria><conditionexpression logicaloperator="1"><conditionexpressions/>)"
    R"(<conditions>)"
    R"(<condition attributename="UserType" attributetype= "13" operator="1" valuetype="0" valuedatatype = "3" >)"
    R"(0</condition></conditions></conditionexpression></criteria><joins>)"
    R"(<join primaryentity="Users" primaryentityattribute="UserID" primaryintermediateattribute="UserID" relatedentity="Role" relateentityattribute="RoleID" jointype="0" >)"
    R"(<columnset/><criteria><conditionexpression logicaloperator="1"><conditionexpressions/>)"
    R"(<conditions>)"
    R"(<condition attributename="RoleID" attributetype= "13" operator="1" valuetype="0" valuedatatype = "3" >)";
constexpr std::string_view kMemberSuffix =
    R"(</condition></conditions></conditionexpression></criteria><joins/></join></joins>)"
    R"(<orderby/><parameters/></query>)";

std::string FieldValueText(pelmark::IEntity* record, std::string_view name,
                           bool null_is_empty = false) {
  pelmark::ComPtr<pelmark::IFields> fields = Must(record)->Fields();
  pelmark::ComPtr<pelmark::IField> field = Must(fields)->Item(name);
  pelmark::Variant value = Must(field)->Value();
  return null_is_empty ? ToTextOrEmpty(value) : ToText(value);
}

// Runs one member query and adds its users; someone already in the pool only
// gains Weight, so the pool keeps the place and data of the first listing.
void AddMembers(std::string_view procedure, std::string_view prefix, pelmark::IDmsService* dms,
                CResources& pool, const std::string& id) {
  Reported({kPrivate, kOwner, procedure, kQuiet}, [&](Line& at) {
    at(1);
    if (!dms) return;
    pelmark::ComPtr<pelmark::IQuery> query = NewQuery();
    query->SetQueryFlag(true);
    query->LoadXml(std::string(prefix) + id + std::string(kMemberSuffix));
    at(2);
    pelmark::ComPtr<pelmark::IEntityList> records = dms->QueryRecords(query.get());
    at(3);
    const int32_t count = Must(records)->Count();
    for (int32_t i = 1; i <= count; ++i) {
      at(4);
      pelmark::ComPtr<pelmark::IEntity> record = records->Item(i);
      const std::string user_id = std::to_string(Must(record)->ID());
      const std::string key = LCase(user_id);
      if (pool.Exist(pelmark::Variant(key))) {
        at(5);
        CResource& member = pool.Item(pelmark::Variant(key));
        if (member.Weight() == INT32_MAX) Raise(6);
        member.SetWeight(member.Weight() + 1);
        continue;
      }
      at(6);
      auto member = std::make_shared<CResource>();
      member->SetResourceID(user_id);
      member->SetResourceType("dms.user");
      // A blank or Null full name falls back to the login name.
      std::string name = FieldValueText(record.get(), "Full Name", true);
      if (Trim(name).empty()) name = FieldValueText(record.get(), "Name");
      member->SetResourceName(std::move(name));
      at(7);
      member->SetResourceEmailID(FieldValueText(record.get(), "EmailID"));
      at(8);
      pool.Add(std::move(member));
    }
  });
}

}  // namespace

std::string GroupMembersQuery(std::string_view group_id) {
  return std::string(kGroupPrefix) + std::string(group_id) + std::string(kMemberSuffix);
}

std::string RoleMembersQuery(std::string_view role_id) {
  return std::string(kRolePrefix) + std::string(role_id) + std::string(kMemberSuffix);
}

void AddGroupMembers(pelmark::IDmsService* dms, CResources& pool, const std::string& group_id) {
  AddMembers(":AddGroupMembers Ln ", kGroupPrefix, dms, pool, group_id);
}

void AddMemberInRole(pelmark::IDmsService* dms, CResources& pool, const std::string& role_id) {
  AddMembers(":AddMemberInRole Ln ", kRolePrefix, dms, pool, role_id);
}

std::unique_ptr<CResources> GetSenderList(pelmark::IActivityServices* services,
                                          pelmark::IProcessInstance* instance,
                                          const std::string& resource_list_xml) {
  return Reported({kPrivate, kOwner, ":GetSenderList Ln ", kQuiet}, [&](Line& at) {
    at(1);
    auto pool = std::make_unique<CResources>();
    if (resource_list_xml.empty()) return pool;
    at(2);
    // A list that is no XML loads as an empty document and so names nobody.
    XmlDocument doc;
    doc.LoadXml(resource_list_xml);
    const std::vector<XmlNode> resources = doc.SelectNodes("//resource");
    pelmark::ComPtr<pelmark::IDmsService> dms = GetDmsService(services);
    for (const XmlNode& resource : resources) {
      at(3);
      const std::string id = resource.SelectSingleNode("./id").Text();
      const std::string type = LCase(resource.SelectSingleNode("./type").Text());
      const std::string name = resource.SelectSingleNode("./name").Text();
      if (type == "dms.user") {
        at(4);
        auto member = std::make_shared<CResource>();
        member->SetResourceID(id);
        member->SetResourceType(type);
        member->SetResourceName(name);
        at(5);
        if (!dms) {
          member->SetResourceEmailID(resource.SelectSingleNode("./email").Text());
        } else if (id == "-2") {
          member->SetResourceEmailID(dms->GetUserEmail(ToLong(Must(instance)->InitiatorID())));
        } else {
          member->SetResourceEmailID(dms->GetUserEmail(ToLong(pelmark::Variant(id))));
        }
        at(6);
        if (member->ResourceID() == "-2") {
          member->SetResourceID(ToText(Must(instance)->InitiatorID()));
          member->SetResourceName(ToText(instance->InitiatorName()));
        }
        at(7);
        // A person listed again keeps the first entry unchanged.
        if (!pool->Exist(pelmark::Variant(LCase(member->ResourceID())))) pool->Add(member);
      } else if (type == "dms.group") {
        at(8);
        AddGroupMembers(dms.get(), *pool, id);
      } else if (type == "dms.role") {
        at(9);
        AddMemberInRole(dms.get(), *pool, id);
      }
    }
    at(10);
    return pool;
  });
}

}  // namespace corvane
