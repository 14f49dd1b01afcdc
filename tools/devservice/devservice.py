#!/usr/bin/env python3
"""A local stand-in for the Orvex product web service.

It answers the endpoints the installer uses (configuration, driver URL, media downloads with
byte ranges, reports, crash uploads, the pages opened in the browser), records every request
it receives, and misbehaves on request (fault rules) so that the installer's error paths can
be exercised. Tests drive it through a small JSON control plane under /_dev/.

Python 3 standard library only. See README.md next to this file.
"""

import argparse
import base64
import email.message
import email.utils
import hashlib
import html
import http.server
import ipaddress
import json
import os
import re
import shutil
import signal
import socket
import ssl
import stat
import struct
import sys
import tempfile
import threading
import time
import traceback
import urllib.parse

try:  # Linux: bytes not yet acknowledged by the peer, used before a reset.
    import fcntl
    import termios
    _TIOCOUTQ = getattr(termios, "TIOCOUTQ", None)
except ImportError:  # pragma: no cover - not on the platforms we run on
    fcntl = None
    _TIOCOUTQ = None

PATTERN_MODULUS = 251
MAX_REQUEST_BODY = 1 << 30          # bytes accepted in one request body
MAX_GENERATED_MEDIA = 1 << 32       # bytes of a generated pattern file
COPY_CHUNK = 64 * 1024
SHA256_PLACEHOLDER = re.compile(rb"%SHA256:([^%\s]+)%")
FAULT_KINDS = ("status", "redirect", "head_no_length", "ignore_range", "range_from_zero", "reset",
               "stall", "slow", "huge_length")
DEFAULT_HUGE_LENGTH = 100 << 30     # bytes a "huge_length" answer announces
ERROR_FILL = b"E"                   # the byte of an error body sized like the requested range
DEFAULT_SLOW_RATE = 4096            # bytes per second
SLOW_TICK = 0.05                    # seconds between chunks of a slow answer
RESET_DRAIN_LIMIT = 2.0             # seconds to wait for sent bytes to be acknowledged

_UNSET = object()                   # no configuration override: serve the --config file


class BadRequest(Exception):
    """The request cannot be served as sent; answered with 400."""


class Unsatisfiable(Exception):
    """A byte range that starts past the end of the file; answered with 416."""


# --------------------------------------------------------------------------------------------
# Pure helpers (no server state)


def pattern_bytes(start, length):
    """Bytes [start, start+length) of the generated media pattern (byte i = i % 251)."""
    block = bytes(range(PATTERN_MODULUS))
    offset = start % PATTERN_MODULUS
    repeats = (offset + length) // PATTERN_MODULUS + 1
    return (block * repeats)[offset:offset + length]


def split_target(target):
    """Splits a request target into (service path, query).

    The query is the raw text after the first "?" ("" when there is none). A target in
    absolute form ("http://host/path", as sent to a proxy) loses its scheme and authority.
    Then an optional first path segment that contains a dot (a host name such as
    "installer.orvex.example") is removed.
    """
    path, _, query = target.partition("?")
    path = path.partition("#")[0]
    match = re.match(r"(?i)^[a-z][a-z0-9+.-]*://[^/]*", path)
    if match:
        path = path[match.end():]
    if not path.startswith("/"):
        path = "/" + path
    first, slash, rest = path[1:].partition("/")
    if "." in first and first not in (".", ".."):
        path = "/" + rest
    return path, query


def parse_range(value, size):
    """Returns (first, last) inclusive for a single "bytes=" range over a file of size bytes.

    Raises BadRequest for a malformed or multiple range, Unsatisfiable for one that starts
    past the end of the file.
    """
    text = value.strip()
    if text[:6].lower() != "bytes=":
        raise BadRequest("Range must use bytes=")
    ranges = text[6:].strip()
    if "," in ranges:
        raise BadRequest("only a single byte range is supported")
    match = re.fullmatch(r"(\d*)[ \t]*-[ \t]*(\d*)", ranges)
    if not match or (match.group(1) == "" and match.group(2) == ""):
        raise BadRequest("malformed Range: %s" % value)
    if match.group(1) == "":
        suffix = int(match.group(2))
        if suffix == 0 or size == 0:
            raise Unsatisfiable()
        return max(0, size - suffix), size - 1
    first = int(match.group(1))
    last = int(match.group(2)) if match.group(2) else None
    if last is not None and last < first:
        raise BadRequest("malformed Range: %s" % value)
    if first >= size:
        raise Unsatisfiable()
    if last is None or last >= size:
        last = size - 1
    return first, last


def range_start_of(value):
    """The first byte position written in a Range header, or None."""
    if value is None:
        return None
    match = re.match(r"(?i)^\s*bytes=\s*(\d+)\s*-", value)
    return int(match.group(1)) if match else None


