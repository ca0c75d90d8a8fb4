#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "report_db.h"
#include "status.h"

namespace vantry::analyser {

/// Indexes for the report queries (one address, one host, a date range); an
/// import into SQLite drops them first and builds them again after its rows.
inline constexpr const char* kReportIndexPrefix = "ix_log_";

/// Creates tbl_log, tbl_import and the report indexes when missing, and brings
/// an older tbl_log to this schema (the gateway column) without touching its
/// rows; rows from before it read as coming from this machine. Safe to run
/// from several programs at once.
Status EnsureSchema(ReportDb& db);

/// The report indexes' CREATE statements for the connection's backend.
std::vector<std::string> ReportIndexSql(DbKind kind);

/// Makes tbl_log show only one gateway's rows on this connection (a temporary
/// view of the same name hides the table).
Status RestrictToGateway(ReportDb& db, std::string_view gateway);

/// The gateway names present in the database, sorted, without duplicates.
Status ListGateways(const std::filesystem::path& target, std::vector<std::string>* names);

/// This machine's host name: the gateway name of what it imports by default.
std::string LocalGatewayName();

}  // namespace vantry::analyser
