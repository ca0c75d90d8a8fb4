#include "postgres_fixture.h"

#include <arpa/inet.h>
#include <libpq-fe.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <vector>

#include "child_process.h"
#include "tcp_client.h"

namespace vantry::testing {
namespace {

constexpr std::string_view kBin = "/usr/lib/postgresql/15/bin/";

std::string Loopback(int port, std::string_view user, std::string_view password,
                     std::string_view database) {
  return "postgresql://" + std::string(user) + ":" + std::string(password) +
         "@127.0.0.1:" + std::to_string(port) + "/" + std::string(database);
}

}  // namespace

PostgresServer& PostgresServer::Shared() {
  static PostgresServer server;
  return server;
}

int PostgresServer::RunAsOwner(const std::vector<std::string>& argv, std::string* output) const {
  std::vector<std::string> command;
  // initdb refuses to run as root; the cluster belongs to nobody then.
  if (geteuid() == 0) command = {"setpriv", "--reuid=nobody", "--regid=nogroup", "--clear-groups"};
  command.insert(command.end(), argv.begin(), argv.end());
  return RunCommand(command, {{"LC_ALL", "C"}}, output, 60s);
}

PostgresServer::PostgresServer() {
  namespace fs = std::filesystem;
  data_ = dir_.File("data");
  std::string password_file = dir_.File("password");
  WriteFileText(password_file, std::string(kPassword) + "\n");
  if (geteuid() == 0) {
    // The folder is root's 0700 from mkdtemp; nobody needs to reach into it.
    fs::permissions(dir_.path(), fs::perms::all, fs::perm_options::replace);
    fs::permissions(password_file, fs::perms::owner_read | fs::perms::others_read,
                    fs::perm_options::replace);
  }
  std::string out;
  if (RunAsOwner({std::string(kBin) + "initdb", "-D", data_, "-U", "vantry", "--pwfile",
                  password_file, "--auth-local=trust", "--auth-host=scram-sha-256", "-E", "UTF8",
                  "--locale=C", "--no-sync"},
                 &out) != 0) {
    failure_ = "initdb failed: " + out;
    return;
  }
  port_ = FreePort();
  std::string options =
      "-c listen_addresses=127.0.0.1 -c unix_socket_directories=" + dir_.path().string() + " -p " +
      std::to_string(port_) + " -c fsync=off -c full_page_writes=off";
  if (RunAsOwner({std::string(kBin) + "pg_ctl", "-D", data_, "-l", dir_.File("server.log"), "-o",
                  options, "-w", "-t", "30", "start"},
                 &out) != 0) {
    failure_ = "pg_ctl start failed: " + out + ReadFileText(dir_.File("server.log"));
    return;
  }
  started_ = true;
}

PostgresServer::~PostgresServer() {
  if (started_) {
    std::string out;
    RunAsOwner({std::string(kBin) + "pg_ctl", "-D", data_, "-m", "immediate", "-w", "stop"}, &out);
  }
}

std::string PostgresServer::Uri(std::string_view database, std::string_view password) const {
  return Loopback(port_, "vantry", password, database);
}

std::string PostgresServer::Query(std::string_view database, std::string_view sql) const {
  PGconn* conn = PQconnectdb(Uri(database).c_str());
  PQsetNoticeProcessor(
      conn, [](void*, const char*) {}, nullptr);
  std::string answer;
  if (PQstatus(conn) != CONNECTION_OK) {
    answer = std::string("ERROR: ") + PQerrorMessage(conn);
  } else {
    PGresult* result = PQexec(conn, std::string(sql).c_str());
    ExecStatusType status = PQresultStatus(result);
    if (status == PGRES_TUPLES_OK && PQntuples(result) > 0) {
      answer = PQgetvalue(result, 0, 0);
    } else if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK) {
      answer = std::string("ERROR: ") + PQresultErrorMessage(result);
    }
    PQclear(result);
  }
  PQfinish(conn);
  return answer;
}

std::string PostgresServer::CreateDatabase(std::string_view name) {
  Query("postgres", "DROP DATABASE IF EXISTS " + std::string(name));
  Query("postgres", "CREATE DATABASE " + std::string(name));
  return Uri(name);
}

DroppingRelay::DroppingRelay(int target_port, std::uint64_t limit)
    : target_port_(target_port), limit_(limit) {
  listener_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
  listen(listener_, 4);
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

DroppingRelay::~DroppingRelay() {
  stop_ = true;
  thread_.join();
  close(listener_);
}

void DroppingRelay::Serve() {
  std::vector<std::pair<int, int>> pairs;  // client, server
  std::vector<std::uint64_t> sent;
  std::vector<char> buffer(64 * 1024);
  while (!stop_) {
    std::vector<pollfd> fds = {{listener_, POLLIN, 0}};
    for (auto [client, server] : pairs) {
      fds.push_back({client, POLLIN, 0});
      fds.push_back({server, POLLIN, 0});
    }
    if (poll(fds.data(), fds.size(), 50) <= 0) continue;
    if (fds[0].revents & POLLIN) {
      int client = accept(listener_, nullptr, nullptr);
      int server = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      address.sin_port = htons(static_cast<uint16_t>(target_port_));
      connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address);
      pairs.emplace_back(client, server);
      sent.push_back(0);
      continue;
    }
    for (size_t i = 0; i < pairs.size(); ++i) {
      auto [client, server] = pairs[i];
      bool cut = false;
      for (int side = 0; side < 2 && !cut; ++side) {
        if (!(fds[1 + 2 * i + side].revents & (POLLIN | POLLHUP))) continue;
        int from = side == 0 ? client : server;
        int to = side == 0 ? server : client;
        ssize_t got = read(from, buffer.data(), buffer.size());
        if (got <= 0) {
          cut = true;
          break;
        }
        if (side == 0 && (sent[i] += got) > limit_) {
          dropped_ = true;
          cut = true;
          break;
        }
        if (write(to, buffer.data(), got) != got) cut = true;
      }
      if (cut) {
        close(client);
        close(server);
        pairs.erase(pairs.begin() + i);
        sent.erase(sent.begin() + i);
        break;
      }
    }
  }
  for (auto [client, server] : pairs) {
    close(client);
    close(server);
  }
}

}  // namespace vantry::testing