def decode_part_content(data):
    try:
        return "text", data.decode("utf-8")
    except UnicodeDecodeError:
        return "base64", base64.b64encode(data).decode("ascii")


def parse_multipart(content_type, body):
    """Parses a multipart/form-data body into a list of part descriptions, or None."""
    header = email.message.Message()
    header["Content-Type"] = content_type
    if header.get_content_maintype() != "multipart":
        return None
    boundary = header.get_param("boundary")
    if not boundary or not isinstance(boundary, str):
        return None
    delimiter = b"--" + boundary.encode("latin-1")
    chunks = body.split(delimiter)
    parts = []
    # chunks[0] is the preamble; a chunk starting with "--" is the closing delimiter.
    for chunk in chunks[1:]:
        if chunk.startswith(b"--"):
            break
        if chunk.startswith(b"\r\n"):
            chunk = chunk[2:]
        elif chunk.startswith(b"\n"):
            chunk = chunk[1:]
        head, sep, content = chunk.partition(b"\r\n\r\n")
        if not sep:
            head, sep, content = chunk.partition(b"\n\n")
            if not sep:
                continue
            if content.endswith(b"\n"):
                content = content[:-1]
        elif content.endswith(b"\r\n"):
            content = content[:-2]
        headers = email.message.Message()
        for line in head.decode("latin-1").splitlines():
            name, colon, value = line.partition(":")
            if colon:
                headers[name.strip()] = value.strip()
        disposition = headers.get("Content-Disposition")
        name = filename = None
        if disposition is not None:
            name = headers.get_param("name", header="content-disposition")
            filename = headers.get_param("filename", header="content-disposition")
            name = email.utils.collapse_rfc2231_value(name) if name is not None else None
            filename = (email.utils.collapse_rfc2231_value(filename)
                        if filename is not None else None)
        kind, text = decode_part_content(content)
        part = {
            "name": name,
            "filename": filename,
            "content_type": headers.get("Content-Type"),
            "size": len(content),
            kind: text,
        }
        parts.append(part)
    return parts


def parse_form(body_text):
    """Decodes an application/x-www-form-urlencoded body (UTF-8, invalid bytes replaced)."""
    form = {}
    for name, value in urllib.parse.parse_qsl(body_text, keep_blank_values=True,
                                              encoding="utf-8", errors="replace"):
        form[name] = value
    return form


def validate_fault(rule):
    """Checks a fault rule and returns a normalised copy; raises BadRequest."""
    if not isinstance(rule, dict):
        raise BadRequest("a fault rule is a JSON object")

    def integer(key, minimum, default=None):
        value = rule.get(key, default)
        if value is None:
            return None
        if isinstance(value, bool) or not isinstance(value, int) or value < minimum:
            raise BadRequest("%s must be an integer >= %d" % (key, minimum))
        return value

    def number(key, minimum, default):
        value = rule.get(key, default)
        if isinstance(value, bool) or not isinstance(value, (int, float)) or value < minimum:
            raise BadRequest("%s must be a number >= %s" % (key, minimum))
        return float(value)

    path = rule.get("path")
    if not isinstance(path, str) or not path:
        raise BadRequest("a fault rule needs a \"path\"")
    kind = rule.get("kind")
    if kind not in FAULT_KINDS:
        raise BadRequest("\"kind\" must be one of " + ", ".join(FAULT_KINDS))
    method = rule.get("method")
    if method is not None and (not isinstance(method, str) or not method):
        raise BadRequest("\"method\" must be a method name")
    fault = {
        "path": split_target(path)[0],
        "method": method.upper() if method else None,
        "kind": kind,
        "times": integer("times", 0),
        "range_start": integer("range_start", 0),
    }
    if kind == "status":
        fault["status"] = integer("status", 200, 500)
        if fault["status"] > 599:
            raise BadRequest("status must be 200..599")
        body = rule.get("body", "")
        if not isinstance(body, str):
            raise BadRequest("body must be a text")
        fault["body"] = body
        range_sized = rule.get("range_sized_body", False)
        if not isinstance(range_sized, bool):
            raise BadRequest("range_sized_body must be true or false")
        fault["range_sized_body"] = range_sized
    elif kind == "redirect":
        location = rule.get("location", "/")
        if not isinstance(location, str) or "\r" in location or "\n" in location:
            raise BadRequest("location must be a one-line text")
        fault["location"] = location
    elif kind == "reset":
        fault["after_bytes"] = integer("after_bytes", 0)
    elif kind == "stall":
        fault["after_bytes"] = integer("after_bytes", 0, 0)
        fault["seconds"] = number("seconds", 0, 30)
    elif kind == "slow":
        fault["rate"] = number("rate", 1, DEFAULT_SLOW_RATE)
    elif kind == "huge_length":
        fault["length"] = integer("length", 0, DEFAULT_HUGE_LENGTH)
    return fault


