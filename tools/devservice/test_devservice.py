"""Tests of the development web service, run against the real script in a subprocess.

    python3 -m unittest discover -s tools/devservice -p 'test_*.py'
"""

import base64
import http.client
import json
import os
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
SCRIPT = os.path.join(HERE, "devservice.py")
WAIT = 15  # seconds; only a bound against hangs, never a measured expectation


def pattern(size):
    return bytes(i % 251 for i in range(size))


class Service:
    """One devservice process on a free port of 127.0.0.1."""

    def __init__(self, *extra):
        self.folder = tempfile.mkdtemp(prefix="devservice-test-")
        self.port_file = os.path.join(self.folder, "port")
        # The service's own temporary files go to a folder of this test.
        self.temp = os.path.join(self.folder, "tmp")
        os.mkdir(self.temp)
        self.process = subprocess.Popen(
            [sys.executable, SCRIPT, "--port", "0", "--port-file", self.port_file, "--quiet",
             *extra],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
            env=dict(os.environ, TMPDIR=self.temp))
        # The port file is written before the line is printed; the line arrives or the
        # process ended (readline gives "").
        self.line = self.process.stdout.readline()
        if not os.path.exists(self.port_file):
            self.process.kill()
            raise RuntimeError("devservice did not start: " + self.process.stderr.read())
        with open(self.port_file) as handle:
            self.port_text = handle.read()
        self.port = int(self.port_text)
        self.base = "http://127.0.0.1:%d" % self.port

    def connection(self):
        return http.client.HTTPConnection("127.0.0.1", self.port, timeout=WAIT)

    def request(self, method, path, body=None, headers=None):
        connection = self.connection()
        try:
            connection.request(method, path, body=body, headers=headers or {})
            response = connection.getresponse()
            return response.status, response.headers, response.read()
        finally:
            connection.close()

    def control(self, method, path, body=b""):
        status, _, data = self.request(method, path, body)
        return status, json.loads(data.decode("utf-8"))

    def requests(self, path=None):
        status, records = self.control("GET", "/_dev/requests" +
                                       ("?path=" + path if path else ""))
        assert status == 200
        return records

    def add_fault(self, rule):
        status, answer = self.control("POST", "/_dev/fault", json.dumps(rule).encode())
        assert status == 200, answer
        return answer

    def raw(self, request_text):
        """A socket that has sent request_text."""
        sock = socket.create_connection(("127.0.0.1", self.port), timeout=WAIT)
        sock.sendall(request_text.encode("latin-1"))
        return sock

    def finish(self, keep_folder=False):
        """Waits for the process to end and returns its exit status."""
        try:
            return self.process.wait(WAIT)
        finally:
            if self.process.poll() is None:
                self.process.kill()
                self.process.wait()
            self.process.stdout.close()
            self.process.stderr.close()
            if not keep_folder:
                self.remove()

    def remove(self):
        shutil.rmtree(self.folder, ignore_errors=True)


def read_head(sock):
    """Reads up to the end of the response headers; returns (status, headers, extra bytes)."""
    data = b""
    while b"\r\n\r\n" not in data:
        piece = sock.recv(4096)
        if not piece:
            raise AssertionError("connection closed inside the headers: %r" % data)
        data += piece
    head, _, rest = data.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    headers = {}
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers[name.strip().lower()] = value.strip()
    return int(lines[0].split()[1]), headers, rest


def get_text(path, extra=""):
    return "GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\n%s\r\n" % (path, extra)


