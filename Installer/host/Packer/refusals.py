"""What every part of the packer raises to stop a run: a refusal, printed as one line."""


class Refusal(Exception):
    """A reason not to pack, printed as one line."""


def one_line(text):
    """Shows a name with anything unprintable escaped, so a message stays on one line."""
    return "".join(c if c.isprintable() else "\\x%02x" % ord(c) if ord(c) < 0x100
                   else "\\u%04x" % ord(c) for c in text)