def safe_media_path(root, relative):
    """The file path for a media name below root, or None when the name leaves root."""
    if not relative or "\0" in relative or relative.startswith("/"):
        return None
    segments = relative.split("/")
    if any(segment in ("", ".", "..") for segment in segments):
        return None
    return os.path.join(root, *segments)


def inside(root, path):
    real_root = os.path.realpath(root)
    real = os.path.realpath(path)
    return real == real_root or real.startswith(real_root + os.sep)


# --------------------------------------------------------------------------------------------
# Shared state


class ServiceState:
    def __init__(self, media_dir, config_file, driver_url, quiet):
        self.lock = threading.Lock()
        self.records = []
        self.faults = []
        self.config_override = _UNSET
        self.media_dir = media_dir
        self.config_file = config_file
        self.driver_url = driver_url
        self.quiet = quiet
        self.stop_event = threading.Event()
        self.digests = {}  # media path -> SHA-256 pinned when first needed

    def pin_digests(self):
        """Pins the SHA-256 of every media file there now: as published. A file changed
        later (a tampered package) keeps the digest it was published with."""
        for folder, _, names in os.walk(self.media_dir):
            for name in names:
                relative = os.path.relpath(os.path.join(folder, name), self.media_dir)
                if not name.startswith(".upload-"):
                    self.digest(relative.replace(os.sep, "/"))

    def digest(self, relative):
        """The pinned SHA-256 of a media file (hex), pinned now if it is not yet; None when
        there is no such file."""
        with self.lock:
            if relative in self.digests:
                return self.digests[relative]
        target = safe_media_path(self.media_dir, relative)
        if target is None or not inside(self.media_dir, target) or not os.path.isfile(target):
            return None
        hasher = hashlib.sha256()
        with open(target, "rb") as handle:
            for piece in iter(lambda: handle.read(1 << 20), b""):
                hasher.update(piece)
        with self.lock:
            return self.digests.setdefault(relative, hasher.hexdigest())

    def with_digests(self, config):
        """The configuration with every "%SHA256:<media path>%" replaced by that file's pinned
        digest, or by "" for a file the service does not have (no digest to check: its
        download fails with 404 anyway, as it would without one)."""
        def replace(match):
            found = self.digest(match.group(1).decode("utf-8", "replace"))
            return found.encode("ascii") if found else b""
        return SHA256_PLACEHOLDER.sub(replace, config)

    def record(self, entry):
        with self.lock:
            self.records.append(entry)

    def requests(self, path=None, method=None):
        with self.lock:
            records = list(self.records)
        if path is not None:
            unquoted = urllib.parse.unquote(path)
            records = [r for r in records
                       if r["path"] == path or urllib.parse.unquote(r["path"]) == unquoted]
        if method is not None:
            records = [r for r in records if r["method"] == method.upper()]
        return records

    def reset(self):
        with self.lock:
            self.records.clear()
            self.faults.clear()
            self.config_override = _UNSET
            self.digests.clear()

    def add_fault(self, fault):
        with self.lock:
            self.faults.append(fault)

    def list_faults(self):
        with self.lock:
            return [dict(f) for f in self.faults]

    def take_fault(self, method, path, range_header):
        """The first live rule matching the request; uses up one of its times."""
        start = range_start_of(range_header)
        with self.lock:
            for fault in self.faults:
                if fault["times"] == 0 or fault["path"] != path:
                    continue
                if fault["method"] is not None and fault["method"] != method:
                    continue
                if fault["range_start"] is not None and (
                        method != "GET" or start != fault["range_start"]):
                    continue
                if fault["kind"] in ("ignore_range", "range_from_zero") and method != "GET":
                    continue
                if fault["times"] is not None:
                    fault["times"] -= 1
                return dict(fault)
        return None

    def set_config(self, data):
        with self.lock:
            self.config_override = data if data else None

    def config(self):
        """The configuration bytes to serve, or None."""
        with self.lock:
            override = self.config_override
        if override is not _UNSET:
            return override
        if not self.config_file:
            return None
        try:
            with open(self.config_file, "rb") as handle:
                return handle.read()
        except OSError:
            return None


# --------------------------------------------------------------------------------------------
# Answers


class Body:
    """What an answer carries: bytes in memory or a span of an open file."""

    def __init__(self, data=b"", handle=None, offset=0, length=None):
        self.data = data
        self.handle = handle
        self.offset = offset
        self.length = len(data) if handle is None else length

    def chunks(self, limit=None, chunk_size=COPY_CHUNK):
        remaining = self.length if limit is None else min(limit, self.length)
        position = 0
        while remaining > 0:
            size = min(chunk_size, remaining)
            if self.handle is None:
                piece = self.data[position:position + size]
            else:
                piece = os.pread(self.handle.fileno(), size, self.offset + position)
                if not piece:
                    return  # the file shrank under us
            position += len(piece)
            remaining -= len(piece)
            yield piece

    def close(self):
        if self.handle is not None:
            self.handle.close()
            self.handle = None


