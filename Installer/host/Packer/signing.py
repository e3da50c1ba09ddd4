"""Signing the packed executable with osslsigncode: the signing identity (a PEM key and
certificate, the key perhaps encrypted, or a PKCS#12 file), its passphrase, SHA-256, and
RFC 3161 timestamps from the servers named, tried in order.

The passphrase never appears on a command line, where any user of the machine could read
it: it comes from a file or an environment variable, and reaches openssl and osslsigncode
on their standard input. Child processes run in a session of their own, without a
terminal, so that nothing they do can stop the build to prompt for a passphrase."""
import os

from certificates import Certificate, NotDer, load_certificates, pem_blocks
from refusals import Refusal, one_line

# How long one time-stamping server may take to answer: a server that accepts the
# connection and never replies would otherwise hold the build for ever.
TIMESTAMP_TIMEOUT = 60


def run(command, passphrase, timeout=None):
    """Runs COMMAND with the passphrase (empty when there is none) as its one line of input:
    (exit code, its output and errors), or None when it did not finish in time."""
    import subprocess                              # only here: it takes a while to load
    try:
        result = subprocess.run(command, input=passphrase + "\n", stdout=subprocess.PIPE,
                                stderr=subprocess.STDOUT, text=True,
                                errors="replace", start_new_session=True, timeout=timeout)
    except OSError as e:
        raise Refusal("cannot run %s: %s" % (command[0], e.strerror))
    except subprocess.TimeoutExpired:
        return None
    return result.returncode, result.stdout


def first_message(output):
    """The first line a tool meant for people, passing over OpenSSL's coded error trail."""
    lines = [l.strip() for l in output.splitlines() if l.strip()]
    meant = [l for l in lines if ":error:" not in l and not l.startswith("Connecting to ")]
    return (meant or lines or ["no message"])[0]


def read_passphrase(args):
    """The passphrase from --sign-pass-file (its first line) or --sign-pass-env, or None."""
    if args.sign_pass_file is not None:
        try:
            with open(args.sign_pass_file, "rb") as f:
                text = f.read()
        except OSError as e:
            raise Refusal("cannot read passphrase file '%s': %s" % (one_line(args.sign_pass_file), e.strerror))
        line = text.split(b"\n", 1)[0].rstrip(b"\r")
        try:
            return line.decode("utf-8")
        except UnicodeDecodeError:
            raise Refusal("passphrase file '%s' is not UTF-8 text" % one_line(args.sign_pass_file))
    if args.sign_pass_env is not None:
        value = os.environ.get(args.sign_pass_env)
        if value is None:
            raise Refusal("environment variable '%s' (--sign-pass-env) is not set" % one_line(args.sign_pass_env))
        if "\n" in value or "\r" in value:
            raise Refusal("environment variable '%s' (--sign-pass-env) holds more than one line"
                          % one_line(args.sign_pass_env))
        return value
    return None


class Signer:
    """Who signs: the certificate that goes with the key, and how osslsigncode gets both."""

    def __init__(self, certificate, identity, passphrase):
        self.certificate, self.identity, self.passphrase = certificate, identity, passphrase


def read_file(path, what):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError as e:
        raise Refusal("cannot read %s '%s': %s" % (what, one_line(path), e.strerror))


def pem_key_signer(key, cert, passphrase):
    """A PEM key and its certificate: the key is opened once with openssl here, so that a
    wrong passphrase or a certificate of another key is refused before anything is
    written, and the certificate whose public key matches is the one that signs."""
    data = read_file(key, "signing key")
    encrypted = b"ENCRYPTED PRIVATE KEY-----" in data or b"Proc-Type: 4,ENCRYPTED" in data
    if encrypted and passphrase is None:
        raise Refusal("signing key '%s' is encrypted: give its passphrase with --sign-pass-file or --sign-pass-env"
                      % one_line(key))
    certificates = load_certificates(cert, "signing certificate")
    result = run(["openssl", "pkey", "-in", key, "-passin", "stdin", "-pubout"], passphrase or "")
    if result[0] != 0:
        raise Refusal("cannot read signing key '%s': %s" % (
            one_line(key), "wrong passphrase?" if encrypted else "not a private key (PEM)"))
    public = pem_blocks(result[1].encode(), "PUBLIC KEY")
    matching = [c for c in certificates if public and c.public_key == public[0]]
    if not matching:
        raise Refusal("signing certificate '%s' does not go with the key '%s'" % (one_line(cert), one_line(key)))
    return Signer(matching[0], ["-certs", cert, "-key", key], passphrase)


