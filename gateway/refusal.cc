// Refusing a connection: the two ways a verdict refuses, the temporary
// refusal when DNS gave no answer, and the DNSBL checker's events, which carry
// out every other refusal.

#include "frm_svc.h"
#include "relay.h"
#include "write_all.h"

namespace vantry {

void FrmSvc::RefuseLocally(std::int32_t Index, const ScreeningVerdict& verdict) {
  // A local verdict is reported first; the refusal then goes through the
  // checker's event like every other refusal.
  SocketInfo& info = table_.info(Index);
  info.BLHost = verdict.BLHost;
  info.BLType = verdict.BLType;
  reporter_.ReportConnection(Index, "BL", info);
  evtRBL.ManualBlock(verdict.blocked_address, Index);
  info.Status = ScreeningStatus::kBlacklisted;
}

void FrmSvc::ReportListed(std::int32_t Index, const ScreeningVerdict& verdict) {
  SocketInfo& info = table_.info(Index);
  info.BLHost = verdict.BLHost;
  info.BLType = verdict.BLType;
  reporter_.ReportConnection(Index, "BL", info);
}

void FrmSvc::DeferTemporarily(std::int32_t Index, const ScreeningVerdict& verdict) {
  SocketInfo& info = table_.info(Index);
  info.BLHost = verdict.BLHost;
  info.BLType = verdict.BLType;
  reporter_.ReportConnection(Index, "BL", info);
  Slot& slot = table_.slot(Index);
  if (!slot.wsIn) return;
  // A temporary failure: a mail server that is told so keeps the mail and
  // tries again, where a 550 would bounce it.
  WriteAll(slot.wsIn.get(), "421 4.4.3 Temporary DNS failure, try again later\r\n");
  GracefulClose(slot.wsIn);
  slot.in_state = SocketState::kClosed;
}

void FrmSvc::evtRBL_evBlackListed(std::int32_t Index, const std::string& IP,
                                  const std::string& BLHost, const std::string& BLType) {
  SocketInfo& info = table_.info(Index);
  info.Blacklisted = true;
  info.Status = ScreeningStatus::kBlacklisted;
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

void FrmSvc::evtRBL_evNotListed(std::int32_t Index) {
  SocketInfo& info = table_.info(Index);
  info.Status = AfterNotListed(info.Status);
}

}  // namespace vantry
