#include "notify/sender_list.h"

#include "framework/com_object.h"
#include "framework/dms_objects.h"
#include "framework/error_report.h"
#include "framework/item_list.h"
#include "framework/variant_rules.h"
#include "framework/xml.h"
#include "shared/resource_list.h"

namespace corvane {
namespace {

constexpr std::string_view kOwner = "Notify";

// The texts go to the DMS byte for byte, blanks around "=" and before ">"
// included: installed DMS versions match them literally.
constexpr std::string_view kQueryHead =
    R"(<query entity="tblUsers" maxrows="-1" distinctmode="1" columnset="0" searchmode="1">)";
constexpr std::string_view kCriteriaHead =
    R"(<columnset/><criteria><conditionexpression logicaloperator="1"><conditionexpressions/>)"
    R"(<conditions>)";
constexpr std::string_view kUsersOnly =
    R"(0</condition></conditions></conditionexpression></criteria><joins>)";
constexpr std::string_view kMemberSuffix =
    R"(</condition></conditions></conditionexpression></criteria><joins/></join></joins>)"
    R"(<orderby/><parameters/></query>)";

// A condition of a member query, up to its value.
std::string Condition(std::string_view attribute) {
  return R"(<condition attributename=")" + std::string(attribute) +
         R"(" attributetype= "13" operator="1" valuetype="0" valuedatatype = "3" >)";
}

// What a group and a role differ in: the entity users are joined to, and by which id.
struct MemberKind {
  std::string_view procedure;  // in the error location
  std::string_view entity;
  std::string_view id_attribute;
};
constexpr MemberKind kGroupMembers{":AddGroupMembers Ln ", "Group", "GroupID"};
constexpr MemberKind kRoleMembers{":AddMemberInRole Ln ", "Role", "RoleID"};

// The users of type 0 joined to the group or role `id`.
std::string MemberQuery(const MemberKind& kind, std::string_view id) {
  std::string query(kQueryHead);
  query += kCriteriaHead;
  query += Condition("UserType");
  query += kUsersOnly;
  query += R"(<join primaryentity="Users" primaryentityattribute="UserID" )";
  query += R"(primaryintermediateattribute="UserID" relatedentity=")";
  query += kind.entity;
  query += R"(" relateentityattribute=")";
  query += kind.id_attribute;
  query += R"(" jointype="0" >)";
  query += kCriteriaHead;
  query += Condition(kind.id_attribute);
  query += id;
  query += kMemberSuffix;
  return query;
}

std::string FieldValueText(pelmark::IEntity* record, std::string_view name,
                           bool null_is_empty = false) {
  pelmark::ComPtr<pelmark::IFields> fields = Must(record)->Fields();
  pelmark::ComPtr<pelmark::IField> field = Must(fields)->Item(name);
  pelmark::Variant value = Must(field)->Value();
  return null_is_empty ? ToTextOrEmpty(value) : ToText(value);
}

// Runs one member query and adds its users; someone already in the pool only
// gains Weight, so the pool keeps the place and data of the first listing.
void AddMembers(const MemberKind& kind, pelmark::IDmsService* dms, CResources& pool,
                const std::string& id) {
  Reported({kPrivate, kOwner, kind.procedure, kQuiet}, [&](Line& at) {
    at(1);
    if (!dms) return;
    pelmark::ComPtr<pelmark::IQuery> query = NewQuery();
    query->SetQueryFlag(true);
    query->LoadXml(MemberQuery(kind, id));
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

// A user the list names directly; "-2" becomes the workflow's initiator. A
// person listed again keeps the first entry unchanged.
void AddListedUser(Line& at, const XmlNode& resource, const ResourceEntry& entry,
                   const std::string& name, pelmark::IDmsService* dms,
                   pelmark::IProcessInstance* instance, CResources& pool) {
  at(4);
  auto member = std::make_shared<CResource>();
  member->SetResourceID(entry.id);
  member->SetResourceType(entry.type);
  member->SetResourceName(name);
  at(5);
  if (!dms) {
    member->SetResourceEmailID(ResourceField(resource, "email"));
  } else {
    member->SetResourceEmailID(dms->GetUserEmail(
        entry.NamesInitiator() ? InitiatorUserId(instance) : ToLong(pelmark::Variant(entry.id))));
  }
  at(6);
  if (entry.NamesInitiator()) {
    member->SetResourceID(ToText(Must(instance)->InitiatorID()));
    member->SetResourceName(ToText(instance->InitiatorName()));
  }
  at(7);
  if (!pool.Exist(pelmark::Variant(LCase(member->ResourceID())))) pool.Add(std::move(member));
}

}  // namespace

std::string GroupMembersQuery(std::string_view group_id) {
  return MemberQuery(kGroupMembers, group_id);
}

std::string RoleMembersQuery(std::string_view role_id) {
  return MemberQuery(kRoleMembers, role_id);
}

void AddGroupMembers(pelmark::IDmsService* dms, CResources& pool, const std::string& group_id) {
  AddMembers(kGroupMembers, dms, pool, group_id);
}

void AddMemberInRole(pelmark::IDmsService* dms, CResources& pool, const std::string& role_id) {
  AddMembers(kRoleMembers, dms, pool, role_id);
}

std::unique_ptr<CResources> GetSenderList(pelmark::IActivityServices* services,
                                          pelmark::IProcessInstance* instance,
                                          const std::string& resource_list_xml) {
  return Reported({kPrivate, kOwner, ":GetSenderList Ln ", kQuiet}, [&](Line& at) {
    at(1);
    auto pool = std::make_unique<CResources>();
    if (resource_list_xml.empty()) return pool;
    at(2);
    // A list that is no XML names nobody.
    const ResourceList list(resource_list_xml);
    pelmark::ComPtr<pelmark::IDmsService> dms = GetDmsService(services);
    for (const XmlNode& resource : list.nodes()) {
      at(3);
      const ResourceEntry entry = ReadResourceEntry(resource);
      const std::string name = ResourceField(resource, "name");
      if (entry.IsUser()) {
        AddListedUser(at, resource, entry, name, dms.get(), instance, *pool);
      } else if (entry.type == "dms.group") {
        at(8);
        AddGroupMembers(dms.get(), *pool, entry.id);
      } else if (entry.type == "dms.role") {
        at(9);
        AddMemberInRole(dms.get(), *pool, entry.id);
      }
    }
    at(10);
    return pool;
  });
}

}  // namespace corvane
