#!/usr/bin/python3
"""The embedded certificate table: generated from the build's DER certificate byte for
byte, and never from a file that is not one whole DER SEQUENCE."""
import os
import re
import subprocess
import sys
import tempfile
import unittest

BUILD = os.environ.get("NIMB_BUILD_DIR") or os.path.join(os.path.dirname(__file__), "..", "..", "..", "build")
SOURCE = os.environ.get("NIMB_SOURCE_DIR") or os.path.join(os.path.dirname(__file__), "..", "..", "..")
GENERATOR = os.path.join(SOURCE, "tools", "gen-certificates.py")
GENERATED = os.path.join(BUILD, "generated", "NimbStubCertificates.cpp")
CERT_DIR = os.path.join(BUILD, "certs")


def table_bytes(source):
    """The bytes of each array in a generated source, in order."""
    arrays = re.findall(r"s_abCertificate\d+\[(\d+)\] =\s*\{([^}]*)\}", source)
    return [(int(n), bytes(int(b, 16) for b in re.findall(r"0x([0-9a-f]{2})", body))) for n, body in arrays]


class EmbeddedCertificates(unittest.TestCase):
    def test_build_table_holds_the_publisher_certificate(self):
        with open(os.path.join(CERT_DIR, "test-publisher.cer"), "rb") as f:
            der = f.read()
        with open(GENERATED) as f:
            source = f.read()
        self.assertEqual(table_bytes(source), [(len(der), der)])
        self.assertIn("const uint32_t g_cEmbeddedCertificates = 1;", source)
        # The one the build signs with: the same certificate in PEM form.
        pem = subprocess.run(["openssl", "x509", "-in", os.path.join(CERT_DIR, "test-publisher.cert.pem"),
                              "-outform", "DER"], stdout=subprocess.PIPE, check=True).stdout
        self.assertEqual(pem, der)

    def test_refuses_what_is_not_der(self):
        with open(os.path.join(CERT_DIR, "test-publisher.cer"), "rb") as f:
            der = f.read()
        with open(os.path.join(CERT_DIR, "test-publisher.cert.pem"), "rb") as f:
            pem = f.read()
        cases = [
            ("PEM text", pem, "it does not start with a SEQUENCE"),
            ("empty", b"", "it does not start with a SEQUENCE"),
            ("truncated", der[:-1], "the SEQUENCE holds %d bytes but the file has %d after its header"
             % (len(der) - 4, len(der) - 5)),
            ("trailing byte", der + b"\0", "the SEQUENCE holds %d bytes but the file has %d after its header"
             % (len(der) - 4, len(der) - 3)),
            ("indefinite length", b"\x30\x80\x00\x00", "its length is not a definite DER length"),
        ]
        for what, data, reason in cases:
            with self.subTest(what), tempfile.TemporaryDirectory() as tmp:
                cert, out = os.path.join(tmp, "cert.cer"), os.path.join(tmp, "table.cpp")
                with open(cert, "wb") as f:
                    f.write(data)
                result = subprocess.run([sys.executable, GENERATOR, out, cert], stdout=subprocess.PIPE,
                                        stderr=subprocess.PIPE, text=True)
                self.assertEqual((result.returncode, result.stderr),
                                 (1, "gen-certificates.py: %s is not a DER certificate: %s\n" % (cert, reason)))
                self.assertFalse(os.path.exists(out))


if __name__ == "__main__":
    unittest.main(verbosity=1)