class Answer:
    def __init__(self, status, body=b"", content_type="text/plain; charset=utf-8",
                 headers=None):
        self.status = status
        self.body = body if isinstance(body, Body) else Body(body)
        self.headers = [("Content-Type", content_type)] if content_type else []
        self.headers.extend(headers or [])


def text_answer(status, text):
    return Answer(status, (text + "\n").encode("utf-8"))


def json_answer(status, value):
    return Answer(status, json.dumps(value).encode("utf-8"), "application/json")


def page(title, query):
    pairs = urllib.parse.parse_qsl(query, keep_blank_values=True)
    items = "".join("<li><code>%s</code> = <code>%s</code></li>"
                    % (html.escape(name), html.escape(value)) for name, value in pairs)
    text = ("<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Orvex: %s</title>"
            "</head><body><h1>%s</h1><p>Query: <code>%s</code></p><ul>%s</ul></body></html>\n"
            % (html.escape(title), html.escape(title), html.escape(query), items))
    return Answer(200, text.encode("utf-8"), "text/html; charset=utf-8")


# --------------------------------------------------------------------------------------------
# The request handler


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "OrvexDevService/1.0"
    # Answers to unparsable request lines still carry a status line and headers.
    default_request_version = "HTTP/1.0"
    disable_nagle_algorithm = True
    timeout = 300  # an idle keep-alive connection is dropped after this many seconds

    def version_string(self):
        return self.server_version

    @property
    def state(self):
        return self.server.state

    def log_message(self, format, *args):  # noqa: A002 - name fixed by the base class
        if not self.state.quiet:
            sys.stderr.write("devservice: %s %s\n" % (self.address_string(), format % args))

    # Every method goes through one entry point.
    def do_GET(self):
        self.handle_request()

    do_HEAD = do_POST = do_PUT = do_DELETE = do_PATCH = do_OPTIONS = do_GET

    def handle_request(self):
        self.headers_done = False
        self.body_sent = 0  # body bytes of this answer written to the socket
        self.entry = {}  # the record of the request being answered
        self.after_answer = None  # called once the answer was sent (used by /_dev/stop)
        try:
            self.serve()
        except (ConnectionError, TimeoutError, socket.timeout):
            self.close_connection = True
        except Exception:  # never let one request take the service down
            traceback.print_exc(file=sys.stderr)
            self.close_connection = True
            if not self.headers_done:
                try:
                    self.send_answer(text_answer(500, "internal error"))
                except OSError:
                    pass

    # -- request side --------------------------------------------------------------------

    def read_body(self):
        encoding = self.headers.get("Transfer-Encoding", "")
        if "chunked" in encoding.lower():
            return self.read_chunked()
        length = self.headers.get("Content-Length")
        if length is None:
            return b""
        if not length.strip().isdigit():
            raise BadRequest("bad Content-Length")
        length = int(length)
        if length > MAX_REQUEST_BODY:
            raise BadRequest("request body too large")
        data = self.rfile.read(length)
        if len(data) != length:
            raise ConnectionError("request body cut short")
        return data

    def read_chunked(self):
        data = bytearray()
        while True:
            line = self.rfile.readline(1024)
            if not line:
                raise ConnectionError("chunked body cut short")
            size_text = line.split(b";", 1)[0].strip()
            try:
                size = int(size_text, 16)
            except ValueError:
                raise BadRequest("bad chunk size")
            if size == 0:
                while self.rfile.readline(1024) not in (b"\r\n", b"\n", b""):
                    pass  # trailers
                return bytes(data)
            if len(data) + size > MAX_REQUEST_BODY:
                raise BadRequest("request body too large")
            chunk = self.rfile.read(size)
            if len(chunk) != size:
                raise ConnectionError("chunked body cut short")
            data += chunk
            self.rfile.readline(1024)

    def header_object(self):
        joined = {}
        names = {}
        for name, value in self.headers.items():
            key = name.lower()
            if key in names:
                joined[names[key]] += ", " + value
            else:
                names[key] = name
                joined[name] = value
        return joined

    def serve(self):
        method = self.command
        try:
            body = self.read_body()
        except BadRequest as error:
            self.close_connection = True
            self.send_answer(text_answer(400, str(error)))
            return
        path, query = split_target(self.path)
        if path == "/_dev" or path.startswith("/_dev/"):
            self.send_answer(self.control(method, path, query, body))
            return

        entry = {
            "method": method,
            "path": path,
            "raw_path": self.path,
            "query": query,
            "headers": self.header_object(),
            "body": body.decode("latin-1"),
        }
        content_type = self.headers.get("Content-Type", "")
        if content_type:
            parts = parse_multipart(content_type, body)
            if parts is not None:
                entry["parts"] = parts
            elif content_type.split(";")[0].strip().lower() == \
                    "application/x-www-form-urlencoded":
                entry["form"] = parse_form(entry["body"])
        self.state.record(entry)
        self.body_sent = 0
        self.entry = entry

        range_header = self.headers.get("Range")
        fault = self.state.take_fault(method, path, range_header)
        if fault and fault["kind"] == "status":
            self.send_answer(Answer(fault["status"], self.error_body(fault, path, range_header),
                                    None))
            return
        if fault and fault["kind"] == "redirect":
            self.send_answer(Answer(302, b"", None, [("Location", fault["location"])]))
            return
        ignore_range = bool(fault and fault["kind"] == "ignore_range")
        if fault and fault["kind"] == "range_from_zero" and range_header is not None:
            range_header = self.range_from_zero(path, range_header)
        answer = self.route(method, path, query, body, None if ignore_range else range_header)
        try:
            self.deliver(answer, fault)
        finally:
            answer.body.close()
            entry["sent"] = self.body_sent

    def media_size(self, path):
        """The size of the media file behind a service path, or None."""
        if not path.startswith("/media/"):
            return None
        target = safe_media_path(self.state.media_dir, urllib.parse.unquote(path[7:]))
        if target is None or not inside(self.state.media_dir, target) or \
                not os.path.isfile(target):
            return None
        return os.path.getsize(target)

    def error_body(self, fault, path, range_header):
        """The body of a "status" fault: its text, or filler as long as the asked range."""
        if not fault["range_sized_body"]:
            return fault["body"].encode("utf-8")
        size = self.media_size(path)
        if size is None:
            return fault["body"].encode("utf-8")
        try:
            first, last = parse_range(range_header, size) if range_header else (0, size - 1)
        except (BadRequest, Unsatisfiable):
            return fault["body"].encode("utf-8")
        return ERROR_FILL * (last - first + 1)

    def range_from_zero(self, path, range_header):
        """The Range of a "range_from_zero" fault: as long as the one asked, from byte 0."""
        size = self.media_size(path)
        if size is None:
            return range_header
        try:
            first, last = parse_range(range_header, size)
        except (BadRequest, Unsatisfiable):
            return range_header
        return "bytes=0-%d" % (last - first)

    # -- service endpoints -----------------------------------------------------------------

    def route(self, method, path, query, body, range_header):
        def allow(*methods):
            return method in methods

        if path == "/index/getinstallconfig":
            if not allow("GET", "POST", "HEAD"):
                return self.not_allowed("GET, POST, HEAD")
            config = self.state.config()
            if config is None:
                return text_answer(404, "no installation configuration")
            return Answer(200, self.state.with_digests(config))
        if path == "/index/driverupdate":
            if not allow("GET", "POST", "HEAD"):
                return self.not_allowed("GET, POST, HEAD")
            return Answer(200, self.state.driver_url.encode("utf-8"))
        if path in ("/installer/install", "/collect") or \
                path.startswith("/upload/crashreport/installer/"):
            if not allow("GET", "POST", "HEAD"):
                return self.not_allowed("GET, POST, HEAD")
            return Answer(200, b"OK")
        if path in ("/nextsteps", "/index/knowledgebase"):
            if not allow("GET", "HEAD"):
                return self.not_allowed("GET, HEAD")
            return page("next steps" if path == "/nextsteps" else "knowledge base", query)
        if path.startswith("/media/"):
            if not allow("GET", "HEAD"):
                return self.not_allowed("GET, HEAD")
            return self.media(path[len("/media/"):], range_header)
        return text_answer(404, "not found")

    @staticmethod
    def not_allowed(methods):
        answer = text_answer(405, "method not allowed")
        answer.headers.append(("Allow", methods))
        return answer

    def media(self, name, range_header):
        relative = urllib.parse.unquote(name)
        target = safe_media_path(self.state.media_dir, relative)
        if target is None or not inside(self.state.media_dir, target):
            return text_answer(404, "not found")
        try:
            handle = open(target, "rb")
        except OSError:
            return text_answer(404, "not found")
        try:
            info = os.fstat(handle.fileno())
            if not stat.S_ISREG(info.st_mode):
                handle.close()
                return text_answer(404, "not found")
            size = info.st_size
            etag = '"%x-%x"' % (info.st_mtime_ns, size)
            headers = [("Accept-Ranges", "bytes"), ("ETag", etag),
                       ("Last-Modified", email.utils.formatdate(info.st_mtime, usegmt=True))]
            # If-Range: the range only while the file is still the one the client names.
            if_range = self.headers.get("If-Range")
            if if_range is not None and if_range.strip() != etag:
                range_header = None
            if range_header is None:
                return Answer(200, Body(handle=handle, offset=0, length=size),
                              "application/octet-stream", headers)
            try:
                first, last = parse_range(range_header, size)
            except Unsatisfiable:
                handle.close()
                return Answer(416, b"", None, headers + [("Content-Range", "bytes */%d" % size)])
            except BadRequest as error:
                handle.close()
                return text_answer(400, str(error))
            headers.append(("Content-Range", "bytes %d-%d/%d" % (first, last, size)))
            return Answer(206, Body(handle=handle, offset=first, length=last - first + 1),
                          "application/octet-stream", headers)
        except BaseException:
            handle.close()
            raise

    # -- control plane ---------------------------------------------------------------------

    def control(self, method, path, query, body):
        params = urllib.parse.parse_qs(query, keep_blank_values=True)

        def param(name):
            values = params.get(name)
            return values[0] if values else None

        if path == "/_dev/requests":
            if method not in ("GET", "HEAD"):
                return self.not_allowed("GET, HEAD")
            return json_answer(200, self.state.requests(param("path"), param("method")))
        if path == "/_dev/connections":
            if method not in ("GET", "HEAD"):
                return self.not_allowed("GET, HEAD")
            return json_answer(200, {"connections": self.server.connections()})
        if path == "/_dev/faults":
            if method not in ("GET", "HEAD"):
                return self.not_allowed("GET, HEAD")
            return json_answer(200, self.state.list_faults())
        if method != "POST":
            if path in ("/_dev/reset", "/_dev/config", "/_dev/fault", "/_dev/stop",
                        "/_dev/tls") or \
                    path.startswith("/_dev/media/"):
                return self.not_allowed("POST")
            return json_answer(404, {"error": "unknown control path"})
        if path == "/_dev/reset":
            self.state.reset()
            return json_answer(200, {"reset": True})
        if path == "/_dev/config":
            self.state.set_config(body)
            return json_answer(200, {"size": len(body)})
        if path == "/_dev/fault":
            try:
                rule = json.loads(body.decode("utf-8"))
                fault = validate_fault(rule)
            except (ValueError, BadRequest) as error:
                return json_answer(400, {"error": str(error)})
            self.state.add_fault(fault)
            return json_answer(200, fault)
        if path.startswith("/_dev/media/"):
            return self.store_media(path[len("/_dev/media/"):], param("size"), body)
        if path == "/_dev/tls":
            return self.change_certificate(body)
        if path == "/_dev/stop":
            self.close_connection = True
            self.after_answer = self.state.stop_event.set
            return json_answer(200, {"stopping": True})
        return json_answer(404, {"error": "unknown control path"})

    def change_certificate(self, body):
        """Later connections present another certificate: {"cert": PEM file, "key": PEM file}."""
        if self.server.tls is None:
            return json_answer(409, {"error": "not serving TLS"})
        try:
            files = json.loads(body.decode("utf-8"))
            self.server.tls.load_cert_chain(files["cert"], files["key"])
        except (ValueError, KeyError, TypeError, OSError, ssl.SSLError) as error:
            return json_answer(400, {"error": str(error)})
        return json_answer(200, {"cert": files["cert"]})

    def store_media(self, name, size_text, body):
        relative = urllib.parse.unquote(name)
        target = safe_media_path(self.state.media_dir, relative)
        if target is None:
            return json_answer(400, {"error": "bad media name"})
        if size_text is not None:
            if body:
                return json_answer(400, {"error": "give either ?size=N or a body"})
            if not size_text.isdigit() or int(size_text) > MAX_GENERATED_MEDIA:
                return json_answer(400, {"error": "size must be 0..%d" % MAX_GENERATED_MEDIA})
            size = int(size_text)
        else:
            size = len(body)
        folder = os.path.dirname(target)
        try:
            os.makedirs(folder, exist_ok=True)
            if not inside(self.state.media_dir, folder) or \
                    (os.path.lexists(target) and not inside(self.state.media_dir, target)):
                return json_answer(400, {"error": "media name leaves the media folder"})
            fd, temporary = tempfile.mkstemp(dir=folder, prefix=".upload-")
            try:
                with os.fdopen(fd, "wb") as out:
                    if size_text is None:
                        out.write(body)
                    else:
                        step = PATTERN_MODULUS * 4096
                        for start in range(0, size, step):
                            out.write(pattern_bytes(start, min(step, size - start)))
                os.replace(temporary, target)
                # Published with its first upload; a later one stands for tampering.
                self.state.digest(relative)
            except BaseException:
                if os.path.exists(temporary):
                    os.unlink(temporary)
                raise
        except OSError as error:
            return json_answer(400, {"error": "cannot store media: %s" % error})
        return json_answer(200, {"size": size})

    # -- response side ---------------------------------------------------------------------

    def send_head(self, answer, with_length=True):
        self.send_response(answer.status)
        for name, value in answer.headers:
            self.send_header(name, value)
        if with_length:
            self.send_header("Content-Length", str(answer.body.length))
        else:
            self.send_header("Connection", "close")
        self.end_headers()
        self.headers_done = True

    def send_answer(self, answer):
        """A complete, ordinary answer (headers, and the body unless HEAD)."""
        try:
            self.send_head(answer)
            if self.command != "HEAD":
                self.send_body(answer.body)
        finally:
            answer.body.close()
            action, self.after_answer = self.after_answer, None
            if action is not None:
                action()

    def send_body(self, body, limit=None):
        if body.handle is not None and limit is None:
            sent = self.connection.sendfile(body.handle, body.offset, body.length)
            self.body_sent += sent
            if sent != body.length:
                raise ConnectionError("file shrank while it was sent")
            return
        for piece in body.chunks(limit):
            self.wfile.write(piece)
            self.body_sent += len(piece)

    def deliver(self, answer, fault):
        kind = fault["kind"] if fault else None
        head_only = self.command == "HEAD"
        if kind == "head_no_length":
            self.close_connection = True
            self.send_head(answer, with_length=False)
            if not head_only:
                self.send_body(answer.body)
            return
        if kind == "reset":
            self.send_head(answer)
            if not head_only:
                after = fault["after_bytes"]
                if after is None:
                    after = answer.body.length // 2
                self.send_body(answer.body, min(after, answer.body.length))
            self.reset_connection()
            return
        if kind == "stall":
            self.close_connection = True
            self.send_head(answer)
            if not head_only:
                self.send_body(answer.body, min(fault["after_bytes"], answer.body.length))
            self.state.stop_event.wait(fault["seconds"])
            return
        if kind == "huge_length":
            self.send_huge(answer, fault["length"], head_only)
            return
        if kind == "slow":
            self.send_head(answer)
            if head_only:
                return
            rate = fault["rate"]
            piece_size = max(1, int(rate * SLOW_TICK))
            for piece in answer.body.chunks(chunk_size=piece_size):
                self.wfile.write(piece)
                self.body_sent += len(piece)
                # Seen while it goes on: a scenario stops the client at a share of a file.
                self.entry["sent"] = self.body_sent
                if self.state.stop_event.wait(len(piece) / rate):
                    self.close_connection = True
                    return
            return
        self.send_answer(answer)

    def send_huge(self, answer, length, head_only):
        """Announces length bytes and sends the answer's body followed by blanks up to length,
        or until the client hangs up."""
        self.close_connection = True
        self.send_response(answer.status)
        for name, value in answer.headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(length))
        self.end_headers()
        self.headers_done = True
        if head_only:
            return
        sent = 0
        try:
            for piece in answer.body.chunks(limit=length):
                self.wfile.write(piece)
                sent += len(piece)
            filler = b" " * COPY_CHUNK
            while sent < length and not self.state.stop_event.is_set():
                piece = filler[:min(len(filler), length - sent)]
                self.wfile.write(piece)
                sent += len(piece)
        except (BrokenPipeError, ConnectionError):
            pass

    def reset_connection(self):
        """Ends the connection with a TCP reset instead of an orderly close."""
        self.close_connection = True
        sock = self.connection
        # A reset throws away whatever the peer has not acknowledged yet: let it drain first.
        if fcntl is not None and _TIOCOUTQ is not None:
            deadline = time.monotonic() + RESET_DRAIN_LIMIT
            while time.monotonic() < deadline:
                try:
                    pending = struct.unpack(
                        "i", fcntl.ioctl(sock.fileno(), _TIOCOUTQ, struct.pack("i", 0)))[0]
                except OSError:
                    break
                if pending <= 0:
                    break
                time.sleep(0.005)
        sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        # The buffered reader holds a reference to the socket; the descriptor is only really
        # closed (and the reset only sent) when both are closed. No shutdown() before: that
        # would send an orderly FIN first.
        self.rfile.close()
        sock.close()


