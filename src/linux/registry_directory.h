// Registration into the registry directory, the system registry's stand-in on
// this platform: each key is a directory, each value a file in it (a key's
// default value in the file "@").
//
// Both operations hold the registry's lock (flock on the root directory) from
// start to end, so two registrations, or a registration and an unregistration,
// run one after the other and each reports what it did. Keys and values are
// reached from the opened root one name at a time without following a
// symbolic link, and only directories and regular files of at most
// corvane::kMaxRegistryValueBytes are used: anything else inside the registry
// is refused with its path, never followed, opened for writing or read.
//
// Every failure goes to the platform's event log with its path and reason,
// since the entry points can answer only a code.
//
// Threading: any thread; the lock also keeps threads of one process apart.
#pragma once

#include <string>

namespace corvane {

// Writes every value of RegistryValues(module_path) into the registry at
// `root`, making the root when it is missing. A registration that fails part
// way takes back exactly what it did (component/registry_journal.h) and
// answers false.
bool RegisterInto(const std::string& root, const std::string& module_path);

// Removes exactly the keys registration writes, and the TypeLib, CLSID and
// Interface keys when nothing else is left in them. What cannot be removed
// stays and is logged; true when everything registration writes is gone.
bool UnregisterFrom(const std::string& root);

}  // namespace corvane
