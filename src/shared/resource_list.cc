#include "shared/resource_list.h"

#include "framework/com_object.h"
#include "framework/variant_rules.h"

namespace corvane {

ResourceList::ResourceList(const std::string& xml) {
  doc_.LoadXml(xml);
  nodes_ = doc_.SelectNodes("//resource");
}

ResourceEntry ReadResourceEntry(const XmlNode& resource) {
  ResourceEntry entry;
  entry.id = ResourceField(resource, "id");
  entry.type = LCase(ResourceField(resource, "type"));
  return entry;
}

std::string ResourceField(const XmlNode& resource, std::string_view name) {
  return resource.SelectSingleNode("./" + std::string(name)).Text();
}

int32_t InitiatorUserId(pelmark::IProcessInstance* instance) {
  return ToLong(Must(instance)->InitiatorID());
}

}  // namespace corvane
