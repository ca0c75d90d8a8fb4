#include "crbl.h"

#include <arpa/inet.h>

#include <asio/this_coro.hpp>
#include <utility>

#include "reverse_name.h"
#include "text_trim.h"

namespace vantry {

std::string ReverseIP(std::string_view ip) {
  if (ip.find(':') != std::string_view::npos) {
    in6_addr address{};
    if (inet_pton(AF_INET6, std::string(ip).c_str(), &address) == 1) {
      return ReversedNibbles(address);
    }
  }
  std::string_view pieces[4];
  for (int i = 0; i < 4; ++i) {
    std::size_t dot = ip.find('.');
    pieces[i] = ip.substr(0, dot);
    ip = dot == std::string_view::npos ? std::string_view() : ip.substr(dot + 1);
  }
  std::string prefix;
  for (int i = 3; i >= 0; --i) {
    prefix += pieces[i];
    prefix += '.';
  }
  return prefix;
}

bool IsAcceptedResponse(std::string_view response) {
  return (response.size() == 9 || response.size() == 10) &&
         response.find("127.0.0.") != std::string_view::npos;
}

std::string_view ListingType(std::string_view response) {
  std::size_t dot = response.rfind('.');
  return dot == std::string_view::npos ? response : response.substr(dot + 1);
}

int BlockingTypeNumber(std::string_view type) {
  if (type.size() == 1 && type[0] >= '2' && type[0] <= '9') return type[0] - '0';
  return 0;
}

CRBL::CRBL(Resolver& resolver, const ConfigSettings& settings,
           const std::vector<std::string>& RBLHosts, RBLResultLookup RBLResults, SayFunction say)
    : resolver_(resolver),
      settings_(settings),
      RBLHosts_(RBLHosts),
      RBLResults_(std::move(RBLResults)),
      say_(std::move(say)) {}

asio::awaitable<std::shared_ptr<ZoneQueries>> CRBL::StartQueries(std::string_view IP) {
  co_return ZoneQueries::Start(co_await asio::this_coro::executor, resolver_, ReverseIP(IP),
                               RBLHosts_, skipped_, counters_);
}

asio::awaitable<void> CRBL::QueryRBL(std::int32_t Index, std::shared_ptr<ZoneQueries> queries) {
  RBLResult* found = Record(Index);
  if (queries->zones().empty() || found == nullptr) co_return;
  RBLResult& record = *found;
  record.Response.clear();
  record.BLHost.clear();
  for (std::size_t i = 0; i < queries->zones().size(); ++i) {
    const std::string raw_answer = co_await queries->Answer(i);
    std::string answer(TrimBlanks(raw_answer));
    if (IsAcceptedResponse(answer)) {
      // The first accepted answer decides, even one of a type that does not block; the later
      // zones' answers are no longer needed.
      record.Response = std::move(answer);
      record.BLHost = queries->zones()[i];
      co_return;
    }
  }
}

void CRBL::SkipZone(std::string_view zone, bool skip) {
  if (skip) {
    skipped_.emplace(zone);
  } else if (auto found = skipped_.find(zone); found != skipped_.end()) {
    skipped_.erase(found);
  }
}

asio::awaitable<void> CRBL::CheckRBL(std::string IP, std::int32_t Index) {
  std::shared_ptr<ZoneQueries> queries;
  if (Record(Index) != nullptr) queries = co_await StartQueries(IP);
  co_await CheckRBL(std::move(IP), Index, std::move(queries));
}

asio::awaitable<void> CRBL::CheckRBL(std::string IP, std::int32_t Index,
                                     std::shared_ptr<ZoneQueries> queries) {
  RBLResult* found = Record(Index);
  if (found == nullptr) {
    // No record to fill; the caller still gets its one outcome.
    RaiseNotListed(Index);
    co_return;
  }
  const RBLResult& record = *found;
  found->IP = std::move(IP);
  co_await QueryRBL(Index, std::move(queries));
  if (!record.Response.empty()) {
    Say("Response: " + record.BLHost + " says: " + record.Response + " " +
        std::to_string(record.Response.size()));
  }
  int type = BlockingTypeNumber(ListingType(record.Response));
  if (type != 0) {
    Say("Type " + record.Response);
    if (settings_.BlocksType(type)) {
      // Copies, so a handler that touches the slot's record cannot change its own arguments.
      RaiseBlackListed(Index, std::string(record.IP), std::string(record.BLHost),
                       std::string(record.Response));
    } else {
      RaiseNotListed(Index);
    }
    co_return;
  }
  if (!record.Response.empty()) Say("Type not listed, " + record.Response);
  RaiseNotListed(Index);
}

void CRBL::ManualBlock(std::string IP, std::int32_t Index) {
  RBLResult* record = Record(Index);
  if (record == nullptr) {
    RaiseBlackListed(Index, IP, std::string(kSystemBlockHost), std::string(kManualBlockCode));
    return;
  }
  record->IP = std::move(IP);
  RaiseBlackListed(Index, std::string(record->IP), std::string(kSystemBlockHost),
                   std::string(kManualBlockCode));
}

void CRBL::Say(const std::string& line) const {
  if (say_) say_(line);
}

void CRBL::RaiseBlackListed(std::int32_t Index, const std::string& IP, const std::string& BLHost,
                            const std::string& BLType) {
  if (evBlackListed) evBlackListed(Index, IP, BLHost, BLType);
}

void CRBL::RaiseNotListed(std::int32_t Index) {
  if (evNotListed) evNotListed(Index);
}

}  // namespace vantry
