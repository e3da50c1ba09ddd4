"""Packs Windows Installer packages into a copy of the installer stub: writes a new
executable whose resources carry the payload manifest, one header and one blob per
package, and keeps every resource the stub already has byte for byte (those the vendor
brands apart). Optionally signs and timestamps the result. Runs on the build host with
the standard library alone, and openssl and osslsigncode for signing.

Identical inputs give identical bytes (a timestamp apart); the output appears only once
complete (written beside it, then renamed), so a failed run leaves nothing behind.
Refusals print one line and exit with 1, usage errors with 2. A run that succeeds prints
one line saying what it made. The usage is in arguments.py.

One module per job: arguments (the command line), layout (the payload's definition, read
from the stub's header), packages (checking them), image and resources (reading the
stub), payload (the payload's resources), branding (version block and icon), writing
(the new image), certificates (the stub's publisher certificate and the signer's) and
signing."""
import os
import sys

from arguments import PROG, USAGE, UsageError, parse_arguments
from branding import apply_icon, apply_version_info, parse_version_info
from certificates import load_certificates, publisher_certificates
from image import Image
from layout import read_layout
from packages import architecture_text, check_packages
from payload import add_payload
from refusals import Refusal, one_line
from resources import read_resources
from signing import prepare_signer, sign
from writing import Output, create_temporary, write_image

# How to build a stub whose publisher certificate is yours.
OWN_PUBLISHER_HINT = ("configure the build with -DNIMB_PUBLISHER_CERT=FILE.cer (your certificate, DER) "
                      "and pack its stub")


def check_output(output):
    """The output must name a file in a folder that exists: found before anything is
    written, so that the refusal names the real problem."""
    if os.path.isdir(output):
        raise Refusal("output '%s' is a directory: name the executable to write" % one_line(output))
    folder = os.path.dirname(os.path.abspath(output))
    if not os.path.isdir(folder):
        raise Refusal("cannot write '%s': its folder '%s' does not exist" % (one_line(output), one_line(folder)))


def check_publisher(publishers, signer, expected_path):
    """Compares the stub's publisher certificate with the one expected and with the
    signer's. A signer that is not the publisher is warned about (they may differ on
    purpose); a publisher that is not the one expected is refused."""
    if expected_path is not None:
        expected = load_certificates(expected_path, "expected publisher certificate")[0]
        if expected.thumbprint not in [c.thumbprint for c in publishers]:
            carried = ", ".join(c.description() for c in publishers) or "none"
            raise Refusal("the stub's publisher certificate is %s, not %s from '%s': %s"
                          % (carried, expected.description(), one_line(expected_path), OWN_PUBLISHER_HINT))
    if signer and publishers and signer.certificate.thumbprint not in [c.thumbprint for c in publishers]:
        print("%s: warning: signed by %s, but silent installs add the stub's publisher certificate %s to the "
              "trusted publishers; to have yours trusted, %s"
              % (PROG, signer.certificate.description(), ", ".join(c.description() for c in publishers),
                 OWN_PUBLISHER_HINT), file=sys.stderr)


def summary(output, size, packages, layout, signer, stamped_by, publishers):
    """The one line a successful run prints."""
    parts = ["wrote %s, %d bytes" % (one_line(output), size),
             "packages: " + ", ".join("%s (%s)" % (one_line(p.name), architecture_text(p.architecture, layout))
                                      for p in packages)]
    if signer is None:
        parts.append("not signed")
    else:
        parts.append("signed by %s, %s" % (signer.certificate.description(),
                                           "timestamped by %s" % one_line(stamped_by) if stamped_by
                                           else "not timestamped"))
    parts.append("publisher certificate " + ", ".join(c.description() for c in publishers)
                 if publishers else "no publisher certificate")
    return "%s: %s" % (PROG, "; ".join(parts))


def pack(args):
    layout = read_layout(args.layout)
    check_output(args.output)
    packages = check_packages(args.package, layout)
    try:
        with open(args.stub, "rb") as f:
            stub = f.read()
    except OSError as e:
        raise Refusal("cannot read stub '%s': %s" % (one_line(args.stub), e.strerror))
    image = Image(stub, args.stub)
    tree = read_resources(image)
    add_payload(tree, packages, layout)
    apply_version_info(tree, parse_version_info(args.version_info), args.stub)
    apply_icon(tree, args.icon, args.stub)
    publishers = publisher_certificates(image)
    signer = prepare_signer(args)
    check_publisher(publishers, signer, args.expect_publisher)

    fd, temp = create_temporary(args.output)
    try:
        try:
            write_image(image, tree, packages, layout, Output(fd))
        finally:
            os.close(fd)
        stamped_by = sign(temp, signer, args.sign_time, args.timestamp_url) if signer else None
        umask = os.umask(0)
        os.umask(umask)
        os.chmod(temp, 0o777 & ~umask)
        size = os.stat(temp).st_size
        os.replace(temp, args.output)
    except BaseException:
        for leftover in (temp, temp + ".signed"):
            try:
                os.unlink(leftover)
            except OSError:
                pass
        raise
    print(summary(args.output, size, packages, layout, signer, stamped_by, publishers))


def main(argv):
    try:
        args = parse_arguments(argv)
    except UsageError as e:
        sys.stderr.write("%s%s: error: %s\n" % (USAGE, PROG, e))
        return 2
    try:
        pack(args)
    except Refusal as e:
        print("%s: error: %s" % (PROG, e), file=sys.stderr)
        return 1
    except OSError as e:
        print("%s: error: %s: %s" % (PROG, one_line(e.filename or args.output), e.strerror), file=sys.stderr)
        return 1
    return 0