def pkcs12_signer(path, passphrase):
    """A PKCS#12 file: its certificate that has a key, read with openssl, which checks the
    passphrase against the file's integrity code."""
    read_file(path, "PKCS#12 file")
    command = ["openssl", "pkcs12", "-in", path, "-passin", "stdin", "-nokeys", "-clcerts"]
    result = run(command, passphrase or "")
    if result[0] != 0 and "unsupported" in result[1]:
        # Files written with the older ciphers need OpenSSL's legacy algorithms.
        result = run(command + ["-legacy"], passphrase or "")
    if result[0] != 0:
        raise Refusal("cannot open PKCS#12 file '%s': wrong passphrase, or not a PKCS#12 file" % one_line(path))
    try:
        certificates = [Certificate(der) for der in pem_blocks(result[1].encode(), "CERTIFICATE")]
    except (NotDer, ValueError):
        certificates = []
    if not certificates:
        raise Refusal("PKCS#12 file '%s' holds no certificate with its key" % one_line(path))
    return Signer(certificates[0], ["-pkcs12", path], passphrase)


def prepare_signer(args):
    """The signer the arguments name, checked in full, or None for an unsigned run."""
    passphrase = read_passphrase(args)
    if args.sign_pkcs12:
        return pkcs12_signer(args.sign_pkcs12, passphrase)
    if args.sign_key:
        return pem_key_signer(args.sign_key, args.sign_cert, passphrase)
    return None


def timestamp_failed(output):
    """Whether osslsigncode failed at getting the timestamp rather than at signing."""
    lowered = output.lower()
    return "timestamping failed" in lowered or "http failure" in lowered


def sign(path, signer, signing_time, timestamp_urls):
    """Signs the file at PATH in place; with servers named, the signature is timestamped
    by the first that answers. Returns that server's address, or None when none was named.
    No answer from any server is a refusal: a release signed without a timestamp stops
    verifying the day its certificate expires."""
    signed = path + ".signed"
    command = ["osslsigncode", "sign", *signer.identity, "-readpass", "-", "-h", "sha256"]
    if signing_time is not None:
        command += ["-time", str(signing_time)]
    failures = []
    for url in timestamp_urls or [None]:
        attempt = command + (["-ts", url] if url else []) + ["-in", path, "-out", signed]
        result = run(attempt, signer.passphrase or "", TIMESTAMP_TIMEOUT if url else None)
        if result is not None and result[0] == 0 and os.path.exists(signed):
            os.replace(signed, path)
            return url
        if os.path.exists(signed):
            os.unlink(signed)
        if result is None:
            failures.append("%s: no answer within %d seconds" % (url, TIMESTAMP_TIMEOUT))
        elif url and timestamp_failed(result[1]):
            failures.append("%s: %s" % (url, timestamp_reason(result[1])))
        else:
            raise Refusal("signing failed: %s" % (first_message(result[1]) if result[1].strip()
                                                  else "osslsigncode exit code %d" % result[0]))
    raise Refusal("no time-stamping server answered (%s): nothing was written" % "; ".join(failures))


def timestamp_reason(output):
    """What went wrong with a server, from osslsigncode's and OpenSSL's words."""
    for line in output.splitlines():
        # OpenSSL's "PID:error:CODE:LIBRARY:FUNCTION:REASON:FILE:LINE:DETAIL"
        fields = line.split(":")
        if len(fields) > 5 and fields[1] == "error" and "connect" in fields[4].lower():
            return fields[5].strip()
    for line in output.splitlines():
        if "HTTP failure" in line or "timestamping failed" in line.lower():
            return line.strip()
    return first_message(output)
