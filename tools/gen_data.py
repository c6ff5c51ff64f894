#!/usr/bin/env python3
"""Writes the shipped data files from their sources in data/src.

data/src/smart.ini (UTF-8)  ->  data/smart.dat (code page 932)
data/src/limits.ini          ->  data/error.dat, data/warning.dat (256 bytes)

Run it after editing a source; the tests check that the files agree.
"""
import configparser
import pathlib

root = pathlib.Path(__file__).resolve().parent.parent
src = root / "data" / "src"

text = (src / "smart.ini").read_text(encoding="utf-8")
(root / "data" / "smart.dat").write_bytes(text.replace("\n", "\r\n").encode("cp932"))

limits = configparser.ConfigParser()
limits.optionxform = str
limits.read(src / "limits.ini", encoding="utf-8")
for section, name, default in (("Error", "error.dat", 1), ("Warning", "warning.dat", 15)):
    table = bytearray([default] * 256)
    for key, value in limits[section].items():
        table[int(key, 16)] = int(value) & 0xFF
    (root / "data" / name).write_bytes(bytes(table))
