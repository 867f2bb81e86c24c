// An in-memory workflow host and document-management system that implements the
// whole Pelmark host contract (host.h and dms.h). Tests, the command-line host
// and the examples build one Simulator, fill it with a process instance, a step,
// its tasks and the DMS content, hand its objects to an activity, and inspect
// afterwards what the activity did: the journal of every call it made, the task
// variables it wrote, the records it stored and the messages it sent.
//
// The simulator behaves like a strict host:
//   - an unknown parameter name (IParameters::Item), an unknown variable name
//     (IVariables::Item) and an unknown field name (IFields::Item) are refused
//     with pelmark::Error (kErrUnknownName);
//   - a query text other than the stack's documents query (QueryEntities) or a
//     group or role member query (QueryRecords, with QueryFlag True) is refused
//     (kErrBadQuery);
//   - item operations (Get*/Save*/flags/deletes/exports/comments/annotations/
//     access entries/labels/publishing/QueryEntities) are refused while no
//     database is connected (kErrNotConnected), unless Options says otherwise.
//     Jobs, users, groups, roles, event codes, interval codes, NewEntity and
//     AddEntity need no connection: the wait, end and notify steps use them
//     without connecting.
// Field names are matched without regard to case; parameter and variable names
// likewise unless Options::case_sensitive_names is set. Service names are
// matched exactly.
//
// Objects the library makes (IEntityRef, IDmsSession, IQuery) are read during
// the call and never kept. Entities stored with AddEntity, AddComment,
// AddAnnotation and AddAce are recorded as copies of their fields. An entity
// returned by a Get* call is a copy of the stored one: field writes reach the
// store only through the matching Save* call.
//
// Document look-up: GetDocument (and every operation naming a "Document")
// finds a stored document by its id when the reference's type code is, for an
// id of 0 or more, 2 or the document's DocTypeCode, and for a negative id, -2
// or the negated DocTypeCode. Other entity kinds match id and type code exactly.
//
// Threading: single-threaded, like the apartment the library runs in.
//
// Typical usage:
//   sim::Simulator sim;
//   sim.SetProcess({.id = 12, .variables = {sim::ItemListVariable(xml)}});
//   sim.AddTask({.task_id = 5, .process_id = 12,
//                .parameters = {{"REASON", "audit"}},
//                .variables = {{"ISVITAL"}, {"MARKEDASRECORDON"}}});
//   sim.AddDocument(7, {.id = 17});
//   pelmark::ITask* task = sim.Task(5);
//   activity->Execute(sim.Services(), task);
//   EXPECT_EQ(sim.DmsCalls()[1].op, "IDmsService.MarkAsVital");
//   EXPECT_TRUE(sim.HeldReferences().empty());
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "pelmark/com.h"
#include "pelmark/dms.h"
#include "pelmark/host.h"
#include "pelmark/variant.h"

namespace sim {

using pelmark::Variant;

// ---------------------------------------------------------------------------
// Error numbers and sources of the errors the simulator raises itself.

inline constexpr int32_t kErrUnknownName = 5;      // no parameter/variable/field of that name
inline constexpr int32_t kErrIndexOutOfRange = 9;  // 1-based position outside the collection
inline constexpr int32_t kErrTypeMismatch = 13;    // an index that is neither number nor text
inline constexpr int32_t kErrNotConnected = static_cast<int32_t>(0x80041001);
inline constexpr int32_t kErrNotFound =
    static_cast<int32_t>(0x80041002);  // no such item/process/user
inline constexpr int32_t kErrBadQuery = static_cast<int32_t>(0x80041003);
inline constexpr int32_t kErrBadArgument =
    static_cast<int32_t>(0x80041004);  // wrong kind, foreign object
inline constexpr int32_t kErrInjected = static_cast<int32_t>(0x80041005);  // default of Fault
inline constexpr std::string_view kHostSource = "Pelmark.Host";
inline constexpr std::string_view kDmsSource = "Pelmark.Dms";

// ---------------------------------------------------------------------------
// DMS data.

// Field data-type codes.
inline constexpr int32_t kDouble = 5;
inline constexpr int32_t kDate = 7;
inline constexpr int32_t kYesNo = 11;
inline constexpr int32_t kLong = 12;
inline constexpr int32_t kText = 14;
inline constexpr int32_t kString = 200;
inline constexpr int32_t kLongText = 201;
inline constexpr int32_t kKeyed = 24;

// Type codes the simulator gives its own entity kinds.
inline constexpr int32_t kDocumentTypeCode = 2;
inline constexpr int32_t kCommentTypeCode = 17;
inline constexpr int32_t kUserTypeCode = 18;
inline constexpr int32_t kGroupTypeCode = 31;
inline constexpr int32_t kAuditRecordTypeCode = 33;
inline constexpr int32_t kAnnotationTypeCode = 40;
inline constexpr int32_t kAceTypeCode = 45;
inline constexpr int32_t kSecurityLabelTypeCode = 53;
inline constexpr int32_t kRetentionLabelTypeCode = 57;
inline constexpr int32_t kJobMetadataTypeCode = 58;
inline constexpr int32_t kJobTypeCode = 61;

enum class FieldKind {
  kPlain,   // IField only
  kLookup,  // also ILookupField: refers to another entity
  kChoice,  // also IChoiceField: a number key with a display text
};

// One field of an entity, as set up and as inspected. IsNullValue is
// value.is_null(). A lookup field's Value is its id (a Long) unless null; a
// choice field's Value is what `value` holds (Choice() puts the key there).
struct Field {
  std::string name{};
  int32_t data_type = kString;
  FieldKind kind = FieldKind::kPlain;
  Variant value = Variant::Null();
  // Lookup fields.
  int32_t id = 0;
  int32_t type_code = 0;
  int32_t major_version = 0;
  int32_t minor_version = 0;
  std::string display_value{};
  // Choice fields.
  int32_t key_value = 0;
  std::string display_text{};

