"""The packer's command line: its usage, its help and its parser."""
import os
import sys

from layout import HEADER_PATH

PROG = "nimbpack"

USAGE = ("usage: nimbpack [-h] --stub STUB --output OUTPUT --package FILE ARCH [NAME]...\n"
         "                [--sign-key KEY --sign-cert CERT | --sign-pkcs12 FILE]\n"
         "                [--sign-pass-file FILE | --sign-pass-env NAME] [--sign-time SECONDS]\n"
         "                [--timestamp-url URL]... [--expect-publisher CERT]\n"
         "                [--version-info FIELD=VALUE]... [--icon FILE.ico]\n")
HELP = USAGE + """
Packs installer packages into a copy of the stub. Prints one line on success: the output,
its size, its packages, who signed it and the publisher certificate that silent installs
add to the trusted publishers.

options:
  -h, --help              show this help and exit
  --stub STUB             the built NimbStub.exe
  --output OUTPUT         the executable to write
  --package FILE ARCH [NAME]
                          a package, its architecture (any, x86, amd64 or x64, or a
                          number) and optionally its stored file name; repeat for each
                          package, in the order they are installed. A cabinet beside its
                          MSI must be marked any
  --sign-key KEY          private key (PEM, perhaps encrypted) to sign the output with
  --sign-cert CERT        certificate (PEM or DER) that goes with --sign-key
  --sign-pkcs12 FILE      sign with the key and certificate of a PKCS#12 (.pfx) file
  --sign-pass-file FILE   the passphrase of the key or PKCS#12 file: FILE's first line
  --sign-pass-env NAME    the passphrase of the key or PKCS#12 file: environment variable NAME
  --sign-time SECONDS     signing time as Unix seconds (default: SOURCE_DATE_EPOCH, else now)
  --timestamp-url URL     an RFC 3161 time-stamping server (http or https); repeat to name
                          others, tried in order. When none answers, nothing is written
  --expect-publisher CERT refuse unless the stub carries CERT (PEM or DER) as its
                          publisher certificate
  --version-info FIELD=VALUE
                          set a string of the version block: ProductName, CompanyName,
                          FileDescription, FileVersion, ProductVersion, LegalCopyright,
                          OriginalFilename, InternalName or Comments; a FileVersion or
                          ProductVersion of dotted numbers also sets the block's numbers
  --icon FILE.ico         replace the stub's icon with the images of FILE.ico
"""


class UsageError(Exception):
    pass


class Arguments:
    def __init__(self):
        self.stub = self.output = self.sign_key = self.sign_cert = self.sign_pkcs12 = None
        self.sign_pass_file = self.sign_pass_env = self.expect_publisher = self.icon = None
        self.sign_time = os.environ.get("SOURCE_DATE_EPOCH") or None
        self.package, self.timestamp_url, self.version_info = [], [], []
        self.layout = HEADER_PATH


SINGLE = {"--stub": "stub", "--output": "output", "--sign-key": "sign_key", "--sign-cert": "sign_cert",
          "--sign-pkcs12": "sign_pkcs12", "--sign-pass-file": "sign_pass_file",
          "--sign-pass-env": "sign_pass_env", "--sign-time": "sign_time",
          "--expect-publisher": "expect_publisher", "--icon": "icon", "--layout": "layout"}
REPEATED = {"--timestamp-url": "timestamp_url", "--version-info": "version_info"}


def parse_arguments(argv):
    """The command line. Parsed here rather than by the standard library's parser, which
    alone takes longer to load than the kernel takes to copy a large package."""
    args = Arguments()
    i = 0
    while i < len(argv):
        arg = argv[i]
        i += 1
        if arg in ("-h", "--help"):
            sys.stdout.write(HELP)
            sys.exit(0)
        name, eq, value = arg.partition("=")
        if name in SINGLE or name in REPEATED:
            if not eq:
                if i == len(argv) or argv[i].startswith("--"):
                    raise UsageError("argument %s: expected one argument" % name)
                value = argv[i]
                i += 1
            if name in REPEATED:
                getattr(args, REPEATED[name]).append(value)
            else:
                setattr(args, SINGLE[name], value)
        elif arg == "--package":
            values = []
            while i < len(argv) and not argv[i].startswith("--"):
                values.append(argv[i])
                i += 1
            if len(values) not in (2, 3):
                raise UsageError("--package takes FILE ARCH [NAME], not %d values" % len(values))
            args.package.append(values)
        else:
            raise UsageError("unrecognized argument: %s" % arg)
    missing = [option for option, field in (("--stub", "stub"), ("--output", "output"))
               if getattr(args, field) is None]
    if missing:
        raise UsageError("the following arguments are required: %s" % ", ".join(missing))
    if (args.sign_key is None) != (args.sign_cert is None):
        raise UsageError("--sign-key and --sign-cert go together")
    if args.sign_pkcs12 is not None and args.sign_key is not None:
        raise UsageError("--sign-pkcs12 takes the place of --sign-key and --sign-cert")
    if args.sign_pass_file is not None and args.sign_pass_env is not None:
        raise UsageError("--sign-pass-file and --sign-pass-env exclude each other")
    signing = args.sign_key is not None or args.sign_pkcs12 is not None
    for option, given in (("--sign-pass-file", args.sign_pass_file), ("--sign-pass-env", args.sign_pass_env),
                          ("--timestamp-url", args.timestamp_url)):
        if given and not signing:
            raise UsageError("%s needs a signing key (--sign-key or --sign-pkcs12)" % option)
    for url in args.timestamp_url:
        if not url.lower().startswith(("http://", "https://")):
            raise UsageError("argument --timestamp-url: not an http or https address: '%s'" % url)
    if args.sign_time is not None:
        try:
            args.sign_time = int(args.sign_time)
        except ValueError:
            raise UsageError("argument --sign-time: not a whole number of seconds: '%s'" % args.sign_time)
    return args
