// The document-operation classes: AutoStamp puts a stamp annotation on the
// listed documents, Publish publishes the listed documents that have negative
// ids, ShareEntity grants access entries on the listed items, and
// ApplySecurityLabel puts a named security label on them. Signature, the fifth
// member of the family, is built on the annotation procedures of annotation.h.
#pragma once

#include "framework/activity.h"

namespace corvane {

// Each creates its class for its catalogue row.
Activity* NewAutoStamp(const ClassInfo& info);
Activity* NewPublish(const ClassInfo& info);
Activity* NewShareEntity(const ClassInfo& info);
Activity* NewApplySecurityLabel(const ClassInfo& info);

}  // namespace corvane
