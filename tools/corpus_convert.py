#!/usr/bin/env python3
"""Turn smartctl reports into Kestrel scenario files, one drive each.

    tools/corpus_convert.py --out data/corpus REPORT_OR_FOLDER...

A report is a text file: an excerpt as kept in the corpus (a "# source:"
line, the information lines, the health line, the attribute table) or a
whole `smartctl -a` / `-x` report as pasted. A folder stands for every
*.txt file in it. Each report becomes OUT/<group>/<name>.scenario, where
<group> is the report's folder name (or --group) and <name> its file name
without ".txt". A report that cannot be converted is skipped with one line
on standard error, and a scenario left from an earlier run under its name
is removed. The comment lines are described in data/corpus/README.md.
"""
import argparse
import hashlib
import os
import re
import sys
import tempfile

MAX48 = (1 << 48) - 1
FLAG_BITS = "POSRCK"  # bit 0 .. bit 5 of the short form
DEFECT_IDS = (0x05, 0xC5, 0xC6)
DEFECT_NAME = re.compile(r"Realloc|Retired|Pending|Uncorrect|UNC|Fail|Bad", re.I)


class Skip(Exception):
    """The report cannot become a scenario; the text says why."""


# ---------------------------------------------------------------- raw values
# smartctl prints the raw bytes of some attributes in a chosen format. FMT
# prints a value (the 48 raw bits, or 56 with the reserved byte on top) as
# smartctl does, so that each inversion below can be checked by printing it
# back.

def _b(v, i):
    return (v >> (8 * i)) & 0xFF


def _w(v, i):
    return (v >> (16 * i)) & 0xFFFF


def _s8(x):
    return x - 256 if x > 127 else x


def _temp_word(w):
    return 0x11 if w <= 0x7F else 0x01 if w <= 0xFF else 0x10 if w >= 0xFF80 else 0


def _temp_range(t, a, b):
    lo, hi = sorted((_s8(a), _s8(b)))
    ok = -60 <= lo <= t <= hi <= 120 and not (lo == -1 and hi <= 0)
    return (lo, hi) if ok else None


def _tempminmax(v):
    t, w0, w1, w2 = _s8(_b(v, 0)), _w(v, 0), _w(v, 1), _w(v, 2)
    c0, r, count = _temp_word(w0), None, None
    if not w2:
        if not w1 and c0:
            return str(t)
        r = (c0 and _temp_range(t, _b(v, 2), _b(v, 3))) or (
            not _b(v, 3) and _temp_range(t, _b(v, 1), _b(v, 2)))
    elif c0:
        if c0 & _temp_word(w1) & _temp_word(w2):
            r = _temp_range(t, _b(v, 2), _b(v, 4))
        if not r and w2 < 0x7FFF:
            r = _temp_range(t, _b(v, 2), _b(v, 3))
            r, count = (r, w2) if r and r[1] >= 40 else (None, None)
    if not r:
        return "%d (%d %d %d %d %d)" % tuple(_b(v, i) for i in (0, 5, 4, 3, 2, 1))
    return "%d (Min/Max %d/%d%s)" % (t, r[0], r[1], " #%d" % count if count else "")