class ServiceTest(unittest.TestCase):
    """One service for the whole class; every test starts from a reset."""

    @classmethod
    def setUpClass(cls):
        cls.folder = tempfile.mkdtemp(prefix="devservice-files-")
        cls.media = os.path.join(cls.folder, "media")
        os.mkdir(cls.media)
        cls.config_file = os.path.join(cls.folder, "config.json")
        cls.service = Service("--media", cls.media, "--config", cls.config_file)

    @classmethod
    def tearDownClass(cls):
        try:
            cls.service.request("POST", "/_dev/stop")
        finally:
            cls.service.finish()
            shutil.rmtree(cls.folder, ignore_errors=True)

    def setUp(self):
        self.assertEqual(self.service.control("POST", "/_dev/reset")[0], 200)
        status, answer = self.service.control("POST", "/_dev/media/x.bin?size=1005")
        self.assertEqual((status, answer), (200, {"size": 1005}))
        if os.path.exists(self.config_file):
            os.unlink(self.config_file)

    def test_media_answers_ranges_byte_exact_over_one_connection(self):
        whole = pattern(1005)
        with open(os.path.join(self.media, "x.bin"), "rb") as handle:
            self.assertEqual(handle.read(), whole)
        table = [
            # Range header, status, expected body, Content-Range
            (None, 200, whole, None),
            ("bytes=0-99", 206, whole[0:100], "bytes 0-99/1005"),
            ("bytes=800-899", 206, whole[800:900], "bytes 800-899/1005"),
            ("bytes=900-", 206, whole[900:], "bytes 900-1004/1005"),
            ("bytes=1000-5000", 206, whole[1000:], "bytes 1000-1004/1005"),
            ("bytes=-5", 206, whole[1000:], "bytes 1000-1004/1005"),
            ("bytes=1005-", 416, b"", "bytes */1005"),
            ("bytes=7-3", 400, None, None),
            ("bytes=0-1,5-6", 400, None, None),
            ("items=0-9", 400, None, None),
        ]
        connection = self.service.connection()
        connection.request("HEAD", "/dl.orvex.example/media/x.bin")
        response = connection.getresponse()
        self.assertEqual(response.read(), b"")
        self.assertEqual((response.status, response.getheader("Content-Length"),
                          response.getheader("Accept-Ranges")), (200, "1005", "bytes"))
        first_socket = connection.sock
        for range_header, status, body, content_range in table:
            with self.subTest(range=range_header):
                headers = {"Range": range_header} if range_header else {}
                connection.request("GET", "/dl.orvex.example/media/x.bin", headers=headers)
                response = connection.getresponse()
                data = response.read()
                self.assertEqual(response.status, status)
                self.assertEqual(int(response.getheader("Content-Length")), len(data))
                if body is not None:
                    self.assertEqual(data, body)
                    self.assertEqual(response.getheader("Content-Range"), content_range)
        self.assertIs(connection.sock, first_socket, "keep-alive connection was not reused")
        connection.close()
        self.assertEqual([r["method"] for r in self.service.requests("/media/x.bin")],
                         ["HEAD"] + ["GET"] * len(table))

    def test_validators_if_range_and_sent_bytes(self):
        status, headers, _ = self.service.request("HEAD", "/media/x.bin")
        etag = headers["ETag"]
        self.assertTrue(etag.startswith('"') and etag.endswith('"'))
        self.assertTrue(headers["Last-Modified"].endswith("GMT"))
        cases = [  # If-Range, status, body
            (etag, 206, pattern(1005)[100:200]),
            ('"other"', 200, pattern(1005)),
            (None, 206, pattern(1005)[100:200]),
        ]
        for if_range, expected_status, expected_body in cases:
            with self.subTest(if_range=if_range):
                extra = {"Range": "bytes=100-199"}
                if if_range:
                    extra["If-Range"] = if_range
                status, _, body = self.service.request("GET", "/media/x.bin", headers=extra)
                self.assertEqual((status, body), (expected_status, expected_body))
        sent = [r["sent"] for r in self.service.requests("/media/x.bin") if r["method"] == "GET"]
        self.assertEqual(sent, [100, 1005, 100])
        # Rewritten: another ETag, and the old one no longer gets the range.
        time.sleep(0.01)
        self.service.control("POST", "/_dev/media/x.bin?size=1005")
        _, headers, _ = self.service.request("HEAD", "/media/x.bin")
        self.assertNotEqual(headers["ETag"], etag)

    def test_configuration_gets_the_digests_pinned_at_first_upload(self):
        import hashlib
        first = hashlib.sha256(pattern(1005)).hexdigest()
        with open(self.config_file, "wb") as handle:
            handle.write(b'{"a": "%SHA256:x.bin%", "b": "%SHA256:none.bin%"}')
        # Stored again with other bytes (tampered): the published digest stays.
        self.service.control("POST", "/_dev/media/x.bin", b"tampered")
        status, _, body = self.service.request("GET", "/index/getinstallconfig")
        self.assertEqual(status, 200)
        self.assertEqual(json.loads(body), {"a": first, "b": ""})
        # After a reset the file is published anew.
        self.service.control("POST", "/_dev/reset")
        _, _, body = self.service.request("GET", "/index/getinstallconfig")
        self.assertEqual(json.loads(body)["a"], hashlib.sha256(b"tampered").hexdigest())

    def test_media_serves_only_files_inside_its_folder(self):
        status, answer = self.service.control("POST", "/_dev/media/sub/y.txt", b"why\x00\xff")
        self.assertEqual((status, answer), (200, {"size": 5}))
        os.symlink(SCRIPT, os.path.join(self.media, "out.py"))
        os.mkdir(os.path.join(self.media, "folder"))
        try:
            status, _, data = self.service.request("GET", "/media/sub/y.txt")
            self.assertEqual((status, data), (200, b"why\x00\xff"))
            for path in ["/media/missing.bin", "/media/../devservice.py",
                         "/media/%2e%2e/devservice.py", "/media/sub/../../devservice.py",
                         "/media//etc/passwd", "/media/%2fetc%2fpasswd", "/media/out.py",
                         "/media/folder", "/media/"]:
                with self.subTest(path=path):
                    self.assertEqual(self.service.request("GET", path)[0], 404)
            for name in ["../escape.bin", "%2e%2e/escape.bin", "a//b", "/abs"]:
                with self.subTest(name=name):
                    self.assertEqual(self.service.control("POST", "/_dev/media/" + name,
                                                          b"x")[0], 400)
            self.assertFalse(os.path.exists(os.path.join(self.folder, "escape.bin")))
        finally:
            os.unlink(os.path.join(self.media, "out.py"))
            os.rmdir(os.path.join(self.media, "folder"))

    def test_configuration_endpoints_and_host_segment(self):
        def config(method="GET"):
            status, _, data = self.service.request(
                method, "/installer.orvex.example/index/getinstallconfig")
            return status, data

        self.assertEqual(config()[0], 404)
        with open(self.config_file, "wb") as handle:
            handle.write(b'{"stages": 1}')
        self.assertEqual(config(), (200, b'{"stages": 1}'))
        with open(self.config_file, "wb") as handle:
            handle.write(b'{"stages": 2}')
        self.assertEqual(config("POST"), (200, b'{"stages": 2}'))  # read again
        self.service.control("POST", "/_dev/config", b'{"set": true}')
        self.assertEqual(config(), (200, b'{"set": true}'))
        status, headers, _ = self.service.request(
            "HEAD", "/installer.orvex.example/index/getinstallconfig")
        self.assertEqual((status, headers["Content-Length"]), (200, "13"))
        self.service.control("POST", "/_dev/config", b"")
        self.assertEqual(config()[0], 404)
        records = self.service.requests("/index/getinstallconfig")
        self.assertEqual([r["method"] for r in records],
                         ["GET", "GET", "POST", "GET", "HEAD", "GET"])
        self.assertEqual({(r["path"], r["raw_path"], r["query"]) for r in records},
                         {("/index/getinstallconfig",
                           "/installer.orvex.example/index/getinstallconfig", "")})
        self.service.control("POST", "/_dev/reset")  # forgets the text set above
        self.assertEqual(config(), (200, b'{"stages": 2}'))
        self.assertEqual(len(self.service.requests()), 1)

        self.assertEqual(self.service.request("POST", "/index/driverupdate", b"platform=x")[2],
                         (self.service.base + "/dl.orvex.example/media/gpudriver.zip").encode())
        status, headers, data = self.service.request(
            "GET", "/installer.orvex.example/index/knowledgebase?article=help&model=A%26B")
        self.assertEqual((status, headers.get_content_type()), (200, "text/html"))
        self.assertIn(b"article=help&amp;model=A%26B", data)
        self.assertIn(b"<code>model</code> = <code>A&amp;B</code>", data)
        self.assertEqual(self.service.request("GET", "/nextsteps?status=installed")[0], 200)
        self.assertEqual(self.service.request("GET", "/installer.orvex.example/other")[0], 404)
        self.assertEqual(self.service.request("GET", "/index")[0], 404)

        kb = self.service.requests("/index/knowledgebase")
        self.assertEqual([(r["raw_path"], r["query"]) for r in kb],
                         [("/installer.orvex.example/index/knowledgebase?article=help&model=A%26B",
                           "article=help&model=A%26B")])

    def test_record_holds_requests_in_order_with_headers_bodies_and_parts(self):
        sock = self.service.raw(
            "POST /installer.orvex.example/installer/install? HTTP/1.1\r\n"
            "Host: 127.0.0.1\r\nX-Twice: one\r\nx-twice: two\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "Content-Length: 20\r\n\r\nstatus=ok&t=a%20b\xff\r\n")
        status, headers, rest = read_head(sock)
        while len(rest) < int(headers["content-length"]):
            rest += sock.recv(100)
        sock.close()
        self.assertEqual((status, rest), (200, b"OK"))

        binary = bytes(range(256)) * 3
        boundary = "----orvex-boundary-1234"
        body = (("--%s\r\nContent-Disposition: form-data; name=\"note\"\r\n\r\n"
                 "caf\u00e9 ok\r\n" % boundary).encode("utf-8")
                + ("--%s\r\nContent-Disposition: form-data; name=\"file\"; "
                   "filename=\"Orvex 2.0.dmp\"\r\nContent-Type: application/octet-stream\r\n\r\n"
                   % boundary).encode() + binary
                + ("\r\n--%s--\r\n" % boundary).encode())
        status, _, data = self.service.request(
            "POST", "/installer.orvex.example/upload/crashreport/installer/dump", body,
            {"Content-Type": "multipart/form-data; boundary=" + boundary})
        self.assertEqual((status, data), (200, b"OK"))
        self.assertEqual(self.service.request("POST", "/collect?v=1", b"a=1")[2], b"OK")

        records = self.service.requests()
        self.assertEqual([(r["method"], r["path"]) for r in records],
                         [("POST", "/installer/install"),
                          ("POST", "/upload/crashreport/installer/dump"),
                          ("POST", "/collect")])
        install, upload, collect = records
        self.assertEqual(install["raw_path"], "/installer.orvex.example/installer/install?")
        self.assertEqual(install["query"], "")
        self.assertEqual(install["headers"]["X-Twice"], "one, two")
        self.assertNotIn("x-twice", install["headers"])
        self.assertEqual(install["headers"]["Content-Length"], "20")
        self.assertEqual(install["body"], "status=ok&t=a%20b\xff\r\n")
        self.assertEqual(install["body"].encode("latin-1"), b"status=ok&t=a%20b\xff\r\n")
        self.assertEqual(install["form"]["status"], "ok")
        self.assertNotIn("parts", install)

        self.assertEqual(upload["body"].encode("latin-1"), body)
        self.assertEqual(upload["parts"], [
            {"name": "note", "filename": None, "content_type": None, "size": 8,
             "text": "caf\u00e9 ok"},
            {"name": "file", "filename": "Orvex 2.0.dmp",
             "content_type": "application/octet-stream", "size": len(binary),
             "base64": base64.b64encode(binary).decode()},
        ])
        self.assertEqual((collect["query"], collect["body"]), ("v=1", "a=1"))
        # The control plane is not recorded.
        self.assertFalse(any(r["path"].startswith("/_dev") for r in self.service.requests()))

    def test_fault_rules_that_answer_differently(self):
        whole = pattern(1005)
        rules = [
            {"path": "/media/x.bin", "method": "HEAD", "kind": "status", "status": 404,
             "times": 1},
            {"path": "/dl.orvex.example/index/driverupdate", "kind": "redirect",
             "location": "http://127.0.0.1:1/elsewhere", "times": 1},
            {"path": "/media/x.bin", "method": "GET", "kind": "status", "status": 500,
             "range_start": 100},
            {"path": "/media/x.bin", "method": "GET", "kind": "ignore_range", "times": 1},
            {"path": "/media/x.bin", "method": "GET", "kind": "slow", "rate": 20000,
             "times": 1},
        ]
        for rule in rules:
            self.service.add_fault(rule)
        table = [
            # method, path, Range, status, body (None: not checked), location
            ("HEAD", "/media/x.bin", None, 404, b"", None),
            ("HEAD", "/media/x.bin", None, 200, b"", None),  # used up
            ("POST", "/index/driverupdate", None, 302, b"", "http://127.0.0.1:1/elsewhere"),
            ("POST", "/index/driverupdate", None, 200, None, None),
            ("GET", "/media/x.bin", "bytes=100-199", 500, b"", None),
            ("GET", "/media/x.bin", "bytes=100-199", 500, b"", None),  # unlimited
            ("GET", "/media/x.bin", "bytes=0-99", 200, whole, None),  # range ignored, once
            ("GET", "/media/x.bin", None, 200, whole, None),  # sent slowly, once
            ("GET", "/media/x.bin", "bytes=0-99", 206, whole[:100], None),
        ]
        for method, path, range_header, status, body, location in table:
            with self.subTest(method=method, path=path, range=range_header):
                headers = {"Range": range_header} if range_header else {}
                got_status, got_headers, data = self.service.request(method, path,
                                                                     headers=headers)
                self.assertEqual(got_status, status)
                if body is not None:
                    self.assertEqual(data, body)
                self.assertEqual(got_headers.get("Location"), location)
        faults = self.service.control("GET", "/_dev/faults")[1]
        self.assertEqual([f["times"] for f in faults], [0, 0, None, 0, 0])

    def test_slow_answer_shows_the_bytes_sent_so_far(self):
        size = 200000
        self.service.control("POST", "/_dev/media/slow.bin?size=%d" % size)
        self.service.add_fault({"path": "/media/slow.bin", "kind": "slow", "rate": 20000})
        sock = self.service.raw(get_text("/media/slow.bin"))
        status, headers, data = read_head(sock)
        while len(data) < 40000:
            piece = sock.recv(1 << 16)
            self.assertTrue(piece)
            data += piece
        sent = self.service.requests("/media/slow.bin")[0].get("sent", 0)
        sock.close()
        self.assertEqual(status, 200)
        # The record may trail the socket by the piece being written.
        self.assertGreaterEqual(sent, 20000)
        self.assertLess(sent, size)

    def test_huge_length_announces_it_and_sends_until_the_client_hangs_up(self):
        self.service.add_fault({"path": "/media/x.bin", "kind": "huge_length"})
        status, headers, _ = self.service.request("HEAD", "/media/x.bin")
        self.assertEqual((status, headers["Content-Length"]), (200, str(100 << 30)))
        sock = self.service.raw(get_text("/media/x.bin"))
        status, headers, data = read_head(sock)
        while len(data) < 3 << 20:
            piece = sock.recv(1 << 16)
            self.assertTrue(piece)
            data += piece
        sock.close()  # the service notices and stops sending
        self.assertEqual((status, headers["content-length"]), (200, str(100 << 30)))
        self.assertEqual(data[:1005], pattern(1005))
        self.assertEqual(data[1005:3 << 20], b" " * ((3 << 20) - 1005))

        # A small length: the body, then blanks up to it, then the end.
        self.service.control("POST", "/_dev/reset")
        self.service.add_fault({"path": "/media/x.bin", "kind": "huge_length", "length": 1100})
        status, headers, data = self.service.request("GET", "/media/x.bin")
        self.assertEqual((status, headers["Content-Length"], data),
                         (200, "1100", pattern(1005) + b" " * 95))
        with self.assertRaises(AssertionError):
            self.service.add_fault({"path": "/x", "kind": "huge_length", "length": -1})

    def test_hostile_answers_for_download_checks(self):
        whole = pattern(1005)
        rules = [
            {"path": "/media/x.bin", "kind": "status", "status": 403, "body": "Forbidden",
             "times": 2},
            {"path": "/media/x.bin", "method": "GET", "kind": "status", "status": 500,
             "range_sized_body": True, "range_start": 100, "times": 2},
            {"path": "/media/x.bin", "method": "GET", "kind": "range_from_zero", "times": 2},
        ]
        for rule in rules:
            self.service.add_fault(rule)
        table = [
            # method, Range, status, body, Content-Length, Content-Range
            ("HEAD", None, 403, b"", "9", None),
            ("GET", None, 403, b"Forbidden", "9", None),
            ("GET", "bytes=100-199", 500, b"E" * 100, "100", None),
            ("GET", "bytes=100-", 500, b"E" * 905, "905", None),
            ("GET", "bytes=300-399", 206, whole[:100], "100", "bytes 0-99/1005"),
            ("GET", "bytes=900-", 206, whole[:105], "105", "bytes 0-104/1005"),
            ("GET", "bytes=300-399", 206, whole[300:400], "100", "bytes 300-399/1005"),
        ]
        for method, range_header, status, body, length, content_range in table:
            with self.subTest(method=method, range=range_header):
                headers = {"Range": range_header} if range_header else {}
                got_status, got_headers, data = self.service.request(method, "/media/x.bin",
                                                                     headers=headers)
                self.assertEqual(got_status, status)
                self.assertEqual(data, body)
                self.assertEqual(got_headers.get("Content-Length"), length)
                self.assertEqual(got_headers.get("Content-Range"), content_range)
        bad = {"path": "/media/x.bin", "kind": "status", "range_sized_body": "yes"}
        self.assertEqual(self.service.control("POST", "/_dev/fault", json.dumps(bad).encode())[0],
                         400)

    def test_head_without_length(self):
        self.service.add_fault({"path": "/media/x.bin", "method": "HEAD",
                                "kind": "head_no_length"})
        sock = self.service.raw("HEAD /media/x.bin HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
        status, headers, rest = read_head(sock)
        rest += sock.recv(100)  # the service closes the connection after the headers
        sock.close()
        self.assertEqual((status, rest), (200, b""))
        self.assertNotIn("content-length", headers)
        self.assertEqual(headers["connection"], "close")
        # A GET is not affected by a HEAD rule.
        status, headers, data = self.service.request("GET", "/media/x.bin")
        self.assertEqual((status, headers["Content-Length"], data),
                         (200, "1005", pattern(1005)))

    def test_reset_after_some_bytes_is_seen_as_connection_reset(self):
        self.service.add_fault({"path": "/media/x.bin", "method": "GET", "kind": "reset",
                                "after_bytes": 100})
        sock = self.service.raw(get_text("/media/x.bin", "Range: bytes=0-999\r\n"))
        status, headers, data = read_head(sock)
        with self.assertRaises(ConnectionResetError):
            while True:
                piece = sock.recv(4096)
                if not piece:
                    break  # an orderly close: assertRaises fails
                data += piece
        sock.close()
        self.assertEqual((status, headers["content-length"]), (206, "1000"))
        self.assertEqual(data, pattern(100))

        # Without "after_bytes" half of the answer's body arrives first.
        self.service.control("POST", "/_dev/reset")
        self.service.add_fault({"path": "/media/x.bin", "kind": "reset", "times": 1})
        connection = self.service.connection()
        connection.request("GET", "/media/x.bin")
        response = connection.getresponse()
        self.assertEqual(response.status, 200)
        self.assertEqual(response.read(502), pattern(502))
        with self.assertRaises(ConnectionResetError):
            response.read()
        connection.close()

    def test_stall_holds_one_answer_without_blocking_others(self):
        self.service.add_fault({"path": "/media/x.bin", "method": "GET", "kind": "stall",
                                "after_bytes": 10, "seconds": 10, "times": 1})
        stalled = self.service.raw(get_text("/media/x.bin"))
        status, headers, data = read_head(stalled)
        while len(data) < 10:
            data += stalled.recv(100)
        self.assertEqual((status, headers["content-length"], data), (200, "1005", pattern(10)))
        # Meanwhile other requests, also for the same file, are answered in full ...
        results = []
        thread = threading.Thread(target=lambda: results.append(
            self.service.request("GET", "/media/x.bin", headers={"Range": "bytes=5-9"})))
        thread.start()
        thread.join(WAIT)
        self.assertEqual([(r[0], r[2]) for r in results], [(206, pattern(10)[5:])])
        # ... while the stalled one still has sent nothing more and is not closed.
        stalled.setblocking(False)
        with self.assertRaises(BlockingIOError):
            stalled.recv(100)
        stalled.close()

        # After "seconds" the stalled answer ends with the connection closed, short of its length.
        self.service.add_fault({"path": "/media/x.bin", "kind": "stall", "seconds": 0.2,
                                "times": 1})
        sock = self.service.raw(get_text("/media/x.bin"))
        status, headers, data = read_head(sock)
        while True:
            piece = sock.recv(100)
            if not piece:
                break
            data += piece
        sock.close()
        self.assertEqual((status, headers["content-length"], data), (200, "1005", b""))

    def test_bad_input_is_answered_with_400_and_the_service_keeps_going(self):
        for body in [b"{bad", b"[]", b"\xff", b'{"kind": "status"}',
                     b'{"path": "/x", "kind": "nope"}',
                     b'{"path": "/x", "kind": "status", "times": -1}',
                     b'{"path": "/x", "kind": "status", "status": "500"}',
                     b'{"path": "/x", "kind": "stall", "seconds": true}',
                     b'{"path": "/x", "kind": "slow", "rate": 0}']:
            with self.subTest(body=body):
                self.assertEqual(self.service.control("POST", "/_dev/fault", body)[0], 400)
        self.assertEqual(self.service.control("POST", "/_dev/media/y?size=abc")[0], 400)
        self.assertEqual(self.service.control("POST", "/_dev/media/y?size=3", b"abc")[0], 400)
        self.assertEqual(self.service.control("POST", "/_dev/nothing")[0], 404)
        self.assertEqual(self.service.control("GET", "/_dev/faults"), (200, []))
        for request in ["NONSENSE\r\n\r\n",
                        "POST /collect HTTP/1.1\r\nContent-Length: x\r\n\r\n",
                        "POST /collect HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n"]:
            with self.subTest(request=request):
                sock = self.service.raw(request)
                self.assertEqual(read_head(sock)[0], 400)
                sock.close()
        # A chunked request body is read and recorded whole.
        sock = self.service.raw("POST /collect HTTP/1.1\r\nHost: x\r\n"
                                "Transfer-Encoding: chunked\r\n\r\n"
                                "3\r\nabc\r\n2\r\nde\r\n0\r\n\r\n")
        self.assertEqual(read_head(sock)[0], 200)
        sock.close()
        self.assertEqual([r["body"] for r in self.service.requests("/collect")], ["abcde"])


class LifecycleTest(unittest.TestCase):
    def test_start_announces_port_and_stop_request_ends_cleanly(self):
        service = Service()
        try:
            self.assertRegex(service.port_text, r"^[1-9][0-9]*\n$")
            self.assertEqual(service.line,
                             "devservice listening on http://127.0.0.1:%d\n" % service.port)
            self.assertEqual(service.control("POST", "/_dev/stop"), (200, {"stopping": True}))
        finally:
            self.assertEqual(service.finish(), 0)

    def test_terminate_ends_cleanly_even_with_a_stalled_answer_and_removes_temp_media(self):
        service = Service()
        try:
            service.control("POST", "/_dev/media/z.bin?size=10")
            media = [name for name in os.listdir(service.temp)]
            self.assertEqual(len(media), 1)
            self.assertEqual(os.listdir(os.path.join(service.temp, media[0])), ["z.bin"])
            service.add_fault({"path": "/media/z.bin", "kind": "stall", "seconds": 600})
            stalled = service.raw(get_text("/media/z.bin"))
            self.assertEqual(read_head(stalled)[0], 200)
            idle = service.connection()  # an open keep-alive connection
            idle.request("GET", "/nextsteps")
            self.assertEqual(idle.getresponse().read()[:15], b"<!DOCTYPE html>")
            service.process.send_signal(signal.SIGTERM)
            self.assertEqual(service.finish(keep_folder=True), 0)
            self.assertEqual(os.listdir(service.temp), [])
            stalled.close()
            idle.close()
        finally:
            service.finish()

    def test_refuses_hosts_that_are_not_loopback(self):
        result = subprocess.run([sys.executable, SCRIPT, "--host", "0.0.0.0"],
                                capture_output=True, text=True, timeout=WAIT)
        self.assertEqual((result.returncode, result.stdout), (2, ""))
        self.assertIn("loopback", result.stderr)


if __name__ == "__main__":
    unittest.main()
