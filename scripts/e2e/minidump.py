"""Reads what the crash checks need from a Windows minidump: the signature, the streams, the
number of threads and the exception code."""

import struct

THREAD_LIST_STREAM = 3
EXCEPTION_STREAM = 6


class MiniDump:
    def __init__(self, data):
        if len(data) < 32 or data[:4] != b"MDMP":
            raise ValueError("no MDMP signature")
        self.data = data
        count, directory = struct.unpack_from("<II", data, 8)
        self.streams = {}
        for i in range(count):
            kind, size, rva = struct.unpack_from("<III", data, directory + 12 * i)
            if kind and rva + size <= len(data):
                self.streams.setdefault(kind, (rva, size))

    def thread_ids(self):
        """The ids of the threads in the thread list (MINIDUMP_THREAD: 48 bytes, id first)."""
        rva, _ = self.streams[THREAD_LIST_STREAM]
        count = struct.unpack_from("<I", self.data, rva)[0]
        return [struct.unpack_from("<I", self.data, rva + 4 + 48 * i)[0] for i in range(count)]

    def exception(self):
        """(thread id, exception code) of the exception stream."""
        rva, _ = self.streams[EXCEPTION_STREAM]
        thread_id, _alignment, code = struct.unpack_from("<III", self.data, rva)
        return thread_id, code


def read(path):
    with open(path, "rb") as f:
        return MiniDump(f.read())
