"""The development web service over TLS (--tls-cert/--tls-key), with certificates made by
tests/support/make_test_authority.sh for this run.

    python3 -m unittest discover -s tools/devservice -p 'test_*.py'
"""

import http.client
import json
import os
import shutil
import ssl
import subprocess
import tempfile
import unittest

from test_devservice import SCRIPT, WAIT, Service

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MAKE_AUTHORITY = os.path.join(ROOT, "tests", "support", "make_test_authority.sh")


class TlsService(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.certificates = tempfile.mkdtemp(prefix="devservice-tls-test-")
        subprocess.run(["sh", MAKE_AUTHORITY, cls.certificates], check=True)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.certificates, ignore_errors=True)

    def start(self, certificate):
        service = Service("--tls-cert", os.path.join(self.certificates, certificate + ".pem"),
                          "--tls-key", os.path.join(self.certificates, certificate + ".key"))
        self.addCleanup(service.finish)
        self.addCleanup(service.process.terminate)
        return service

    def get(self, service, path, trusting):
        context = ssl.create_default_context(cafile=os.path.join(self.certificates, trusting))
        connection = http.client.HTTPSConnection("127.0.0.1", service.port, timeout=WAIT,
                                                 context=context)
        try:
            connection.request("GET", path)
            response = connection.getresponse()
            return response.status, response.read()
        finally:
            connection.close()

    def connections(self, service):
        status, body = self.get(service, "/_dev/connections", "ca.pem")
        self.assertEqual(200, status)
        return json.loads(body)["connections"]

    def test_serves_https_and_counts_refused_handshakes(self):
        service = self.start("valid")
        self.assertEqual("devservice listening on https://127.0.0.1:%d\n" % service.port,
                         service.line)
        status, body = self.get(service, "/_dev/connections", "ca.pem")
        self.assertEqual((200, {"connections": 1}), (status, json.loads(body)))

        # A client that refuses the certificate (it trusts another certificate, not our
        # authority) is seen as a connection and nothing more.
        with self.assertRaises(ssl.SSLCertVerificationError):
            self.get(service, "/index/getinstallconfig", "untrusted.pem")
        self.assertEqual(3, self.connections(service))

    def test_later_connections_present_the_certificate_set_through_the_control_plane(self):
        service = self.start("valid")
        files = {"cert": os.path.join(self.certificates, "expired.pem"),
                 "key": os.path.join(self.certificates, "expired.key")}
        context = ssl.create_default_context()
        context.check_hostname = False
        context.verify_mode = ssl.CERT_NONE  # the control plane, not what is tested
        connection = http.client.HTTPSConnection("127.0.0.1", service.port, timeout=WAIT,
                                                 context=context)
        connection.request("POST", "/_dev/tls", body=json.dumps(files))
        self.assertEqual(200, connection.getresponse().status)
        connection.close()
        with self.assertRaises(ssl.SSLCertVerificationError) as refused:
            self.get(service, "/_dev/connections", "ca.pem")
        self.assertIn("expired", str(refused.exception))

    def test_plain_service_has_no_certificate_to_change(self):
        service = Service()
        self.addCleanup(service.finish)
        self.addCleanup(service.process.terminate)
        status, _ = service.control("POST", "/_dev/tls", b"{}")
        self.assertEqual(409, status)

    def test_certificate_and_key_go_together(self):
        for arguments in (["--tls-cert", "x.pem"], ["--tls-key", "x.key"]):
            with self.subTest(arguments=arguments):
                finished = subprocess.run(["python3", SCRIPT, "--port", "0", *arguments],
                                          capture_output=True, text=True, timeout=WAIT)
                self.assertEqual(2, finished.returncode)
                self.assertIn("go together", finished.stderr)


if __name__ == "__main__":
    unittest.main()
