// Call reports (who talks with whom, for how long) and problem reports, kept in the service
// database. Every method takes the database lock for its whole work; any thread may call.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "service/Database.h"
#include "service/ServiceRecords.h"

namespace ostrel::service {

class ReportStore {
public:
    explicit ReportStore(Database& db) : db_(db) {}

    // A new call of this user with its parties; the call's number, or 0 on failure.
    int64_t createCall(int64_t userId, const CallReport& report, int64_t nowMs);
    // Replaces the parties and flags of an existing call of this user; false when the call
    // does not exist or belongs to someone else.
    bool updateCall(int64_t userId, int64_t callId, const CallReport& report, int64_t nowMs);
    std::optional<CallReport> call(int64_t callId);

    // The report's number, or 0 on failure.
    int64_t addProblemReport(const ProblemReport& report);
    std::vector<ProblemReport> problemReports();

private:
    bool writeParties(int64_t callId, const std::vector<CallParty>& parties);

    Database& db_;
};

}  // namespace ostrel::service