# --------------------------------------------------------------------------------------------
# The server


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 128

    def __init__(self, address, state, family, tls=None):
        self.address_family = family
        self.state = state
        self.tls = tls  # an ssl.SSLContext: every connection is TLS
        self.accepted = 0
        self.accepted_lock = threading.Lock()
        super().__init__(address, Handler)

    def connections(self):
        """Connections accepted so far, whether or not their TLS handshake succeeded."""
        with self.accepted_lock:
            return self.accepted

    def get_request(self):
        sock, address = super().get_request()
        with self.accepted_lock:
            self.accepted += 1
        if self.tls is not None:
            # The handshake runs on the connection's own thread (finish_request), so a client
            # that never speaks cannot hold the accepting loop.
            sock = self.tls.wrap_socket(sock, server_side=True, do_handshake_on_connect=False)
        return sock, address

    def finish_request(self, request, client_address):
        if self.tls is not None:
            try:
                request.settimeout(30)
                request.do_handshake()
                request.settimeout(None)
            except (ssl.SSLError, OSError):
                return  # a client that refused our certificate, or went away
        super().finish_request(request, client_address)

    def handle_error(self, request, client_address):
        # Clients that drop their connection (a cancelled download, a test binary that ends)
        # are part of normal operation, not errors worth a traceback.
        if isinstance(sys.exc_info()[1], (ConnectionError, TimeoutError)):
            return
        super().handle_error(request, client_address)


