"""What the build-time generators in this folder share: writing an output file only when
its text changes, so that a regenerated but unchanged file does not rebuild its users."""


def write_if_changed(path, text):
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return
    except FileNotFoundError:
        pass
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(text)
