#pragma once

#include <QObject>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "log_import.h"

class QThread;

namespace vantry::console {

/// One log import on a worker thread with its own database connection. The
/// window reads the progress counters on its own timer and learns the end from
/// Finished(); the worker never touches a widget.
class LogImportJob : public QObject {
  Q_OBJECT

 public:
  /// With `append` the log's new lines are added (a shared fleet database is
  /// never emptied); otherwise the table is replaced by the log.
  LogImportJob(std::filesystem::path log_file, std::filesystem::path db_file, bool append = false,
               QObject* parent = nullptr);
  /// Cancels a running import and waits for the worker (the table keeps its rows).
  ~LogImportJob() override;

  void Start();
  /// Asks the worker to stop; Finished() follows with result().cancelled set.
  void Cancel() { cancel_.store(true); }
  /// Waits for the worker to end (used when the window closes mid-import).
  void Wait();

  std::int64_t entries() const { return entries_.load(std::memory_order_relaxed); }
  std::uint64_t bytes_read() const { return bytes_read_.load(std::memory_order_relaxed); }
  std::uint64_t bytes_total() const { return bytes_total_.load(std::memory_order_relaxed); }
  /// Valid once Finished() has been emitted.
  const analyser::ImportResult& result() const { return result_; }

 signals:
  /// Emitted on the window's thread when the worker has ended.
  void Finished();

 private:
  std::filesystem::path log_file_;
  std::filesystem::path db_file_;
  bool append_;
  std::atomic<bool> cancel_{false};
  std::atomic<std::int64_t> entries_{0};
  std::atomic<std::uint64_t> bytes_read_{0};
  std::atomic<std::uint64_t> bytes_total_{0};
  analyser::ImportResult result_;
  std::unique_ptr<QThread> thread_;
};

}  // namespace vantry::console
