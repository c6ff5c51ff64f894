#!/usr/bin/env python3
"""Writes a UTF-8 text file as a Windows user's text: code page 932 with
CR LF line ends.

    to_cp932.py INPUT OUTPUT

The help page and the distribution's scenario.ini go through it. A
character that code page 932 does not have is an error.
"""
import pathlib
import sys


def main() -> int:
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    source, target = (pathlib.Path(a) for a in sys.argv[1:])
    text = source.read_text(encoding="utf-8")
    try:
        data = text.replace("\r\n", "\n").replace("\n", "\r\n").encode("cp932")
    except UnicodeEncodeError as e:
        line = text.count("\n", 0, e.start) + 1
        print(f"{source}:{line}: {text[e.start]!r} has no code-page-932 form", file=sys.stderr)
        return 1
    target.parent.mkdir(parents=True, exist_ok=True)
    target.write_bytes(data)
    return 0


if __name__ == "__main__":
    sys.exit(main())
