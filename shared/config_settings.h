#pragma once

#include <cstdint>
#include <string>

namespace vantry {

/// The gateway's copy of its settings, filled once at start by ReadConfig and
/// then passed down read-only. Ports stay text and are converted where used.
struct ConfigSettings {
  std::string BLDNSDB;
  std::string ExceptionsDB;
  std::string ManualDB;
  std::string PathEXE;
  std::string SMTPHost;
  std::string SMTPPort;
  std::string LocalPort;
  std::string BlockMsg;
  std::int32_t MaxSocks = 255;
  std::int16_t UseManual = 1;
  std::int16_t UseExceptions = 1;
  std::int16_t UseBlockMsg = 1;
  std::int16_t LogBL = 1;
  std::int16_t LogOK = 1;
  std::int16_t BlockAltIP = 1;
  std::int16_t BlockNoHost = 1;
  bool BlockT2 = true;
  bool BlockT3 = false;
  bool BlockT4 = false;
  bool BlockT5 = false;
  bool BlockT6 = false;
  bool BlockT7 = false;
  bool BlockT8 = false;
  bool BlockT9 = false;
  /// Comma-separated "ip[:port]" name servers; empty means the system resolver.
  std::string DNSServers;
  /// The most slots one client address may hold at once; 0: no limit.
  std::int32_t MaxPerIP = 20;
  /// Seconds a relayed connection may stay without a byte either way; 0: no limit.
  std::int32_t IdleTimeout = 600;
  /// 0: relay bytes only; 1 or 2: send a PROXY protocol header of that version
  /// to the mail server before the first relayed byte.
  std::int32_t ProxyOut = 0;
  /// Trusted load balancers ("addr[/bits]", comma-separated) whose connections
  /// start with a PROXY header naming the real client; empty: none.
  std::string ProxyFrom;
  /// The one literal address to listen on; empty: every address, IPv4 and IPv6.
  std::string ListenAddress;
  /// Entries of the DNS answer cache; 0: no cache.
  std::int32_t DNSCacheSize = 100000;
  /// Minutes between zone health probes; 0: none.
  std::int32_t ZoneCheck = 10;
  /// "host:port" of the metrics endpoint; empty: off.
  std::string MetricsListen;

  /// The BlockTn flag for a listing type n in 2..9; false for any other n.
  bool BlocksType(int type) const {
    switch (type) {
      case 2:
        return BlockT2;
      case 3:
        return BlockT3;
      case 4:
        return BlockT4;
      case 5:
        return BlockT5;
      case 6:
        return BlockT6;
      case 7:
        return BlockT7;
      case 8:
        return BlockT8;
      case 9:
        return BlockT9;
      default:
        return false;
    }
  }
};

}  // namespace vantry
