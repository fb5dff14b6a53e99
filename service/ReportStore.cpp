#include "service/ReportStore.h"

namespace ostrel::service {

int64_t ReportStore::createCall(int64_t userId, const CallReport& report, int64_t nowMs) {
    std::lock_guard lock(db_.mutex());
    SqlTransaction transaction(db_);
    if (!transaction.active()) {
        return 0;
    }
    int64_t id = 0;
    {
        auto insert = db_.statement(
            "INSERT INTO calls (user_id, conference_guid, recorded, started_ms, updated_ms) "
            "VALUES (?1, ?2, ?3, ?4, ?4) RETURNING id");
        insert->bind(1, userId);
        insert->bind(2, report.conferenceGuid);
        insert->bind(3, report.recorded);
        insert->bind(4, nowMs);
        if (!insert->step()) {
            return 0;
        }
        id = insert->integer(0);
        insert->run();
    }
    if (!writeParties(id, report.parties) || !transaction.commit()) {
        return 0;
    }
    return id;
}

bool ReportStore::updateCall(int64_t userId, int64_t callId, const CallReport& report,
                             int64_t nowMs) {
    std::lock_guard lock(db_.mutex());
    {
        auto owner = db_.statement("SELECT 1 FROM calls WHERE id = ?1 AND user_id = ?2");
        owner->bind(1, callId);
        owner->bind(2, userId);
        if (!owner->step()) {
            return false;
        }
    }
    SqlTransaction transaction(db_);
    auto update = db_.statement(
        "UPDATE calls SET conference_guid = ?2, recorded = ?3, updated_ms = ?4 WHERE id = ?1");
    update->bind(1, callId);
    update->bind(2, report.conferenceGuid);
    update->bind(3, report.recorded);
    update->bind(4, nowMs);
    auto clear = db_.statement("DELETE FROM call_parties WHERE call_id = ?1");
    clear->bind(1, callId);
    return transaction.active() && update->run() && clear->run() &&
           writeParties(callId, report.parties) && transaction.commit();
}

bool ReportStore::writeParties(int64_t callId, const std::vector<CallParty>& parties) {
    for (std::size_t i = 0; i < parties.size(); ++i) {
        auto insert = db_.statement(
            "INSERT INTO call_parties (call_id, position, remote_user, minutes, avg_delay) "
            "VALUES (?1, ?2, ?3, ?4, ?5)");
        insert->bind(1, callId);
        insert->bind(2, static_cast<int64_t>(i));
        insert->bind(3, parties[i].remoteUser);
        insert->bind(4, parties[i].minutes);
        insert->bind(5, parties[i].averageDelay);
        if (!insert->run()) {
            return false;
        }
    }
    return true;
}

std::optional<CallReport> ReportStore::call(int64_t callId) {
    std::lock_guard lock(db_.mutex());
    CallReport report;
    {
        auto query = db_.statement(
            "SELECT c.id, u.name, c.conference_guid, c.recorded, c.started_ms, c.updated_ms "
            "FROM calls c JOIN users u ON u.id = c.user_id WHERE c.id = ?1");
        query->bind(1, callId);
        if (!query->step()) {
            return std::nullopt;
        }
        report = CallReport{query->integer(0),
                            query->text(1),
                            query->text(2),
                            query->integer(3),
                            query->integer(4),
                            query->integer(5),
                            {}};
    }
    auto parties = db_.statement(
        "SELECT remote_user, minutes, avg_delay FROM call_parties WHERE call_id = ?1 "
        "ORDER BY position");
    parties->bind(1, callId);
    while (parties->step()) {
        report.parties.push_back(
            CallParty{parties->text(0), parties->integer(1), parties->integer(2)});
    }
    return report;
}

int64_t ReportStore::addProblemReport(const ProblemReport& report) {
    std::lock_guard lock(db_.mutex());
    auto insert = db_.statement(
        "INSERT INTO problem_reports (received_ms, source_address, instance_guid, version, "
        "build, log_text) VALUES (?1, ?2, ?3, ?4, ?5, ?6) RETURNING id");
    insert->bind(1, report.receivedMs);
    insert->bind(2, report.sourceAddress);
    insert->bind(3, report.instanceGuid);
    insert->bind(4, report.version);
    insert->bind(5, report.build);
    insert->bind(6, report.logText);
    if (!insert->step()) {
        return 0;
    }
    const int64_t id = insert->integer(0);
    return insert->run() ? id : 0;
}

std::vector<ProblemReport> ReportStore::problemReports() {
    std::lock_guard lock(db_.mutex());
    auto query = db_.statement(
        "SELECT id, received_ms, source_address, instance_guid, version, build, log_text "
        "FROM problem_reports ORDER BY id");
    std::vector<ProblemReport> out;
    while (query->step()) {
        out.push_back(ProblemReport{query->integer(0), query->integer(1), query->text(2),
                                    query->text(3), query->text(4), query->text(5),
                                    query->text(6)});
    }
    return out;
}

}  // namespace ostrel::service
