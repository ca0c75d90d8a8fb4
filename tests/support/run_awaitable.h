#pragma once

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <chrono>
#include <exception>
#include <functional>
#include <optional>
#include <stdexcept>
#include <utility>

namespace vantry::testing {

/// Runs io's handlers until done() holds, for at most 30 s; returns done(). Polled, not run():
/// a resolver keeps its socket open, so io never runs out of work.
inline bool RunUntil(asio::io_context& io, const std::function<bool()>& done) {
  io.restart();
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (!done() && std::chrono::steady_clock::now() < deadline) {
    io.run_one_for(std::chrono::milliseconds(100));
  }
  return done();
}

/// Runs one awaitable on io to its end (other spawned work runs alongside).
inline void RunAwaitable(asio::io_context& io, asio::awaitable<void> awaitable) {
  std::optional<std::exception_ptr> end;
  asio::co_spawn(io, std::move(awaitable), [&](std::exception_ptr e) { end = e; });
  if (!RunUntil(io, [&] { return end.has_value(); }))
    throw std::runtime_error("awaitable did not finish in time");
  if (*end) std::rethrow_exception(*end);
}

/// The same, returning the awaitable's value.
template <typename T>
T RunAwaitable(asio::io_context& io, asio::awaitable<T> awaitable) {
  std::optional<T> result;
  RunAwaitable(io, [](asio::awaitable<T> from, std::optional<T>& to) -> asio::awaitable<void> {
    to = co_await std::move(from);
  }(std::move(awaitable), result));
  return std::move(*result);
}

}  // namespace vantry::testing
