#include "crbl.h"

#include "text_trim.h"

#include <utility>

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
           const std::vector<std::string>& RBLHosts, std::vector<RBLResult>& RBLResults,
           SayFunction say)
    : resolver_(resolver),
      settings_(settings),
      RBLHosts_(RBLHosts),
      RBLResults_(RBLResults),
      say_(std::move(say)) {}

asio::awaitable<void> CRBL::QueryRBL(std::int32_t Index) {
  const std::size_t count = RBLHosts_.size();
  if (count == 0 || !ValidIndex(Index)) co_return;
  RBLResult& record = RBLResults_[Index];
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
      RBLResults_[Index].Response = std::move(answer);
      RBLResults_[Index].BLHost = zone;
      co_return;
    }
  }
}

asio::awaitable<void> CRBL::CheckRBL(std::string IP, std::int32_t Index) {
  if (!ValidIndex(Index)) {
    // No record to fill; the caller still gets its one outcome.
    RaiseNotListed(Index);
    co_return;
  }
  RBLResults_[Index].IP = std::move(IP);
  co_await QueryRBL(Index);
  const RBLResult& record = RBLResults_[Index];
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
  if (!ValidIndex(Index)) {
    RaiseBlackListed(Index, IP, std::string(kSystemBlockHost), std::string(kManualBlockCode));
    return;
  }
  RBLResults_[Index].IP = std::move(IP);
  RaiseBlackListed(Index, std::string(RBLResults_[Index].IP), std::string(kSystemBlockHost),
                   std::string(kManualBlockCode));
}

bool CRBL::ValidIndex(std::int32_t Index) const {
  return Index >= 0 && static_cast<std::size_t>(Index) < RBLResults_.size();
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
