#!/usr/bin/env python3
"""A name server for tests that misbehaves on chosen names.

Usage: hostile_dns.py PORT [LABEL=BEHAVIOUR ...]

Serves UDP and TCP on 127.0.0.1:PORT. A query is matched by the first label
of its name (for a reverse lookup, the address's last number), or by its whole
name, which wins. Behaviours:
  a:ADDR[@MS]    one A record, optionally after MS milliseconds
  ptr:NAME       one PTR record
  tcp:ADDR       over UDP a truncated answer with no records; over TCP one A record
  servfail       SERVFAIL
  silent         no answer at all
  wrongid        an A record under another query id
  cut            over UDP a truncated answer with no records; over TCP the
                 connection is closed without an answer
  oversize       over UDP an answer too large for it, not marked truncated;
                 over TCP the connection is closed without an answer
Anything else gets NXDOMAIN.
"""
import socket
import struct
import sys
import threading


def question_end(query):
    i = 12
    while i < len(query) and query[i] != 0:
        i += 1 + query[i]
    return i + 5


def first_label(query):
    if len(query) < 13:
        return ""
    n = query[12]
    return query[13:13 + n].decode("latin-1").lower()


def query_name(query):
    labels, i = [], 12
    while i < len(query) and query[i] != 0:
        labels.append(query[i + 1:i + 1 + query[i]].decode("latin-1").lower())
        i += 1 + query[i]
    return ".".join(labels)


def reply(query, rcode=0, records=(), tc=False, qid=None):
    flags = 0x8180 | rcode | (0x0200 if tc else 0)
    header = (qid if qid is not None else query[:2]) + struct.pack(
        ">HHHHH", flags, 1, len(records), 0, 0)
    return header + query[12:question_end(query)] + b"".join(records)


def a_record(address):
    return b"\xc0\x0c" + struct.pack(">HHIH", 1, 1, 60, 4) + socket.inet_aton(address)


def ptr_record(name):
    encoded = b"".join(bytes([len(label)]) + label.encode() for label in name.split(".")) + b"\0"
    return b"\xc0\x0c" + struct.pack(">HHIH", 12, 1, 60, len(encoded)) + encoded


def answer(query, rules, over_tcp):
    """The answer's bytes and the delay before it; None: none at all."""
    rule = rules.get(query_name(query), rules.get(first_label(query), ""))
    kind, _, arg = rule.partition(":")
    if kind == "a":
        address, _, delay = arg.partition("@")
        return reply(query, records=[a_record(address)]), int(delay or 0) / 1000
    if kind == "tcp":
        return (reply(query, records=[a_record(arg)]) if over_tcp else reply(query, tc=True)), 0
    if kind == "ptr":
        return reply(query, records=[ptr_record(arg)]), 0
    if kind == "garbage":  # the right id and a "success" header over bytes that are no answer
        return query[:2] + b"\x81\x80\x00\x01\x00\x05\x00\x00\x00\x00" + b"\xff" * 40, 0
    if kind == "servfail":
        return reply(query, rcode=2), 0
    if kind == "silent":
        return None
    if kind == "wrongid":
        qid = struct.pack(">H", struct.unpack(">H", query[:2])[0] ^ 0x5a5a)
        return reply(query, records=[a_record("192.0.2.1")], qid=qid), 0
    if kind in ("cut", "oversize"):
        if over_tcp:
            return None
        if kind == "cut":
            return reply(query, tc=True), 0
        return reply(query, records=[a_record("192.0.2.%d" % i) for i in range(1, 41)]), 0
    return reply(query, rcode=3), 0


def serve_udp(sock, rules):
    while True:
        query, peer = sock.recvfrom(4096)
        if len(query) < 12:
            continue
        result = answer(query, rules, False)
        if result is None:
            continue
        data, delay = result
        if delay:
            threading.Timer(delay, sock.sendto, (data, peer)).start()
        else:
            sock.sendto(data, peer)


def read_exactly(conn, n):
    data = b""
    while len(data) < n:
        chunk = conn.recv(n - len(data))
        if not chunk:
            return None
        data += chunk
    return data


def serve_tcp_client(conn, rules):
    with conn:
        while True:
            size = read_exactly(conn, 2)
            query = size and read_exactly(conn, struct.unpack(">H", size)[0])
            if not query:
                return
            result = answer(query, rules, True)
            if result is None:
                return  # closed without an answer
            data, _ = result
            conn.sendall(struct.pack(">H", len(data)) + data)


def serve_tcp(listener, rules):
    while True:
        conn, _ = listener.accept()
        threading.Thread(target=serve_tcp_client, args=(conn, rules), daemon=True).start()


def main():
    port = int(sys.argv[1])
    rules = dict(arg.split("=", 1) for arg in sys.argv[2:])
    udp = socket.socket(socket.AF_INET, socket.SOCK_DGRAM)
    udp.bind(("127.0.0.1", port))
    tcp = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    tcp.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    tcp.bind(("127.0.0.1", port))
    tcp.listen(64)
    threading.Thread(target=serve_tcp, args=(tcp, rules), daemon=True).start()
    serve_udp(udp, rules)


if __name__ == "__main__":
    main()
