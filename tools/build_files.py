"""Helpers of the build's generators."""


def write_if_changed(path, data):
    """Writes DATA (bytes) to PATH unless the file already holds exactly that, so that
    what depends on the file is not rebuilt for nothing."""
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    with open(path, "wb") as f:
        f.write(data)
