#include "log_import_job.h"

#include <QThread>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "log_append.h"

namespace vantry::console {
namespace {

analyser::ImportResult FailedImport(std::string_view why) {
  analyser::ImportResult result;
  result.status = analyser::Status::Error("The log import stopped: " + std::string(why) + ".");
  return result;
}

}  // namespace

LogImportJob::LogImportJob(std::filesystem::path log_file, std::filesystem::path db_file,
                           bool append, QObject* parent)
    : QObject(parent),
      log_file_(std::move(log_file)),
      db_file_(std::move(db_file)),
      append_(append) {}

LogImportJob::~LogImportJob() {
  Cancel();
  Wait();
}

void LogImportJob::Start() {
  thread_.reset(QThread::create([this] {
    analyser::ImportOptions options;
    options.cancel = &cancel_;
    options.on_progress = [this](const analyser::ImportProgress& p) {
      entries_.store(p.entries, std::memory_order_relaxed);
      bytes_read_.store(p.bytes_read, std::memory_order_relaxed);
      bytes_total_.store(p.bytes_total, std::memory_order_relaxed);
    };
    // An exception must not leave the thread: it would end the whole console,
    // with any unsaved configuration edits. The database rolls back by itself
    // when the import's connection closes mid-transaction.
    try {
      result_ = append_ ? analyser::AppendLog(log_file_, db_file_, options)
                        : analyser::LoadLog(log_file_, db_file_, options);
    } catch (const std::bad_alloc&) {
      result_ = FailedImport("there is not enough memory");
    } catch (const std::exception& e) {
      result_ = FailedImport(e.what());
    } catch (...) {
      result_ = FailedImport("an unexpected error");
    }
  }));
  // The thread object lives on this (the window's) thread, so finished()
  // arrives here queued, after the worker has written result_.
  connect(thread_.get(), &QThread::finished, this, &LogImportJob::Finished, Qt::QueuedConnection);
  thread_->start();
}

void LogImportJob::Wait() {
  if (thread_) thread_->wait();
}

}  // namespace vantry::console
