// The database schema as a list of migration steps. Step N (counting from 1) brings a
// database from schema version N-1 to N; the version is kept in SQLite's user_version.
#pragma once

#include <vector>

namespace ostrel::service {

// Every step in order. Steps are only ever appended: a released step never changes, so a
// database written by any earlier version of the service can be brought up to date.
const std::vector<const char*>& schemaSteps();

}  // namespace ostrel::service
