#pragma once

#include <asio/associated_executor.hpp>
#include <asio/executor_work_guard.hpp>
#include <asio/io_context.hpp>
#include <asio/post.hpp>
#include <utility>

namespace vantry {

/// A caller waiting for one Result, whatever its completion handler's type:
/// lets a component keep awaiting callers in plain containers.
template <typename Result>
class StoredCompletion {
 public:
  virtual ~StoredCompletion() = default;
  /// Hands the result to the caller's executor; never runs the caller inline,
  /// so the completing component is not re-entered from its own callback.
  virtual void Complete(Result result) = 0;
};

template <typename Result, typename Handler>
class StoredHandler final : public StoredCompletion<Result> {
 public:
  StoredHandler(Handler handler, asio::io_context& io)
      : handler_(std::move(handler)), work_(asio::make_work_guard(io)) {}

  void Complete(Result result) override {
    auto executor = asio::get_associated_executor(handler_, work_.get_executor());
    asio::post(executor, [handler = std::move(handler_), result = std::move(result)]() mutable {
      std::move(handler)(std::move(result));
    });
    work_.reset();
  }

 private:
  Handler handler_;
  asio::executor_work_guard<asio::io_context::executor_type> work_;
};

}  // namespace vantry
