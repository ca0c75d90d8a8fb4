#include "crbl.h"

#include <utility>

#include "text_trim.h"

namespace vantry {

std::string ReverseIP(std::string_view ip) {
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

asio::awaitable<void> CRBL::QueryRBL(std::int32_t Index) {
  const std::size_t count = RBLHosts_.size();
  RBLResult* found = Record(Index);
  if (count == 0 || found == nullptr) co_return;
  RBLResult& record = *found;
  const std::string prefix = ReverseIP(record.IP);
  record.Response.clear();
  record.BLHost.clear();
  for (std::size_t i = 0; i < count && i < RBLHosts_.size(); ++i) {
    // Copied: other slots' work runs while we wait, and the answer belongs to this zone text.
    const std::string zone = RBLHosts_[i];
    const std::string raw_answer = co_await resolver_.GetIPFromHost(prefix + zone);
    std::string answer(TrimBlanks(raw_answer));
    if (IsAcceptedResponse(answer)) {
      // The first accepted answer decides, even one of a type that does not block.
      record.Response = std::move(answer);
      record.BLHost = zone;
      co_return;
    }
  }
}

asio::awaitable<void> CRBL::CheckRBL(std::string IP, std::int32_t Index) {
  RBLResult* found = Record(Index);
  if (found == nullptr) {
    // No record to fill; the caller still gets its one outcome.
    RaiseNotListed(Index);
    co_return;
  }
  const RBLResult& record = *found;
  found->IP = std::move(IP);
  co_await QueryRBL(Index);
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