def _msec24hour32(v):
    ms = v >> 32
    return "%dh+%02dm+%02d.%03ds" % (v & 0xFFFFFFFF, ms // 1000 // 60, ms // 1000 % 60, ms % 1000)


FMT = {
    "raw48": lambda v: str(v) if v <= MAX48 else "",
    "raw56": str,
    "hex56": lambda v: "0x%014x" % v,
    "raw8": lambda v: " ".join(str(_b(v, i)) for i in range(5, -1, -1)),
    "raw16": lambda v: "%d %d %d" % (_w(v, 2), _w(v, 1), _w(v, 0)),
    "hex48": lambda v: "0x%012x" % v,
    "raw16(raw16)": lambda v: str(_w(v, 0)) + (" (%d %d)" % (_w(v, 2), _w(v, 1)) if v >> 16 else ""),
    "raw16(avg16)": lambda v: str(_w(v, 0)) + (" (Average %d)" % _w(v, 1) if _w(v, 1) else ""),
    "raw24(raw8)": lambda v: str(v & 0xFFFFFF) + (
        " (%d %d %d)" % (_b(v, 5), _b(v, 4), _b(v, 3)) if v >> 24 else ""),
    "raw24/raw24": lambda v: "%d/%d" % (v >> 24, v & 0xFFFFFF),
    "raw24/raw32": lambda v: "%d/%d" % (v >> 32, v & 0xFFFFFFFF),
    "z54z10": lambda v: "%d/%d" % (_w(v, 2), _w(v, 0)),  # raw24/raw24 of bytes 5 4 and 1 0
    "min2hour": lambda v: "%dh+%02dm" % divmod(v & 0xFFFFFFFF, 60) + (
        " (%d)" % _w(v, 2) if _w(v, 2) else ""),
    "halfmin2hour": lambda v: "%dh+%02dm" % (v // 120, v % 120 // 2),
    "sec2hour": lambda v: "%dh+%02dm+%02ds" % (v // 3600, v % 3600 // 60, v % 60),
    "msec24hour32": _msec24hour32,
    "tempminmax": _tempminmax,
    "temp10x": lambda v: "%d.%d" % divmod(_w(v, 0), 10),
}

_N = r"(-?\d+)"


def _hwords(t, lo, hi):  # temperature, min and max in words 0, 1, 2
    return (t & 0xFFFF) | (lo & 0xFFFF) << 16 | (hi & 0xFFFF) << 32


def _hbytes(t, lo, hi):  # min and max in bytes 2 and 3
    return (t & 0xFF) | (lo & 0xFF) << 16 | (hi & 0xFF) << 24


def _hlow(t, lo, hi):  # min and max in bytes 1 and 2
    return (t & 0xFF) | (lo & 0xFF) << 8 | (hi & 0xFF) << 16


FORMS = [  # pattern of the printed text; (format, value from the numbers) to try in turn
    (r"\d+", [("raw48", lambda n: n), ("raw56", lambda n: n)]),
    (r"-\d+", [("tempminmax", lambda t: t & 0xFF)]),
    (_N + r" \(Min/Max %s/%s\)" % (_N, _N),
     [("tempminmax", _hwords), ("tempminmax", _hbytes), ("tempminmax", _hlow)]),
    (_N + r" \(Min/Max %s/%s #(\d+)\)" % (_N, _N),
     [("tempminmax", lambda t, lo, hi, c: _hbytes(t, lo, hi) | c << 32)]),
    (r"(\d+) \((\d+) (\d+) (\d+) (\d+) (\d+)\)",
     [("tempminmax", lambda b0, b5, b4, b3, b2, b1:
       b0 | b1 << 8 | b2 << 16 | b3 << 24 | b4 << 32 | b5 << 40)]),
    (r"(\d+) \((\d+) (\d+)\)", [("raw16(raw16)", lambda w0, w2, w1: w0 | w1 << 16 | w2 << 32)]),
    (r"(\d+) \(Average (\d+)\)", [("raw16(avg16)", lambda w0, w1: w0 | w1 << 16)]),
    (r"(\d+) \((\d+) (\d+) (\d+)\)",
     [("raw24(raw8)", lambda n, b5, b4, b3: n | b3 << 24 | b4 << 32 | b5 << 40)]),
    (r"(\d+)h\+(\d+)m",
     [("min2hour", lambda h, m: h * 60 + m), ("halfmin2hour", lambda h, m: h * 120 + m * 2)]),
    (r"(\d+)h\+(\d+)m \((\d+)\)", [("min2hour", lambda h, m, w2: h * 60 + m | w2 << 32)]),
    (r"(\d+)h\+(\d+)m\+(\d+)s", [("sec2hour", lambda h, m, s: h * 3600 + m * 60 + s)]),
    (r"(\d+)h\+(\d+)m\+(\d+)\.(\d{3})s",
     [("msec24hour32", lambda h, m, s, ms: h | ((m * 60 + s) * 1000 + ms) << 32)]),
    (r"(\d+)/(\d+)", [("raw24/raw24", lambda a, b: a << 24 | b),
                      ("raw24/raw32", lambda a, b: a << 32 | b),
                      ("z54z10", lambda a, b: a << 32 | b)]),
    (r"(\d+) (\d+) (\d+)", [("raw16", lambda w2, w1, w0: w0 | w1 << 16 | w2 << 32)]),
    (r"(\d+) (\d+) (\d+) (\d+) (\d+) (\d+)",
     [("raw8", lambda *b: sum(x << (8 * (5 - i)) for i, x in enumerate(b)))]),
    (r"0x([0-9a-fA-F]{12})", [("hex48", lambda h: h)]),
    (r"0x([0-9a-fA-F]{14})", [("hex56", lambda h: h)]),
    (r"(\d+)\.(\d)", [("temp10x", lambda a, d: a * 10 + d)]),
]


def _rank(fmt, name, family):
    """0 for a format smartctl's drive table gives this attribute, 2 for one
    it does not, 1 for the default."""
    hint = {"halfmin2hour": "half" in name.lower(),
            "z54z10": name == "Bad_Blk_Ct_Erl/Lat",
            "raw24/raw32": "SandForce" in family or name.startswith("Thermal_Throttle")}
    return 1 if fmt not in hint else 0 if hint[fmt] else 2


def invert_raw(text, name, family, no_normval):
    """The raw value smartctl printed as `text`.

    Returns (raw48, fmt, approx, current_worst): approx is True when the 48
    bits cannot print back as `text` (the value reached into the reserved
    byte); current_worst is set when smartctl printed no normalized values
    because its format took those bytes into the raw value. Bytes smartctl
    does not show are taken as zero."""
    if no_normval and re.fullmatch(r"\d+|0x[0-9a-fA-F]{16}", text):
        v = int(text, 0)  # raw64 / hex64: raw bytes 5..0, worst, current
        if v >> 64:
            raise Skip("raw value %r above 64 bits" % text)
        return v >> 16, "raw64", False, (v & 0xFF, v >> 8 & 0xFF)
    if no_normval:
        raise Skip("no normalized value printed beside raw %r" % text)
    for pattern, candidates in FORMS:
        m = re.fullmatch(pattern, text)
        if not m:
            continue
        hexa = text.startswith("0x")
        nums = [int(g, 16 if hexa else 10) for g in m.groups()] or [int(text)]
        for fmt, build in sorted(candidates, key=lambda c: _rank(c[0], name, family)):
            value = build(*nums)
            if 0 <= value < 1 << 56 and FMT[fmt](value) == text:
                return value & MAX48, fmt, value > MAX48, None
        raise Skip("raw value %r does not print back as %s" % (text, candidates[0][0]))
    raise Skip("raw value form not understood: %r" % text)


# ------------------------------------------------------------------ reports

LONG_ROW = re.compile(r"\s*(\d+)\s+(\S+)\s+(0x[0-9a-fA-F]{4})\s+(\d+|---)\s+(\d+|---)\s+(\d+|---)"
                      r"\s+(?:Pre-fail|Old_age)\s+(?:Always|Offline)\s+(-|FAILING_NOW|In_the_past)"
                      r"\s+(\S.*?)\s*")
BRIEF_ROW = re.compile(r"\s*(\d+)\s+(\S+)\s+([P-][O-][S-][R-][C-][K-]\+?)\s+(\d+|---)\s+(\d+|---)"
                       r"\s+(\d+|---)\s+(-|NOW|Past)\s+(\S.*?)\s*")
INFO_KEYS = ("Model Family", "Device Model", "Firmware Version", "User Capacity",
             "ATA Version is", "SATA Version is", "Rotation Rate")


def read_table(lines, start):
    """Rows of the attribute table whose header is lines[start]."""
    header = lines[start].split()
    row_re = BRIEF_ROW if "FLAGS" in header else LONG_ROW if "WHEN_FAILED" in header else None
    if row_re is None:
        raise Skip("attribute table header with odd columns")
    rows = []
    for line in lines[start + 1:]:
        m = row_re.fullmatch(line)
        if m:
            rows.append(m.groups())
        elif re.match(r"\s*\d+\s", line):
            raise Skip("attribute row with odd columns or cut off: %r" % line.strip())
        else:
            break
    return rows


def parse_report(text):
    lines = text.lstrip("\ufeff").replace("\r", "").split("\n")
    info, source, health, table = {}, None, None, None
    for i, line in enumerate(lines):
        if source is None and line.startswith("# source:"):
            source = line.split(":", 1)[1].strip()
        elif line.startswith("ID#") and "ATTRIBUTE_NAME" in line:
            after_failed = i > 0 and lines[i - 1].strip() == "Failed Attributes:"
            if table is None or table[0]:
                table = (after_failed, read_table(lines, i))
        elif line.startswith("SMART overall-health self-assessment test result:"):
            word = line.split(":", 1)[1].strip()
            health = "PASSED" if word == "PASSED" else "FAILED" if word.startswith("FAILED") \
                else "unknown"
        elif table is None and ":" in line:
            key, value = (s.strip() for s in line.split(":", 1))
            if key in INFO_KEYS and key not in info:
                info[key] = value
            elif key == "ATA Standard is" and "ATA Version is" not in info:
                info[key] = value
    if table is None or not table[1]:
        raise Skip("no attribute table")
    if table[0]:
        raise Skip("only the failed attributes are listed")
    if "Device Model" not in info:
        raise Skip("no Device Model line")
    return info, source, health or "unknown", table[1]


def ata_major(text):
    """IDENTIFY word 80 for the highest version an "ATA Version is" line names."""
    first = text.split(",")[0].strip()
    if re.fullmatch(r"\d+", first):
        n = int(first)
    elif first.startswith("ATA8-ACS"):
        n = 8
    elif m := re.match(r"ACS-(\d+)", first):
        n = 7 + int(m.group(1))
    elif m := re.match(r"ATA(?:/ATAPI)?-(\d+)", first):
        n = int(m.group(1))
    else:
        return None
    return (1 << (n + 1)) - 2 if 1 <= n <= 14 else None


def convert(text, group, stem, source=None):
    """The scenario text of one report, and its class."""
    info, own_source, health, table = parse_report(text)
    family = info.get("Model Family", "-")
    if len(table) > 30:
        raise Skip("%d attribute rows, a drive has 30 at most" % len(table))
    rows, seen, failing, degraded = [], set(), health == "FAILED", False
    for rid, name, flags, cur, worst, thresh, when, raw in table:
        rid = int(rid)
        if not 1 <= rid <= 255 or rid in seen:
            raise Skip("attribute id %d out of range or twice" % rid)
        seen.add(rid)
        no_norm = cur == "---"
        value, fmt, approx, cw = invert_raw(raw, name, family, no_norm)
        notes = [] if fmt == "raw48" else ["fmt=" + fmt]
        notes += ["approx=1"] if approx else []
        if cw:
            cur, worst = cw
        elif worst == "---":
            worst, notes = cur, notes + ["worst=unknown"]
        cur, worst = int(cur), int(worst)
        if flags.startswith("0x"):
            bits = int(flags, 16)
        else:
            bits = sum(1 << FLAG_BITS.index(c) for c in flags if c in FLAG_BITS)
            notes += ["flags_extra=1"] if flags.endswith("+") else []
        th = None if thresh == "---" else int(thresh)
        if max(cur, worst, th or 0) > 255:
            raise Skip("attribute %d: a value above 255" % rid)
        failing |= when in ("NOW", "FAILING_NOW") or (not no_norm and bool(th) and cur <= th)
        degraded |= when in ("Past", "In_the_past") or (not no_norm and bool(th) and worst <= th)
        count = re.match(r"\d+", raw)
        degraded |= (rid in DEFECT_IDS and bool(DEFECT_NAME.search(name))
                     and count is not None and int(count.group(0)) > 0)
        rows.append(("; row: %02X %s when_failed=%s raw=\"%s\"" % (rid, name, when, raw)
                     + "".join(" " + n for n in notes),
                     "Attribute.%02X = 0x%04X %d %d %d %s" % (
                         rid, bits, cur, worst, value, "-" if th is None else th)))
    klass = "failing" if failing else "degraded" if degraded else "healthy"

    model = info["Device Model"]
    serial = "CORPUS%s%s" % (group, stem)
    if len(serial) > 20:
        serial = "CORPUS" + hashlib.sha1(serial.encode()).hexdigest()[:12].upper()
    out = ["; Kestrel corpus drive, made by tools/corpus_convert.py from a smartctl report.",
           "; source: %s" % (own_source or source or "unknown"),
           "; family: %s" % family,
           "; model: %s" % model,
           "; rotation: %s" % info.get("Rotation Rate", "unknown"),
           "; health: %s" % health,
           "; class: %s" % klass]
    out += [r[0] for r in rows]
    out += ["", "[Platform]", "Uptime = 3600", "Clock = 2026-01-01 09:00:00", "", "[Drive0]",
            'Model = "%s"' % model, 'Serial = "%s"' % serial,
            'Firmware = "%s"' % info.get("Firmware Version", "")]
    cap = re.match(r"([\d][\d,. '\u00a0\u202f]*?)\s*bytes", info.get("User Capacity", ""))
    if cap:
        out.append("Sectors = %d" % (int(re.sub(r"\D", "", cap.group(1))) // 512))
    if "SATA Version is" in info:
        out.append("SerialAta = 1")
    major = ata_major(info.get("ATA Version is", info.get("ATA Standard is", "")))
    if major:
        out.append("Major = 0x%04X" % major)
    if health == "FAILED":
        out.append("Status = exceeded")
    out += [r[1] for r in rows]
    scenario = "\n".join(out) + "\n"
    validate(scenario)
    return scenario, klass


# ------------------------------------------------------- the parsing rules

def validate(scenario):
    """Raises Skip unless the scenario holds to the scenario file rules."""
    if not scenario.isascii():
        raise Skip("text outside ASCII")
    section, ids = None, set()
    limits = {"sectors": MAX48, "major": 0xFFFF, "serialata": 1, "uptime": 0xFFFFFFFF}
    for line in scenario.split("\n"):
        line = line.strip()
        if not line or line.startswith(";"):
            continue
        if line.startswith("["):
            section = line.strip("[]").lower()
            continue
        key, value = (s.strip() for s in line.split("=", 1))
        k = key.lower()
        if section not in ("platform", "drive0"):
            raise Skip("bad section %r" % section)
        if k in ("model", "serial", "firmware"):
            size = {"model": 40, "serial": 20, "firmware": 8}[k]
            text = value[1:-1]
            if not (value[0] == value[-1] == '"') or '"' in text or len(text) > size \
                    or not text.isascii() or not text.isprintable():
                raise Skip("%s %r is not printable ASCII of %d characters at most" % (key, text, size))
        elif k in limits:
            if int(value, 0) > limits[k]:
                raise Skip("%s out of range" % key)
        elif k.startswith("attribute."):
            hh = key[10:]
            t = value.split()
            if not re.fullmatch(r"[0-9A-F]{2}", hh) or hh == "00" or hh in ids or len(t) != 5:
                raise Skip("bad attribute line %r" % line)
            ids.add(hh)
            if int(t[0], 16) > 0xFFFF or int(t[1]) > 255 or int(t[2]) > 255 or int(t[3]) > MAX48 \
                    or (t[4] != "-" and int(t[4]) > 255):
                raise Skip("attribute line out of range: %r" % line)
        elif k not in ("clock", "status"):
            raise Skip("unknown key %r" % key)
    if not ids or len(ids) > 30:
        raise Skip("%d attributes" % len(ids))


# --------------------------------------------------------------------- main

def write_atomic(path, text):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    fd, tmp = tempfile.mkstemp(dir=os.path.dirname(path), prefix=".tmp-")
    try:
        with os.fdopen(fd, "w", encoding="ascii", newline="\n") as f:
            f.write(text)
        os.replace(tmp, path)
    except BaseException:
        os.unlink(tmp)
        raise


def reports(paths):
    for p in paths:
        if os.path.isdir(p):
            for root, dirs, files in os.walk(p):
                dirs.sort()
                for f in sorted(files):
                    if f.endswith(".txt"):
                        yield os.path.join(root, f)
        else:
            yield p


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--out", required=True, help="corpus folder, e.g. data/corpus")
    ap.add_argument("--group", help="group folder for all reports (default: each report's folder)")
    ap.add_argument("--source", help="address for reports without a '# source:' line")
    ap.add_argument("reports", nargs="+", help="report files or folders of *.txt reports")
    args = ap.parse_args()
    counts, skipped = {}, 0
    for path in reports(args.reports):
        group = args.group or os.path.basename(os.path.dirname(os.path.abspath(path)))
        stem = os.path.splitext(os.path.basename(path))[0]
        target = os.path.join(args.out, group, stem + ".scenario")
        try:
            with open(path, encoding="utf-8", errors="replace") as f:
                scenario, klass = convert(f.read(), group, stem, args.source)
        except (Skip, OSError) as e:
            print("%s: skipped: %s" % (path, e), file=sys.stderr)
            skipped += 1
            if os.path.exists(target):
                os.unlink(target)
            continue
        write_atomic(target, scenario)
        counts[klass] = counts.get(klass, 0) + 1
    print("written %d (%s), skipped %d" % (
        sum(counts.values()), ", ".join("%s %d" % kv for kv in sorted(counts.items())), skipped))
    return 0


if __name__ == "__main__":
    sys.exit(main())