  bool is_null() const { return value.is_null(); }

  static Field Of(std::string name, int32_t data_type, Variant value);
  static Field Text(std::string name, std::string value, int32_t data_type = kString);
  static Field Long(std::string name, int32_t value, int32_t data_type = kLong);
  static Field Double(std::string name, double value);
  static Field Date(std::string name, double days);
  static Field YesNo(std::string name, bool value);
  static Field Null(std::string name, int32_t data_type = kString);
  static Field Choice(std::string name, int32_t key, std::string display_text);
  // A keyed field whose value is Null; its KeyValue answers 0.
  static Field NullChoice(std::string name, std::string display_text = "");
  static Field Lookup(std::string name, int32_t id, int32_t type_code,
                      std::string display_value = "");
  static Field NullLookup(std::string name);
};

// An entity: an item of the DMS, a record the library stored, or a template.
struct Entity {
  std::string entity_name{};
  int32_t id = 0;
  int32_t type_code = 0;
  std::vector<Field> fields{};

  // The field of that name, compared without regard to case; null if none.
  const Field* Find(std::string_view name) const;
  Field* Find(std::string_view name);
  // The field's value. Throws pelmark::Error kErrUnknownName when it is missing.
  Variant Value(std::string_view name) const;
};

// A document. Unless system_fields is false, the fields "DocTypeCode",
// "ParentDataEntityObjectID", "ParentDataEntityTypeCode" (null when not filed in
// a stack), "MajorVersion", "MinorVersion", "Major Version" and "Minor Version"
// are added (Long fields) when `fields` does not name them already.
struct DocumentSpec {
  int32_t id = 0;
  int32_t doc_type_code = kDocumentTypeCode;
  std::optional<int32_t> parent_id{};  // the stack it is filed in
  int32_t parent_type_code = 0;
  int32_t major_version = 1;
  int32_t minor_version = 0;
  std::vector<Field> fields{};
  bool system_fields = true;
};

// A user. "Full Name" and "EmailID" may be Null or empty.
struct UserSpec {
  int32_t id = 0;
  Variant name = "";
  Variant full_name = "";
  Variant email = "";
  int32_t user_type = 0;  // only type 0 is returned by the member queries
};

// A group or a role and its members (user ids, in the order the member query
// returns them).
struct GroupSpec {
  int32_t id = 0;
  std::string name{};
  std::vector<int32_t> members{};
};

// ---------------------------------------------------------------------------
// Host data.

// A step or task parameter. IsNull answers `is_null` when given, else whether
// the value is Null.
struct ParameterSpec {
  std::string name{};
  Variant value{};
  std::optional<bool> is_null{};
};

// A task or process variable. IsNull answers `is_null` when given, else whether
// the value is Null; writing a value resets `is_null` to follow it.
struct VariableSpec {
  std::string name{};
  Variant value{};
  std::string type_name{};
  int32_t variable_type = 1;
  std::optional<bool> is_null{};
};

// The item-list variable of a process ("dms.object").
VariableSpec ItemListVariable(std::string xml, std::string name = "dmsobject");

struct ProcessSpec {
  int32_t id = 0;
  std::vector<VariableSpec> variables{};
  Variant initiator_id = "";
  Variant initiator_type = "";
  Variant initiator_name = "";
  Variant initiator_comment = "";
  Variant process_name = "";
};

// The step (IActivity).
struct ActivitySpec {
  int32_t process_id = 0;
  int32_t request_count = 0;
  int32_t min_responses = 0;
  std::string min_approvals = "0";  // text holding a number
  std::vector<ParameterSpec> parameters{};
};

struct TaskSpec {
  int32_t task_id = 0;
  int32_t process_id = 0;
  int32_t activity_id = 0;
  int32_t task_index = 1;
  Variant resource_id = "";
  Variant resource_type = "";
  Variant resource_name = "";
  Variant status = 0;
  Variant task_date = Variant::Date(0);
  std::vector<ParameterSpec> parameters{};
  std::vector<VariableSpec> variables{};
  // False for a task of the process that the step's ITasks does not list (one
  // handed in by another step, say); Task() still hands it out.
  bool in_step = true;
};

// What the host offers and how strict it is.
struct Options {
  bool dms_service = true;
  bool configuration_service = true;
  bool notification_service = true;
  bool require_connection = true;
  bool case_sensitive_names = false;  // parameter and variable names
  // A strict host refuses a task variable it was not given. With this set,
  // IVariables.Item of an unknown name on a task answers a variable that comes
  // into being on its first SetValue; reading it before that is still refused.
  bool create_task_variables = false;
};

// ---------------------------------------------------------------------------
// The journal.

struct Arg {
  std::string name{};
  Variant value{};
};

// One call on a simulator object. `op` is "Interface.Method" ("ITask.ProcessID",
// "IDmsService.MarkAsVital", "IVariable.SetValue"); `target` names the object
// ("task 5", "task 5 variable VALUE", "Document 17", "DmsService").
// Entity references are flattened into item.EntityName, item.ID and item.TypeCode
// (plus item.VersionType for PublishDocument); the referenced item argument is
// always called "item". An object argument or result is recorded by its
// description (a text) or as Nothing (an Object variant holding null).
// QueryInterface, AddRef and Release are not journaled.
struct Call {
  std::string op{};
  std::string target{};
  std::vector<Arg> args{};
  Variant result{};             // Empty for Sub calls
  std::string result_object{};  // description of an object result, "Nothing" for null
  int32_t error_number = 0;     // the error the call raised, 0 when it succeeded
  std::string error_description{};
  std::string error_source{};

