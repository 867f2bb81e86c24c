// Notify: resolves the step's resource list into people, renders the message
// body for each person from its format template and hands one message per
// person to the host's notification service; in "email" mode it also sends the
// body as written to everyone with an e-mail address.
#pragma once

#include "framework/activity.h"

namespace corvane {

// Creates Notify for its catalogue row.
Activity* NewNotifyActivity(const ClassInfo& info);

// The "General"/"AdminEmailId" default, used when the installation sets none.
inline constexpr std::string_view kDefaultAdminEmail = "administrator@localhost";

}  // namespace corvane
