"""What the build-time generators share: writing an output file only when its contents
change, so that a regenerated but unchanged file does not rebuild its users."""


def write_if_changed(path, data):
    """Writes DATA (text, stored as UTF-8 with line feeds, or bytes) to PATH unless the file
    already holds exactly that."""
    if isinstance(data, str):
        data = data.encode("utf-8")
    try:
        with open(path, "rb") as f:
            if f.read() == data:
                return
    except OSError:
        pass
    with open(path, "wb") as f:
        f.write(data)
