// The screening of one connection request and the two handlers of the DNSBL
// checker's events: the only place where the gateway refuses a connection.

#include "frm_svc.h"
#include "relay.h"
#include "report_line.h"
#include "text_trim.h"
#include "write_all.h"

namespace vantry {

asio::awaitable<void> FrmSvc::wsMon_ConnectionRequest(std::int32_t Index) {
  SocketInfo& info = table_.info(Index);
  const std::string index_text = std::to_string(Index);
  Say("\r\nIncoming connection from " + info.IP);

  // The name comes from whoever controls the peer's reverse zone; it ends up
  // in "|"-separated lines and reports, so it must not be able to split them.
  const std::string host_name = co_await resolver_.GetHostFromIP(info.IP);
  info.HostName = NeutraliseField(TrimBlanks(host_name));
  if (!info.HostName.empty()) {
    info.AltIP = co_await resolver_.GetIPFromHost(info.HostName);
  } else {
    info.AltIP = info.IP;
  }
  Say("Hostname: " + info.HostName + " AltIP: " + info.AltIP + " ");
  info.Blacklisted = false;
  info.Status = 0;

  if (settings_.UseExceptions > 0 && IsException(lists_, info.IP) > 0) {
    Say(info.IP + " EXCEPTION. " + index_text + "\r\n");
    info.BLType = "127.0.0.200";
    info.BLHost = "Manual Exception";
    co_await PassConnection(Index);
    co_return;
  }
  if (settings_.BlockAltIP > 0 && info.AltIP != info.IP) {
    RefuseLocally(Index, "ALT IP", "127.0.0.155", info.IP);
    co_return;
  }
  if (settings_.BlockNoHost > 0 && info.HostName.empty()) {
    RefuseLocally(Index, "No Host", "127.0.0.150", info.IP);
    co_return;
  }
  if (settings_.UseManual > 0 && lists_.ManualCount() > 0) {
    std::string blocked;
    if (IsManualBlock(lists_, info.IP) > 0) {
      blocked = info.IP;
    } else if (IsManualBlock(lists_, info.AltIP) > 0) {
      blocked = info.AltIP;
    }
    if (!blocked.empty()) {
      RefuseLocally(Index, "Manual Block", "127.0.0.100", blocked);
      co_return;
    }
  }

  // The events are delivered inside CheckRBL, so Status is final on return.
  co_await evtRBL.CheckRBL(info.IP, Index);
  if (info.Status != 4) {
    info.Status = 1;
    co_await evtRBL.CheckRBL(info.AltIP, Index);
  }
  if (info.Status != 4) {
    info.BLHost.clear();
    info.BLType.clear();
    info.Blacklisted = false;
    Say(info.IP + " is OK. " + index_text + "\r\n");
    co_await PassConnection(Index);
    co_return;
  }
  const RBLResult& result = RBLResults[static_cast<std::size_t>(Index)];
  info.BLHost = result.BLHost;
  info.BLType = result.Response;
  reporter_.ReportConnection(Index, "BL", info);
}

void FrmSvc::RefuseLocally(std::int32_t Index, std::string_view reason, std::string_view code,
                           const std::string& blocked_address) {
  // A local verdict is reported first; the refusal then goes through the
  // checker's event like every other refusal.
  SocketInfo& info = table_.info(Index);
  info.BLHost = reason;
  info.BLType = code;
  reporter_.ReportConnection(Index, "BL", info);
  evtRBL.ManualBlock(blocked_address, Index);
  info.Status = 4;
}

void FrmSvc::evtRBL_evBlackListed(std::int32_t Index, const std::string& IP,
                                  const std::string& BLHost, const std::string& BLType) {
  SocketInfo& info = table_.info(Index);
  info.Blacklisted = true;
  info.Status = 4;
  Say(IP + " - Blacklisted Socket: " + std::to_string(Index) + " BLHost: " + BLHost +
      " BLType: " + BLType);
  Slot& slot = table_.slot(Index);
  if (!slot.wsIn) return;
  slot.in_state = SocketState::kConnected;
  if (settings_.UseBlockMsg != 0) {
    std::string refusal = "550 " + settings_.BlockMsg + "\r\n";
    refusal +=
        "550 You are not allowed here.  Please refer this message to your system administrator. "
        "(RBL/SBL)\r\n";
    refusal += "550 Closing Connection.\r\n";
    // A fresh socket's send buffer takes these few hundred bytes at once, so a
    // non-blocking write finishes here and the handler stays synchronous. A
    // client already gone gets nothing, and the close below is all there is.
    WriteAll(slot.wsIn.get(), refusal);
  }
  GracefulClose(slot.wsIn);
  slot.in_state = SocketState::kClosed;
}

void FrmSvc::evtRBL_evNotListed(std::int32_t Index) { table_.info(Index).Status += 1; }

}  // namespace vantry
