#!/usr/bin/env python3
"""Diagnose every corpus drive with kestrel-cli and hold the figures.

Runs `kestrel-cli --sim FILE --json` on each data/corpus/**/*.scenario from
the build directory (where error.dat and warning.dat are read; smart.dat is
found beside the program), compares its verdicts with the classes the
smartctl reports give (data/corpus/README.md) and exits 1 when a figure
falls short:
  healthy drives   0 % error, at most 1 % warning
  degraded drives  at least 95 % warning or error
  failing drives   100 % error
  attribute rows   at least 99 % named
  plain counts     every raw count smartctl printed as digits equals ours
"""
import argparse
import collections
import concurrent.futures
import glob
import json
import os
import re
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
UNNAMED = "不明な属性"
LEVELS = {0: "normal", 1: "warning", 2: "error", None: "not diagnosed"}
# Ours is a plain count: digits, then at most a unit without digits in it.
PLAIN_OURS = re.compile(r"(\d+) ?([^\d/()+:.,\s][^\d]*)?")
VENDORS = [  # model prefix -> vendor; any other model counts by its first word
    (r"ST\d|SEAGATE", "Seagate"), (r"WD|WDC", "WD"), (r"TOSHIBA|MK\d|DT0|MQ0|HDW", "Toshiba"),
    (r"HITACHI|HT[SE]\d|HD[STPE]\d|HC[CSPT]\d|DK\d", "Hitachi"), (r"HGST|HU[AHS]\d", "HGST"),
    (r"SAMSUNG|MZ", "Samsung"), (r"TS\d", "Transcend"), (r"CT\d|C300|CRUCIAL", "Crucial"),
    (r"HFS", "SK hynix"), (r"M[BMO]\d", "HP"), (r"IBM|IC\d", "IBM"), (r"A-DATA|ADATA", "ADATA"),
    (r"LITEON", "Lite-On"), (r"OCZ", "OCZ"), (r"SP[-\d ]", "Silicon Power"),
]


def read_scenario(path):
    """The comment facts of a corpus scenario: class, model, rows, ..."""
    info = {"path": path, "rows": {}, "thresholds": 0}
    with open(path, encoding="ascii") as f:
        for line in f:
            m = re.match(r"; (\w+): (.*)", line)
            if m and m[1] == "row":
                r = re.match(r'([0-9A-F]{2}) (\S+) when_failed=(\S+) raw="(.*)"', m[2])
                info["rows"][int(r[1], 16)] = (r[2], r[4])
            elif m:
                info[m[1]] = m[2].strip()
            elif line.startswith("Attribute.") and line.split()[-1] != "-":
                info["thresholds"] += 1
    missing = [k for k in ("class", "model", "family") if k not in info]
    if missing or info["class"] not in ("healthy", "degraded", "failing"):
        sys.exit("%s: not made by tools/corpus_convert.py (no class, model or family line)" % path)
    return info


def vendor(model):
    up = model.upper()
    for pattern, name in VENDORS:
        if re.match(pattern, up):
            return name
    return up.split()[0] if " " in up else re.match(r"[A-Z]*", up)[0] or up[:3]


def kind(info):
    rot = info.get("rotation", "")
    if "rpm" in rot:
        return "HDD"
    return "SSD" if "Solid State" in rot or "SSD" in info["model"] + info["family"] else "HDD"


def diagnose(cli, build_dir, info):
    """Adds verdict (trayState, None when not diagnosed), attributes, fault."""
    info["verdict"], info["attrs"], info["fault"] = None, [], None
    try:
        run = subprocess.run([cli, "--sim", os.path.abspath(info["path"]), "--json"], cwd=build_dir,
                             capture_output=True, timeout=120)
    except subprocess.TimeoutExpired:
        info["fault"] = "timed out"
        return info
    lines = run.stdout.decode("utf-8", "replace").strip().splitlines()
    if run.returncode == 1 and info["thresholds"] == 0:
        return info  # the drive lists no threshold: the program finds no attributes
    try:
        if run.returncode != 0:
            raise ValueError
        table = json.loads(lines[-1])
        info["verdict"] = table["trayState"]
        info["attrs"] = table["drives"][0]["attributes"]
    except (IndexError, ValueError, KeyError, TypeError):
        err = run.stderr.decode("utf-8", "replace").strip().replace("\n", " | ")
        info["fault"] = "exit %d, %s" % (run.returncode, err[:200] or "no JSON table")
    return info


