#pragma once

#include <asio/co_spawn.hpp>
#include <asio/io_context.hpp>
#include <chrono>
#include <exception>
#include <optional>
#include <stdexcept>
#include <utility>

namespace vantry::testing {

/// Runs one awaitable on io to its end (other spawned work runs alongside) and returns its value.
template <typename T>
T RunAwaitable(asio::io_context& io, asio::awaitable<T> awaitable,
               std::chrono::seconds limit = std::chrono::seconds(30)) {
  std::optional<T> result;
  std::exception_ptr error;
  asio::co_spawn(io, std::move(awaitable), [&](std::exception_ptr e, T value) {
    error = e;
    result = std::move(value);
  });
  io.restart();
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!result && !error && std::chrono::steady_clock::now() < deadline) {
    io.run_one_for(std::chrono::milliseconds(100));
  }
  if (error) std::rethrow_exception(error);
  if (!result) throw std::runtime_error("awaitable did not finish in time");
  return std::move(*result);
}

/// The same for an awaitable without a value.
inline void RunAwaitable(asio::io_context& io, asio::awaitable<void> awaitable,
                         std::chrono::seconds limit = std::chrono::seconds(30)) {
  bool done = false;
  std::exception_ptr error;
  asio::co_spawn(io, std::move(awaitable), [&](std::exception_ptr e) {
    error = e;
    done = true;
  });
  io.restart();
  auto deadline = std::chrono::steady_clock::now() + limit;
  while (!done && std::chrono::steady_clock::now() < deadline) {
    io.run_one_for(std::chrono::milliseconds(100));
  }
  if (error) std::rethrow_exception(error);
  if (!done) throw std::runtime_error("awaitable did not finish in time");
}

}  // namespace vantry::testing
