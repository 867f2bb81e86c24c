// The document-management services the host hands out by name: the DMS itself
// ("DmsService"), configuration settings ("ConfigurationService") and
// notifications ("NotificationService"), with the objects they exchange.
//
// Conventions as in host.h: failures throw pelmark::Error, Nothing is a null
// ComPtr, collections are 1-based. IDmsSession, IEntityRef and IQuery are made by
// the module itself and handed to the DMS; a host never implements them (see
// docs/integrating.md, and pelmark/host_bases.h for the interfaces a host does).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "pelmark/com.h"
#include "pelmark/host.h"
#include "pelmark/variant.h"

namespace pelmark {

// The session handed to Connect.
struct IDmsSession : IUnknown {
  PELMARK_INTERFACE(IDmsSession, "{5086F526-0101-4BC8-9B88-FDAF41174E45}");

 protected:
  ~IDmsSession() = default;
};

// Names an entity: "Document", "DataEntity", "RecordSeries", "RetentionLabel", "Job", ...
struct IEntityRef : IUnknown {
  PELMARK_INTERFACE(IEntityRef, "{5086F526-0102-4BC8-9B88-FDAF41174E45}");
  virtual std::string EntityName() = 0;
  virtual void SetEntityName(std::string_view name) = 0;
  virtual int32_t ID() = 0;
  virtual void SetID(int32_t id) = 0;
  virtual int32_t TypeCode() = 0;
  virtual void SetTypeCode(int32_t code) = 0;
  virtual int32_t VersionType() = 0;
  virtual void SetVersionType(int32_t version_type) = 0;

 protected:
  ~IEntityRef() = default;
};

struct IField : IUnknown {
  PELMARK_INTERFACE(IField, "{5086F526-0103-4BC8-9B88-FDAF41174E45}");
  virtual std::string Name() = 0;
  virtual Variant Value() = 0;
  virtual void SetValue(const Variant& value) = 0;
  virtual bool IsNullValue() = 0;
  virtual void SetIsNullValue(bool is_null) = 0;
  virtual int32_t DataType() = 0;

 protected:
  ~IField() = default;
};

// A field that refers to another entity (query a field for it).
struct ILookupField : IField {
  PELMARK_INTERFACE(ILookupField, "{5086F526-0104-4BC8-9B88-FDAF41174E45}");
  virtual int32_t ID() = 0;
  virtual void SetID(int32_t id) = 0;
  virtual int32_t TypeCode() = 0;
  virtual void SetTypeCode(int32_t code) = 0;
  virtual int32_t MajorVersion() = 0;
  virtual void SetMajorVersion(int32_t v) = 0;
  virtual int32_t MinorVersion() = 0;
  virtual void SetMinorVersion(int32_t v) = 0;
  virtual std::string DisplayValue() = 0;
  virtual void SetDisplayValue(std::string_view text) = 0;

 protected:
  ~ILookupField() = default;
};

// A keyed field (data type 24): a number key with a display text.
struct IChoiceField : IField {
  PELMARK_INTERFACE(IChoiceField, "{5086F526-0105-4BC8-9B88-FDAF41174E45}");
  virtual int32_t KeyValue() = 0;
  virtual std::string DisplayText() = 0;

 protected:
  ~IChoiceField() = default;
};

struct IFields : IUnknown {
  PELMARK_INTERFACE(IFields, "{5086F526-0106-4BC8-9B88-FDAF41174E45}");
  virtual int32_t Count() = 0;
  // By name; a name the entity lacks throws.
  virtual ComPtr<IField> Item(std::string_view name) = 0;
  // By 1-based position, for enumeration.
  virtual ComPtr<IField> ItemAt(int32_t index) = 0;

 protected:
  ~IFields() = default;
};

struct IEntity : IUnknown {
  PELMARK_INTERFACE(IEntity, "{5086F526-0107-4BC8-9B88-FDAF41174E45}");
  virtual int32_t ID() = 0;
  virtual void SetID(int32_t id) = 0;
  virtual std::string EntityName() = 0;
  virtual void SetEntityName(std::string_view name) = 0;
  virtual int32_t TypeCode() = 0;
  virtual void SetTypeCode(int32_t code) = 0;
  virtual ComPtr<IFields> Fields() = 0;

 protected:
  ~IEntity() = default;
};

struct IEntityList : IUnknown {
  PELMARK_INTERFACE(IEntityList, "{5086F526-0108-4BC8-9B88-FDAF41174E45}");
  virtual int32_t Count() = 0;
  virtual ComPtr<IEntity> Item(int32_t index) = 0;

 protected:
  ~IEntityList() = default;
};

struct IQuery : IUnknown {
  PELMARK_INTERFACE(IQuery, "{5086F526-0109-4BC8-9B88-FDAF41174E45}");
  virtual void LoadXml(std::string_view text) = 0;
  virtual std::string Xml() = 0;
  virtual bool QueryFlag() = 0;
  virtual void SetQueryFlag(bool flag) = 0;

 protected:
  ~IQuery() = default;
};

struct IExportResult : IUnknown {
  PELMARK_INTERFACE(IExportResult, "{5086F526-010A-4BC8-9B88-FDAF41174E45}");

 protected:
  ~IExportResult() = default;
};

struct IDmsService : IService {
  PELMARK_INTERFACE(IDmsService, "{5086F526-010B-4BC8-9B88-FDAF41174E45}");

