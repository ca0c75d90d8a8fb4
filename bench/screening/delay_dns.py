"""A slow DNS zone for benchmarks: forwards every UDP DNS query to an upstream server and sends
the upstream's answer back only after a fixed delay. Queries are handled concurrently, so the
delay is the latency of each answer, not a queue.

usage: delay_dns.py --listen 127.0.0.1:5302 --upstream 127.0.0.1:5301 --delay-ms 200
"""
import argparse
import asyncio
import itertools


def host_port(text):
    host, _, port = text.rpartition(":")
    return host, int(port)


class Forwarder:
    """One socket towards the clients, one towards the upstream. Each forwarded query gets an
    ID of our own, so answers find their client without a socket per query; a burst of
    hundreds of queries then costs no more than hundreds of datagrams."""

    def __init__(self, upstream, delay):
        self.upstream = upstream
        self.delay = delay
        self.front = None
        self.back = None
        self.pending = {}  # our id -> (client, client's id, time asked)
        self.ids = itertools.cycle(range(1, 65536))

    def ask(self, query, client):
        if len(query) < 12:
            return
        loop = asyncio.get_running_loop()
        our_id = next(self.ids)
        self.pending[our_id] = (client, query[:2], loop.time())
        self.back.sendto(our_id.to_bytes(2, "big") + query[2:], self.upstream)

    def answer(self, data):
        if len(data) < 12:
            return
        entry = self.pending.pop(int.from_bytes(data[:2], "big"), None)
        if entry is None:
            return
        client, client_id, asked = entry
        loop = asyncio.get_running_loop()
        wait = max(0.0, self.delay - (loop.time() - asked))
        loop.call_later(wait, self.front.sendto, client_id + data[2:], client)


class Front(asyncio.DatagramProtocol):
    def __init__(self, forwarder):
        self.forwarder = forwarder

    def connection_made(self, transport):
        self.forwarder.front = transport

    def datagram_received(self, data, client):
        self.forwarder.ask(data, client)


class Back(asyncio.DatagramProtocol):
    def __init__(self, forwarder):
        self.forwarder = forwarder

    def connection_made(self, transport):
        self.forwarder.back = transport

    def datagram_received(self, data, addr):
        self.forwarder.answer(data)


async def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--listen", required=True, type=host_port)
    parser.add_argument("--upstream", required=True, type=host_port)
    parser.add_argument("--delay-ms", type=int, default=200)
    args = parser.parse_args()
    loop = asyncio.get_running_loop()
    forwarder = Forwarder(args.upstream, args.delay_ms / 1000.0)
    await loop.create_datagram_endpoint(lambda: Back(forwarder), local_addr=("127.0.0.1", 0))
    await loop.create_datagram_endpoint(lambda: Front(forwarder), local_addr=args.listen)
    await asyncio.Event().wait()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
