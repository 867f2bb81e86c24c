// The objects the library makes and hands to the DMS: the session for Connect,
// entity references and queries. Each is a plain value holder.
#pragma once

#include "pelmark/dms.h"

namespace corvane {

pelmark::ComPtr<pelmark::IDmsSession> NewDmsSession();
pelmark::ComPtr<pelmark::IEntityRef> NewEntityRef();
pelmark::ComPtr<pelmark::IQuery> NewQuery();

}  // namespace corvane