  // The argument of that name; Empty when absent.
  Variant ArgValue(std::string_view name) const;
  // IDmsService.MarkAsVital(item.EntityName="Document", item.ID=17, ...) -> True, or for a
  // failed call "... !! error 5 (Pelmark.Dms): Simulated failure" (the lines of a
  // multi-line source joined by " | ").
  std::string ToString() const;
};

// Makes a matching call raise pelmark::Error(number, source, description) before
// it does anything, or, with `answer_nothing`, answer Nothing (a null object)
// without doing anything; such a fault matches only calls that answer an object. A call matches
// when its op equals `op`, its target equals `target` (when not empty) and each `when` argument
// equals the call's argument of that name (numbers compare by value, texts exactly). The first
// `skip` matching calls pass; then `times` calls fail (-1: every one after).
struct Fault {
  std::string op{};
  std::string target{};
  std::vector<Arg> when{};
  int32_t number = kErrInjected;
  std::string source = std::string(kDmsSource);
  std::string description = "Simulated failure";
  int32_t skip = 0;
  int32_t times = -1;
  bool answer_nothing = false;
};

// ---------------------------------------------------------------------------
// Records of what the library did.

// An entity reference as the library passed it.
struct Ref {
  std::string entity_name{};
  int32_t id = 0;
  int32_t type_code = 0;
  int32_t version_type = 0;
  friend bool operator==(const Ref&, const Ref&) = default;
};

struct VariableWrite {
  std::string owner{};  // "task 5" or "process 12"
  std::string name{};
  Variant value{};
};

// The records below that a call makes carry `journal_index`: the index in
// Journal() of the call that made them (counted since the last ClearJournal).

// A record stored with AddEntity, with the id it was given.
struct StoredRecord {
  std::optional<int32_t> database{};  // the connected database, if any
  Entity entity{};                    // entity.id is the assigned id
  size_t journal_index = 0;
};

// AddComment / AddAnnotation.
struct Attachment {
  Ref item{};
  Entity entity{};
  size_t journal_index = 0;
};

struct AceGrant {
  Ref item{};
  Ref principal{};
  Entity ace{};
  size_t journal_index = 0;
};

struct LabelApplied {
  Ref item{};
  Ref label{};
  std::string label_name{};
};

// MarkAs*, Unmark*, PutOnHold, ResetOnHold, Delete*, PublishDocument.
struct ItemOperation {
  std::string op{};  // "MarkAsVital", "DeleteDataEntity", "PublishDocument", ...
  Ref item{};
  std::string reason{};
  std::optional<bool> delete_child_items{};
};

struct ExportRecord {
  std::optional<Ref> item{};  // none when the library passed Nothing
  std::string folder{};
};

// SaveDocument / SaveDataEntity / SaveRecordSeries: the entity as saved.
struct SaveRecord {
  std::string op{};
  Entity entity{};
  size_t journal_index = 0;
};

struct MessageRecord {
  struct Recipient {
    Variant id{}, type{}, name{}, email_id{};
  };
  struct AttachmentData {
    Variant content_type{}, name{}, content{};
  };
  std::string delivery{};  // "posted" or "email"
  int32_t id = 0;          // PostMessage's answer (emails get one too)
  bool delivered = false;
  std::vector<Arg> properties{};  // in the order they were set ("Body", "Subject", ...)
  std::vector<AttachmentData> attachments{};
  std::vector<Recipient> recipients{};

