#!/usr/bin/env python3
"""A TCP relay that adds latency, for download benchmarks on a kernel without netem.

    scripts/delay-relay.py --upstream 127.0.0.1:8080 --delay-ms 25 [--window-kib 1024]
                           [--port-file PATH]

Listens on a free port of 127.0.0.1 (written to --port-file, or printed), and relays every
connection to --upstream. Each piece of data is held for --delay-ms before it is passed on, in
both directions, so a request and its answer take twice that (the round trip). At most
--window-kib of data is in flight per direction of a connection; a full window stops reading
from the sender, as a receive window does on a real path, so one connection's throughput is
bounded by window / round trip, as on a long link. Ends on SIGTERM or SIGINT.
"""

import argparse
import asyncio
import collections
import os
import signal
import time

READ_SIZE = 256 * 1024


class DelayedPipe:
    """One direction of a connection: reads, holds each piece for the delay, writes."""

    def __init__(self, reader, writer, delay, window):
        self.reader = reader
        self.writer = writer
        self.delay = delay
        self.window = window
        self.pieces = collections.deque()  # (due time, bytes); None ends the pipe
        self.in_flight = 0
        self.changed = asyncio.Event()

    async def pump_in(self):
        try:
            while True:
                while self.in_flight >= self.window:
                    self.changed.clear()
                    await self.changed.wait()
                data = await self.reader.read(READ_SIZE)
                if not data:
                    break
                self.pieces.append((time.monotonic() + self.delay, data))
                self.in_flight += len(data)
                self.changed.set()
        except (ConnectionError, OSError):
            pass
        self.pieces.append((time.monotonic() + self.delay, None))
        self.changed.set()

    async def pump_out(self):
        try:
            while True:
                while not self.pieces:
                    self.changed.clear()
                    await self.changed.wait()
                due, data = self.pieces.popleft()
                wait = due - time.monotonic()
                if wait > 0:
                    await asyncio.sleep(wait)
                if data is None:
                    break
                self.writer.write(data)
                await self.writer.drain()
                self.in_flight -= len(data)
                self.changed.set()
        except (ConnectionError, OSError):
            pass
        try:
            self.writer.write_eof()
        except (OSError, RuntimeError):
            pass


async def relay(client_reader, client_writer, upstream, delay, window):
    host, port = upstream
    try:
        server_reader, server_writer = await asyncio.open_connection(host, port)
    except OSError:
        client_writer.close()
        return
    pipes = [DelayedPipe(client_reader, server_writer, delay, window),
             DelayedPipe(server_reader, client_writer, delay, window)]
    await asyncio.gather(*(task for pipe in pipes for task in (pipe.pump_in(), pipe.pump_out())))
    for writer in (client_writer, server_writer):
        writer.close()


def write_port_file(path, port):
    temporary = path + ".tmp"
    with open(temporary, "w") as out:
        out.write("%d\n" % port)
    os.replace(temporary, path)


async def serve(arguments):
    host, _, port = arguments.upstream.rpartition(":")
    upstream = (host, int(port))
    delay = arguments.delay_ms / 1000.0
    window = arguments.window_kib * 1024

    async def on_connection(reader, writer):
        await relay(reader, writer, upstream, delay, window)

    server = await asyncio.start_server(on_connection, "127.0.0.1", 0)
    port = server.sockets[0].getsockname()[1]
    if arguments.port_file:
        write_port_file(arguments.port_file, port)
    else:
        print(port, flush=True)
    stop = asyncio.Event()
    loop = asyncio.get_running_loop()
    for number in (signal.SIGTERM, signal.SIGINT):
        loop.add_signal_handler(number, stop.set)
    async with server:
        await stop.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--upstream", required=True, help="HOST:PORT to relay to")
    parser.add_argument("--delay-ms", type=float, default=25.0, help="one-way delay")
    parser.add_argument("--window-kib", type=int, default=1024,
                        help="data in flight per direction of a connection")
    parser.add_argument("--port-file", help="write the listening port here")
    asyncio.run(serve(parser.parse_args()))


if __name__ == "__main__":
    main()
