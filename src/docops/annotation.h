// The annotation procedures shared by the stamp and signature steps: the walk
// over the documents of the item list and the building of one annotation per
// document. The two steps differ in one field only, the "mark" the annotation
// carries: the stamp's name ("Stamp Name") or the signer's user id ("User Id").
//
// Typical usage (a signature step would pass its own mark):
//   constexpr AnnotationMark kSignerMark{
//       "User Id", [](pelmark::ITask* t) { return pelmark::Variant(ToText(t->ResourceID())); }};
//   ProcessAnnotatedDocuments(info().name, items.doc, items.dms, task, kSignerMark);
//
// Threading: apartment, like the activities that call them.
#pragma once

#include <string_view>

#include "framework/xml.h"
#include "pelmark/dms.h"
#include "pelmark/host.h"

namespace corvane {

// The one field in which the annotations of the stamp and signature steps differ.
struct AnnotationMark {
  std::string_view field;                      // the field's exact name
  pelmark::Variant (*value)(pelmark::ITask*);  // read when that field is reached
};

// The stamp's mark: "Stamp Name" from the step parameter "STAMP_NAME".
extern const AnnotationMark kStampNameMark;

// Builds one annotation from the step's placement parameters and `mark` and
// stores it on the document `document` names. Reports as
// "<class_name>:ApplyAnnotation Ln ".
// REQUIRES: class_name outlives the call.
void ApplyAnnotation(std::string_view class_name, pelmark::IEntityRef* document,
                     pelmark::IDmsService* dms, pelmark::ITask* task, const AnnotationMark& mark);

// Annotates every document of the item list that the DMS finds; documents it
// does not find are skipped. Reports as "<class_name>:ProcessDocument Ln ".
void ProcessAnnotatedDocuments(std::string_view class_name, const XmlDocument& doc,
                               pelmark::IDmsService* dms, pelmark::ITask* task,
                               const AnnotationMark& mark);

}  // namespace corvane
