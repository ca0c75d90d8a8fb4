#!/usr/bin/python3
"""A slow DNS zone for benchmarks: forwards every UDP DNS query to an upstream server and sends
the upstream's answer back only after a fixed delay. Queries are handled concurrently, so the
delay is the latency of each answer, not a queue.

usage: delay_dns.py --listen 127.0.0.1:5302 --upstream 127.0.0.1:5301 --delay-ms 200
"""
import argparse
import asyncio


def host_port(text):
    host, _, port = text.rpartition(":")
    return host, int(port)


class Forwarder(asyncio.DatagramProtocol):
    def __init__(self, upstream, delay):
        self.upstream = upstream
        self.delay = delay
        self.transport = None

    def connection_made(self, transport):
        self.transport = transport

    def datagram_received(self, data, client):
        asyncio.get_running_loop().create_task(self.relay(data, client))

    async def relay(self, query, client):
        loop = asyncio.get_running_loop()
        started = loop.time()
        answer = await ask_upstream(self.upstream, query)
        if answer is None:
            return  # upstream silent: the client's own retry decides
        await asyncio.sleep(max(0.0, self.delay - (loop.time() - started)))
        self.transport.sendto(answer, client)


class OneAnswer(asyncio.DatagramProtocol):
    def __init__(self, future):
        self.future = future

    def datagram_received(self, data, addr):
        if not self.future.done():
            self.future.set_result(data)


async def ask_upstream(upstream, query):
    loop = asyncio.get_running_loop()
    future = loop.create_future()
    transport, _ = await loop.create_datagram_endpoint(lambda: OneAnswer(future),
                                                       remote_addr=upstream)
    try:
        transport.sendto(query)
        return await asyncio.wait_for(future, timeout=5)
    except (asyncio.TimeoutError, OSError):
        return None
    finally:
        transport.close()


async def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--listen", required=True, type=host_port)
    parser.add_argument("--upstream", required=True, type=host_port)
    parser.add_argument("--delay-ms", type=int, default=200)
    args = parser.parse_args()
    loop = asyncio.get_running_loop()
    await loop.create_datagram_endpoint(
        lambda: Forwarder(args.upstream, args.delay_ms / 1000.0), local_addr=args.listen)
    await asyncio.Event().wait()


if __name__ == "__main__":
    try:
        asyncio.run(main())
    except KeyboardInterrupt:
        pass
