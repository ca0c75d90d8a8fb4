#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "temp_dir.h"

namespace vantry::testing {

/// A private PostgreSQL 15 cluster for one test binary: initdb and pg_ctl from
/// /usr/lib/postgresql/15/bin in a temporary folder, listening on a free
/// loopback port, run as `nobody` when the tests run as root, stopped and
/// removed when the binary ends. Never the machine's own cluster.
class PostgresServer {
 public:
  /// The binary's one server, started on first use.
  static PostgresServer& Shared();
  ~PostgresServer();

  /// Empty when the server runs; otherwise why it did not start.
  const std::string& failure() const { return failure_; }
  int port() const { return port_; }
  /// A new, empty database; its libpq URI (user "vantry" with its password).
  std::string CreateDatabase(std::string_view name);
  /// The URI of a database, with another password if given.
  std::string Uri(std::string_view database, std::string_view password = kPassword) const;
  /// Runs one statement; the first column of the first row, or "ERROR: ...".
  std::string Query(std::string_view database, std::string_view sql) const;

  static constexpr std::string_view kPassword = "fleet-secret";

 private:
  PostgresServer();
  int RunAsOwner(const std::vector<std::string>& argv, std::string* output) const;

  TempDir dir_;
  std::string data_;
  int port_ = 0;
  bool started_ = false;
  std::string failure_;
};

/// A loopback TCP relay to a port that cuts both directions once `limit` bytes
/// have gone from the client to the server: a network that drops mid-transfer.
class DroppingRelay {
 public:
  DroppingRelay(int target_port, std::uint64_t limit);
  ~DroppingRelay();
  int port() const { return port_; }
  /// True once the relay has cut a connection.
  bool dropped() const { return dropped_.load(); }

 private:
  void Serve();
  int listener_ = -1;
  int port_ = 0;
  int target_port_;
  std::uint64_t limit_;
  std::atomic<bool> dropped_{false};
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace vantry::testing
