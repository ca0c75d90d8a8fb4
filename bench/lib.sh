# Helpers shared by the benchmark scripts: free ports, starting the real peers
# (smtp-sink, dnsmasq, rbldnsd) and the gateway on loopback, timing, cleanup.
# Every process started here is recorded and stopped by its PID on exit.

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BIN=${VANTRY_BIN:-$ROOT/build/bin}
WORK=$(mktemp -d /tmp/vantry-bench-XXXXXX)
PIDS=()

cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT

# A port below the kernel's ephemeral range, free for TCP and UDP on every
# address: the benchmarks' own outgoing connections take ephemeral ports by the
# ten thousand and could take one between this check and the server's bind.
free_port() {
  /usr/bin/python3 - <<'PY'
import random, socket
low = int(open("/proc/sys/net/ipv4/ip_local_port_range").read().split()[0])
low = low if low > 12000 else 32768
for _ in range(1000):
    port = random.randrange(10000, low)
    try:
        for kind in (socket.SOCK_STREAM, socket.SOCK_DGRAM):
            s = socket.socket(socket.AF_INET, kind)
            s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
            s.bind(("0.0.0.0", port))
            s.close()
    except OSError:
        continue
    print(port)
    break
PY
}

wait_tcp() {  # port
  for _ in $(seq 1 200); do
    (exec 3<>/dev/tcp/127.0.0.1/"$1") 2>/dev/null && return 0
    sleep 0.05
  done
  echo "nothing listens on port $1" >&2
  return 1
}

now() { date +%s.%N; }

# Only root may hand the peers another user; others run them as themselves.
as_root() { [[ $(id -u) -eq 0 ]]; }

start_sink() {  # port [most_connections_at_once, default 256]
  local user=()
  as_root && user=(-u nobody)
  /usr/sbin/smtp-sink "${user[@]}" -m "${2:-256}" -c "127.0.0.1:$1" 1024 >/dev/null 2>&1 &
  PIDS+=($!)
  wait_tcp "$1"
}

# dnsmasq answering PTR/A for the client address and forwarding the zones to rbldnsd.
start_dns() {  # dns_port rbldnsd_port zone...
  local dns_port=$1 rbl_port=$2
  shift 2
  local zone_args=() servers=()
  mkdir -p "$WORK/zones"
  for zone in "$@"; do
    # An SOA lets the caching name server keep "not listed" answers, as a
    # real local resolver in front of a DNSBL does.
    printf '$SOA 60 ns.bench.test. hostmaster.bench.test. 1 60 60 60 60\n127.0.0.99 :2:listed\n' \
      >"$WORK/zones/$zone"
    zone_args+=("$zone:ip4set:$WORK/zones/$zone")
    servers+=("--server=/$zone/127.0.0.1#$rbl_port")
  done
  if (($# > 0)); then
    chmod 755 "$WORK" "$WORK/zones"
    chmod 644 "$WORK"/zones/*
    local user=()
    # rbldnsd refuses to run as root; it drops to its user before reading the zones.
    if as_root; then
      user=(-u nobody)
      getent passwd rbldns >/dev/null && user=(-u rbldns)
    fi
    /usr/sbin/rbldnsd -n -a "${user[@]}" -b "127.0.0.1/$rbl_port" -w "$WORK/zones" \
      "${zone_args[@]/$WORK\/zones\//}" >/dev/null 2>&1 &
    PIDS+=($!)
  fi
  local dns_user=()
  as_root && dns_user=(--user=root)
  /usr/sbin/dnsmasq --no-daemon --conf-file=/dev/null --no-resolv --no-hosts --port="$dns_port" \
    --listen-address=127.0.0.1 --bind-interfaces "${dns_user[@]}" --pid-file= \
    --local=/in-addr.arpa/ --local=/bench.test/ \
    --ptr-record=1.0.0.127.in-addr.arpa,client.bench.test \
    --host-record=client.bench.test,127.0.0.1 "${servers[@]}" >/dev/null 2>&1 &
  PIDS+=($!)
  sleep 0.5
}

# Starts the gateway in front of smtp-sink; sets GW_PID. MAX_SOCKS sets its
# MaxSocks (default 255); GW_EXTRA, settings lines of its own (such as
# '"ProxyOut"=dword:00000002'). Every benchmark client comes from a few
# addresses, so MaxPerIP is off.
start_gateway() {  # listen_port sink_port dns_port zone...
  local port=$1 sink=$2 dns=$3 socks
  shift 3
  socks=$(printf '%08x' "${MAX_SOCKS:-255}")
  local dir=$WORK/gw-$port
  mkdir -p "$dir"
  : >"$dir/rbl.cfg"
  for zone in "$@"; do printf '%s\r\n' "$zone" >>"$dir/rbl.cfg"; done
  cat >"$dir/registry.reg" <<REG
REGEDIT4

[HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services\\DaskVantry\\Parameters]
"LocalPort"="$port"
"SMTPHost"="127.0.0.1"
"SMTPPort"="$sink"
"PathEXE"="$dir"
"MaxSocks"=dword:$socks
"MaxPerIP"=dword:00000000
"BlockT2"=dword:00000001
"LogBL"=dword:00000001
"LogOK"=dword:00000001
"UseBlockMsg"=dword:00000001
"UseExceptions"=dword:00000001
"UseManual"=dword:00000001
"BlockNoHost"=dword:00000001
"BlockAltIP"=dword:00000001
"BlockMsg"="Access Denied."
"BLDNSDB"="rbl.cfg"
"ExceptionsDB"="exlst.cfg"
"ManualDB"="manbl.cfg"
"DNSServers"="127.0.0.1:$dns"
REG
  if [ -n "${GW_EXTRA:-}" ]; then printf '%s\n' "$GW_EXTRA" >>"$dir/registry.reg"; fi
  VANTRY_REGISTRY=$dir/registry.reg VANTRY_MAILSLOT=bench-$port \
    "$BIN/vantrysvc" >"$dir/trace.txt" 2>&1 &
  GW_PID=$!
  PIDS+=("$GW_PID")
  wait_tcp "$port" >/dev/null
}

# Seconds taken by smtp-source with the given arguments against a port.
time_source() {  # port args...
  local port=$1
  shift
  local t0 t1
  t0=$(now)
  /usr/sbin/smtp-source "$@" -f a@src.test -t b@dst.test "127.0.0.1:$port" >/dev/null 2>&1
  t1=$(now)
  /usr/bin/python3 -c "print($t1-$t0)"
}

rss_kib() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
