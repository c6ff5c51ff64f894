#!/usr/bin/env python3
"""Writes the shipped data files from their sources in data/src.

    gen_data.py OUTPUT_DIR

data/src/smart.ini and nvme.ini (UTF-8)  ->  OUTPUT_DIR/smart.dat (code page
                                            932, CR LF)
data/src/limits.ini          ->  OUTPUT_DIR/error.dat, warning.dat (256 bytes)

The build runs it; the files land beside the programs.
"""
import configparser
import pathlib
import sys

root = pathlib.Path(__file__).resolve().parent.parent
src = root / "data" / "src"
out = pathlib.Path(sys.argv[1])
out.mkdir(parents=True, exist_ok=True)

text = "\n".join((src / name).read_text(encoding="utf-8") for name in ("smart.ini", "nvme.ini"))
(out / "smart.dat").write_bytes(text.replace("\n", "\r\n").encode("cp932"))

limits = configparser.ConfigParser()
limits.optionxform = str
limits.read(src / "limits.ini", encoding="utf-8")
for section, name, default in (("Error", "error.dat", 1), ("Warning", "warning.dat", 15)):
    table = bytearray([default] * 256)
    for key, value in limits[section].items():
        table[int(key, 16)] = int(value) & 0xFF
    (out / name).write_bytes(bytes(table))