  // Connection
  virtual void Connect(int32_t database_id, IDmsSession* session) = 0;
  virtual void Disconnect() = 0;

  // Read: an entity, or null when there is none.
  virtual ComPtr<IEntity> GetDocument(IEntityRef* ref) = 0;
  virtual ComPtr<IEntity> GetDataEntity(IEntityRef* ref) = 0;
  virtual ComPtr<IEntity> GetRecordSeries(IEntityRef* ref) = 0;
  virtual ComPtr<IEntity> GetRetentionLabel(IEntityRef* ref) = 0;
  virtual ComPtr<IEntity> GetJob(IEntityRef* ref) = 0;
  virtual ComPtr<IEntity> GetSecurityLabel(std::string_view label_name) = 0;
  virtual ComPtr<IEntityList> QueryEntities(IQuery* query) = 0;
  virtual ComPtr<IEntityList> QueryRecords(IQuery* query) = 0;
  virtual std::string GetUserEmail(int32_t user_id) = 0;
  virtual int32_t GetIntervalTypeCode(std::string_view interval_text) = 0;

  // Write
  virtual ComPtr<IEntity> NewEntity(std::string_view entity_name) = 0;
  virtual int32_t AddEntity(IEntity* entity) = 0;
  virtual void SaveDocument(IEntity* entity) = 0;
  virtual void SaveDataEntity(IEntity* entity) = 0;
  virtual void SaveRecordSeries(IEntity* entity) = 0;
  virtual void AddComment(IEntityRef* item, IEntity* comment) = 0;
  virtual void AddAnnotation(IEntityRef* document, IEntity* annotation) = 0;
  virtual void AddAce(IEntityRef* target, IEntityRef* principal, IEntity* ace) = 0;
  virtual void ApplyLabel(IEntityRef* item, IEntityRef* label) = 0;
  virtual void PublishDocument(IEntityRef* document) = 0;

  // Records management: each answers a Boolean.
  virtual bool MarkAsArchive(IEntityRef* item, std::string_view reason) = 0;
  virtual bool MarkAsRecord(IEntityRef* item, std::string_view reason) = 0;
  virtual bool MarkAsVital(IEntityRef* item, std::string_view reason) = 0;
  virtual bool PutOnHold(IEntityRef* item, std::string_view reason) = 0;
  virtual bool ResetOnHold(IEntityRef* item, std::string_view reason) = 0;
  virtual bool UnmarkAsVital(IEntityRef* item, std::string_view reason) = 0;
  virtual bool UnmarkAsRecord(IEntityRef* item, std::string_view reason) = 0;

  // Removal and export
  virtual bool DeleteDocument(IEntityRef* item, std::string_view reason) = 0;
  virtual bool DeleteDataEntity(IEntityRef* item, bool delete_child_items,
                                std::string_view reason) = 0;
  virtual bool DeleteRecordSeries(IEntityRef* item, bool delete_child_items,
                                  std::string_view reason) = 0;
  // `item` may be null (an item list without its list element).
  virtual ComPtr<IExportResult> ExportDocument(IEntityRef* item, std::string_view folder) = 0;

  // Audit: the event code of an event name for a type code, 0 when undefined.
  virtual int32_t GetEventCode(int32_t type_code, std::string_view event_name) = 0;

 protected:
  ~IDmsService() = default;
};

struct IConfigurationService : IService {
  PELMARK_INTERFACE(IConfigurationService, "{5086F526-010C-4BC8-9B88-FDAF41174E45}");
  virtual std::string GetSetting(std::string_view section, std::string_view key,
                                 std::string_view default_value) = 0;

 protected:
  ~IConfigurationService() = default;
};

struct INotificationMessage : IUnknown {
  PELMARK_INTERFACE(INotificationMessage, "{5086F526-010D-4BC8-9B88-FDAF41174E45}");
  virtual void SetBody(const Variant& v) = 0;
  virtual void SetSubject(const Variant& v) = 0;
  virtual void SetSenderEmailID(const Variant& v) = 0;
  virtual void SetSenderID(const Variant& v) = 0;
  virtual void SetSenderType(const Variant& v) = 0;
  virtual void SetSenderName(const Variant& v) = 0;
  virtual void SetMessageCode1(const Variant& v) = 0;
  virtual void SetCreatedOn(const Variant& v) = 0;
  virtual void SetMessageCode2(const Variant& v) = 0;
  virtual void SetMessageCode3(const Variant& v) = 0;
  virtual void AddAttachment(const Variant& content_type, const Variant& name,
                             const Variant& content) = 0;
  virtual void AddRecipient(const Variant& id, const Variant& type, const Variant& name,
                            const Variant& email_id) = 0;

 protected:
  ~INotificationMessage() = default;
};

struct INotificationService : IService {
  PELMARK_INTERFACE(INotificationService, "{5086F526-010E-4BC8-9B88-FDAF41174E45}");
  virtual ComPtr<INotificationMessage> CreateMessage() = 0;
  // Returns the new message's id.
  virtual int32_t PostMessage(INotificationMessage* message) = 0;
  virtual void DeliverMessage(int32_t message_id) = 0;
  virtual void SendEmail(INotificationMessage* message) = 0;

 protected:
  ~INotificationService() = default;
};

}  // namespace pelmark