  // The last value set for that property; Empty when never set.
  Variant Property(std::string_view name) const;
};

// A DMS item with the state the records-management operations change.
struct Item {
  int32_t database = 0;
  Entity entity{};
  std::map<std::string, bool> flags{};  // "Archived", "Record", "Vital", "OnHold"
  std::vector<std::string> labels{};    // security labels applied, in order
};

namespace internal {
struct State;
}

class Simulator {
 public:
  Simulator();
  explicit Simulator(Options options);
  ~Simulator();
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;
  // A moved-from simulator may only be destroyed or assigned to.
  Simulator(Simulator&&) noexcept = default;
  Simulator& operator=(Simulator&&) noexcept;

  // --- Host set-up -------------------------------------------------------
  Options& options();
  // Adds the process instance, or replaces one of the same id.
  void SetProcess(ProcessSpec process);
  void SetActivity(ActivitySpec activity);
  // Adds a task of the step (ITasks enumerates those in_step in the order
  // added), or replaces one of the same id.
  void AddTask(TaskSpec task);
  // Adds or replaces one variable or parameter.
  void SetTaskVariable(int32_t task_id, VariableSpec variable);
  void SetTaskParameter(int32_t task_id, ParameterSpec parameter);
  // What a person's answer or the next step of a workflow changes on a task
  // that is kept, variables and all.
  void SetTaskStatus(int32_t task_id, Variant status);
  void SetTaskDate(int32_t task_id, Variant task_date);
  void SetTaskInStep(int32_t task_id, bool in_step);
  void RemoveTaskParameter(int32_t task_id, std::string_view name);
  void SetProcessVariable(int32_t process_id, VariableSpec variable);
  void SetActivityParameter(ParameterSpec parameter);

  // --- DMS set-up --------------------------------------------------------
  void AddDatabase(int32_t id);
  // The Add* calls below add the database when it is new.
  void AddDocument(int32_t database, DocumentSpec document);
  // A stack; entity.entity_name is set to "DataEntity".
  void AddDataEntity(int32_t database, Entity entity);
  // entity.entity_name is set to "RecordSeries".
  void AddRecordSeries(int32_t database, Entity entity);
  // entity.entity_name is set to "RetentionLabel"; a type code of 0 becomes 57.
  void AddRetentionLabel(int32_t database, Entity entity);
  // Found by GetSecurityLabel(name), the name compared without regard to case.
  void AddSecurityLabel(int32_t database, std::string name, int32_t id,
                        int32_t type_code = kSecurityLabelTypeCode);
  void AddUser(UserSpec user);
  void AddGroup(GroupSpec group);
  void AddRole(GroupSpec role);
  // A scheduled job found by GetJob; entity_name "Job", type code 61 unless set.
  void AddJob(Entity job);
  // A job with the "Job" template's fields and the given "Start Date".
  void AddJob(int32_t id, double start_date);
  void RemoveJob(int32_t id);
  // GetEventCode answers `code` for that type code and event name (compared
  // without regard to case), 0 for anything not set.
  void SetEventCode(int32_t type_code, std::string event_name, int32_t code);
  // GetIntervalTypeCode answers `code` for that text (without regard to case)
  // and 0 for unknown texts. Preset: year(s)/yyyy 1, month(s)/m 2, week(s)/ww 3,
  // day(s)/d 4, hour(s)/h 5, minute(s)/n 6, second(s)/s 7.
  void SetIntervalTypeCode(std::string text, int32_t code);
  void ClearIntervalTypeCodes();
  // GetSetting answers the value (section and key without regard to case), or
  // the caller's default when not set.
  void SetSetting(std::string section, std::string key, std::string value);
  // What NewEntity(entity_name) makes: a copy of the template, ID 0. Preset
  // templates: "AuditRecord", "Comment", "Annotation", "Ace", "Job",
  // "JobMetadata" (see docs/simulator.md). Other names are refused.
  void DefineEntityTemplate(Entity entity_template);