def loopback_host(text):
    """The address to bind for a --host value, or None when it is not a loopback address."""
    if text.lower() == "localhost":
        return "127.0.0.1"
    try:
        address = ipaddress.ip_address(text.strip("[]"))
    except ValueError:
        return None
    return str(address) if address.is_loopback else None


def write_port_file(path, port):
    folder = os.path.dirname(os.path.abspath(path))
    fd, temporary = tempfile.mkstemp(dir=folder, prefix=".devservice-port-")
    try:
        with os.fdopen(fd, "w") as out:
            out.write("%d\n" % port)
        os.replace(temporary, path)
    except BaseException:
        if os.path.exists(temporary):
            os.unlink(temporary)
        raise


def parse_arguments(argv):
    parser = argparse.ArgumentParser(
        prog="devservice.py",
        description="Local stand-in for the Orvex product web service, with fault injection.")
    parser.add_argument("--host", default="127.0.0.1",
                        help="loopback address to bind (default 127.0.0.1)")
    parser.add_argument("--port", type=int, default=0,
                        help="port to bind; 0 (default) picks a free one")
    parser.add_argument("--port-file", help="write the bound port here when ready")
    parser.add_argument("--config", help="configuration file served at /index/getinstallconfig"
                                         " (re-read on every request)")
    parser.add_argument("--media", help="folder served under /media/ (default: a temporary"
                                        " folder removed at exit)")
    parser.add_argument("--driver-url", help="answer of /index/driverupdate (default: this"
                                             " service's /dl.orvex.example/media/gpudriver.zip)")
    parser.add_argument("--quiet", action="store_true", help="do not log requests")
    parser.add_argument("--tls-cert", help="serve https with this PEM certificate (chain)")
    parser.add_argument("--tls-key", help="the PEM private key of --tls-cert")
    return parser.parse_args(argv)