def percent(part, whole):
    return 100.0 * part / whole if whole else 100.0


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("--build-dir", default=os.path.join(REPO, "build", "host"),
                    help="build directory to run in (default: build/host)")
    ap.add_argument("--cli", help="kestrel-cli (default: BUILD_DIR/kestrel-cli)")
    ap.add_argument("--corpus", default=os.path.join(REPO, "data", "corpus"))
    ap.add_argument("--verbose", action="store_true", help="list every drive missed")
    args = ap.parse_args()
    cli = os.path.abspath(args.cli or os.path.join(args.build_dir, "kestrel-cli"))
    if not os.access(cli, os.X_OK):
        print("no program %s (build it, or give --cli / --build-dir)" % cli)
        return 1
    paths = sorted(glob.glob(os.path.join(args.corpus, "**", "*.scenario"), recursive=True))
    if not paths:
        print("no scenarios under %s" % args.corpus)
        return 1
    drives = [read_scenario(p) for p in paths]
    with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
        drives = list(pool.map(lambda d: diagnose(cli, args.build_dir, d), drives))

    by_class = collections.defaultdict(list)
    for d in drives:
        by_class[d["class"]].append(d)
    kinds = collections.Counter(kind(d) for d in drives)
    vendors = collections.Counter(vendor(d["model"]) for d in drives)
    print("corpus: %d drives: %s" % (len(drives), ", ".join(
        "%s %d" % (c, len(by_class[c])) for c in ("healthy", "degraded", "failing"))))
    print("coverage: %d vendors by model prefix, HDD %d, SSD %d" % (
        len(vendors), kinds["HDD"], kinds["SSD"]))
    print("  " + ", ".join("%s %d" % kv for kv in sorted(vendors.items(), key=lambda kv: -kv[1])))

    for c in ("healthy", "degraded", "failing"):
        verdicts = collections.Counter(LEVELS[d["verdict"]] for d in by_class[c] if not d["fault"])
        print("  %-8s ours: %s" % (c, ", ".join("%s %d" % kv for kv in sorted(verdicts.items()))))
    failures = [d for d in drives if d["fault"]]
    for d in failures:
        print("FAULT %s: %s" % (os.path.relpath(d["path"], args.corpus), d["fault"]))

    def share(klass, levels):
        group = by_class[klass]
        return percent(sum(d["verdict"] in levels for d in group), len(group))

    figures = [  # (text, value, limit, holds)
        ("healthy drives judged error", share("healthy", {2}), "= 0 %", lambda v: v == 0),
        ("healthy drives judged warning", share("healthy", {1}), "<= 1 %", lambda v: v <= 1),
        ("degraded drives judged warning or error", share("degraded", {1, 2}), ">= 95 %",
         lambda v: v >= 95),
        ("failing drives judged error", share("failing", {2}), "= 100 %", lambda v: v == 100),
    ]
    attrs = [a for d in drives for a in d["attrs"]]
    unnamed = collections.Counter(a["id"] for a in attrs if a["name"] == UNNAMED)
    figures.append(("attribute rows named", percent(len(attrs) - sum(unnamed.values()),
                    len(attrs)), ">= 99 %", lambda v: v >= 99))

    plain, compared, mismatches = 0, 0, []
    for d in drives:
        for a in d["attrs"]:
            name, raw = d["rows"].get(a["id"], ("?", ""))
            if not raw.isdigit():
                continue
            plain += 1
            m = PLAIN_OURS.fullmatch(a["rawText"])
            if m:
                compared += 1
                if int(m[1]) != int(raw):
                    mismatches.append((d, a, name, raw))
    figures.append(("plain counts equal", percent(compared - len(mismatches), compared),
                    "= 100 %", lambda v: not mismatches))

    ok = not failures
    print()
    for text, value, limit, holds in figures:
        good = holds(value)
        ok &= good
        print("%-42s %6.1f %%   (needs %s)%s" % (text, value, limit, "" if good else "  FAILS"))
    print("plain counts compared: %d of %d rows smartctl printed as digits" % (compared, plain))
    for d, a, name, raw in mismatches:
        print("  mismatch %s %s: %02X %s smartctl %s, ours %s" % (
            os.path.relpath(d["path"], args.corpus), d["model"], a["id"], name, raw, a["rawText"]))

    if args.verbose:
        wanted = {"healthy": {0}, "degraded": {1, 2}, "failing": {2}}
        print("\ndrives missed (path, model, class, our verdict, attributes at warning/error):")
        for d in drives:
            if d["verdict"] in wanted[d["class"]] or d["fault"]:
                continue
            raised = ["%02X %s %s (raw %s)" % (a["id"], d["rows"].get(a["id"], ("?",))[0],
                                                a["level"], a["rawText"])
                      for a in d["attrs"] if a["level"] != "normal"]
            print("  %s  %s  %s  ours %s%s" % (
                os.path.relpath(d["path"], args.corpus), d["model"], d["class"],
                LEVELS[d["verdict"]], "".join("\n      " + r for r in raised)))
        print("\nunnamed attribute ids (id: rows, smartctl's names):")
        for rid, count in sorted(unnamed.items()):
            names = collections.Counter(d["rows"].get(rid, ("?",))[0] for d in drives
                                        for a in d["attrs"] if a["id"] == rid
                                        and a["name"] == UNNAMED)
            print("  %02X: %d  %s" % (rid, count, ", ".join(sorted(names))))
    print("\n%s" % ("PASS" if ok else "FAIL"))
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