  // --- Faults ------------------------------------------------------------
  void InjectFault(Fault fault);
  void ClearFaults();

  // --- Objects to hand to the library -------------------------------------
  // The simulator keeps one reference to each; they live as long as it does.
  pelmark::IActivityServices* Services();
  pelmark::IActivity* Activity();
  // REQUIRES: a task of that id was added.
  pelmark::ITask* Task(int32_t task_id);

  // --- Inspection --------------------------------------------------------
  // The journal is kept compactly; Journal() rebuilds every entry, JournalEntry
  // one, JournalOp only its op (cheap, valid until the journal changes).
  std::vector<Call> Journal() const;
  size_t JournalSize() const;
  // REQUIRES: index < JournalSize().
  Call JournalEntry(size_t index) const;
  std::string_view JournalOp(size_t index) const;
  // The IDmsService calls only.
  std::vector<Call> DmsCalls() const;
  // The calls whose op starts with `prefix` ("IDmsService.Get", "ITask.").
  std::vector<Call> CallsTo(std::string_view prefix) const;
  void ClearJournal();

  // Every IVariable.SetValue in order; TaskVariableWrites only those on task
  // variables.
  const std::vector<VariableWrite>& VariableWrites() const;
  std::vector<VariableWrite> TaskVariableWrites() const;
  // The current value of a variable. Throws kErrUnknownName when missing.
  Variant TaskVariable(int32_t task_id, std::string_view name) const;
  Variant ProcessVariable(int32_t process_id, std::string_view name) const;

  // The database connected now, if any.
  std::optional<int32_t> Connected() const;

  const std::vector<StoredRecord>& StoredRecords() const;  // every AddEntity
  std::vector<StoredRecord> StoredRecords(std::string_view entity_name) const;
  std::vector<StoredRecord> AuditRecords() const;  // entity name "AuditRecord"
  const std::vector<Attachment>& Comments() const;
  const std::vector<Attachment>& Annotations() const;
  const std::vector<AceGrant>& Aces() const;
  const std::vector<LabelApplied>& LabelsApplied() const;
  const std::vector<ItemOperation>& ItemOperations() const;
  std::vector<ItemOperation> Deletions() const;
  std::vector<ItemOperation> Publications() const;
  const std::vector<ExportRecord>& Exports() const;
  const std::vector<SaveRecord>& Saves() const;
  const std::vector<MessageRecord>& Messages() const;

  // A stored item as it is now; null when absent (or deleted). `entity_name` is
  // "Document", "DataEntity", "RecordSeries", "RetentionLabel" or
  // "SecurityLabel"; the type code is checked when given.
  const Item* FindItem(int32_t database, std::string_view entity_name, int32_t id,
                       std::optional<int32_t> type_code = {}) const;
  // A field value of a stored item. Throws kErrNotFound / kErrUnknownName.
  Variant FieldValue(int32_t database, std::string_view entity_name, int32_t id,
                     std::string_view field) const;
  // A stored job (builder or AddEntity); null when absent.
  const Entity* FindJob(int32_t id) const;

  // Descriptions of the simulator objects that someone other than the
  // simulator still holds a reference to ("ITask task 5: 2 references,
  // simulator holds 1"). Empty after every call that releases what it took.
  std::vector<std::string> HeldReferences() const;
  // Number of simulator objects alive now.
  size_t LiveObjects() const;

 private:
  std::shared_ptr<internal::State> state_{};
};

// ---------------------------------------------------------------------------
// Text helpers, shared with the command-line host.

// A variant as journal text: Empty, Null, 42, 42.0 (a Double), #45000.5# (a
// Date), True, "text" (quoted, escaped), Nothing, Object.
std::string FormatVariant(const Variant& v);
// Case-insensitive equality of UTF-8 texts, by the same simple Unicode case
// mapping the library uses (so "İ" and "i" are equal on both sides).
bool EqualsNoCase(std::string_view a, std::string_view b);
// The text lowered by that mapping; malformed UTF-8 bytes stay as they are.
std::string FoldCase(std::string_view text);

}  // namespace sim