def tls_context(cert, key):
    """The server's TLS context for --tls-cert/--tls-key, None for plain http."""
    if not cert:
        return None
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context


def main(argv=None):
    args = parse_arguments(argv)
    host = loopback_host(args.host)
    if host is None:
        sys.stderr.write("devservice: refusing to bind %s: only loopback addresses\n" % args.host)
        return 2
    if not 0 <= args.port <= 65535:
        sys.stderr.write("devservice: bad port %d\n" % args.port)
        return 2
    family = socket.AF_INET6 if ":" in host else socket.AF_INET
    if bool(args.tls_cert) != bool(args.tls_key):
        sys.stderr.write("devservice: --tls-cert and --tls-key go together\n")
        return 2
    try:
        tls = tls_context(args.tls_cert, args.tls_key)
    except (OSError, ssl.SSLError) as error:
        sys.stderr.write("devservice: cannot use the TLS certificate: %s\n" % error)
        return 2

    own_media = args.media is None
    if own_media:
        media_dir = tempfile.mkdtemp(prefix="orvex-devservice-media-")
    else:
        media_dir = os.path.abspath(args.media)
        os.makedirs(media_dir, exist_ok=True)

    try:
        state = ServiceState(media_dir, args.config and os.path.abspath(args.config), "",
                             args.quiet)
        state.pin_digests()
        try:
            server = Server((host, args.port), state, family, tls)
        except OSError as error:
            sys.stderr.write("devservice: cannot listen on %s:%d: %s\n"
                             % (host, args.port, error))
            return 1
        port = server.server_address[1]
        url_host = "[%s]" % host if family == socket.AF_INET6 else host
        base = "%s://%s:%d" % ("https" if tls else "http", url_host, port)
        state.driver_url = args.driver_url or base + "/dl.orvex.example/media/gpudriver.zip"

        def request_stop(signum, frame):
            state.stop_event.set()

        signal.signal(signal.SIGTERM, request_stop)
        signal.signal(signal.SIGINT, request_stop)

        thread = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1},
                                  name="devservice", daemon=True)
        thread.start()
        try:
            if args.port_file:
                write_port_file(args.port_file, port)
            sys.stdout.write("devservice listening on %s\n" % base)
            sys.stdout.flush()
            while not state.stop_event.wait(0.5):
                pass
        finally:
            state.stop_event.set()  # wakes stalled and slow answers
            server.shutdown()
            server.server_close()
            thread.join(5)
        return 0
    finally:
        if own_media:
            shutil.rmtree(media_dir, ignore_errors=True)


if __name__ == "__main__":
    sys.exit(main())
