#!/usr/bin/env python3
"""The Debian package: built by CPack from the build tree, its files where
Debian and systemd look for them, its control data, the installed program
diagnosing from the installed data alone, the manual page and the unit."""
import argparse
import gzip
import json
import os
import shutil
import subprocess
import sys
from pathlib import Path

HERE = Path(__file__).resolve().parent
SOURCE = HERE.parent.parent

PACKAGED = [
    "usr/bin/kestrel-cli",
    "usr/share/kestrel/smart.dat",
    "usr/share/kestrel/error.dat",
    "usr/share/kestrel/warning.dat",
    "usr/share/kestrel/html/images/icon-tri01.gif",
    *(f"usr/share/kestrel/html/{s}/{p}.html" for s in ("normal", "warning", "error")
      for p in ("index", "header", "service", "footer")),
    "usr/share/man/man1/kestrel-cli.1.gz",
    "lib/systemd/system/kestrel.service",
    "etc/logrotate.d/kestrel",
]

failures = []


def check(condition, text):
    if not condition:
        failures.append(text)
        print("FAIL:", text)


def run(args, **kwargs):
    return subprocess.run([str(a) for a in args], capture_output=True, text=True, **kwargs)


def need(tool):
    if shutil.which(tool) is None:
        sys.exit(f"{tool} is missing: scripts/install-deps.sh host installs it")


def build_package(cpack, build_dir, out):
    result = run([cpack, "-G", "DEB", "--config", build_dir / "CPackConfig.cmake", "-B", out],
                 cwd=build_dir)
    debs = sorted(out.glob("kestrel_*.deb"))
    if result.returncode != 0 or len(debs) != 1:
        sys.exit(f"cpack made no package:\n{result.stdout}{result.stderr}")
    return debs[0]


def check_contents(deb, control):
    listing = run(["dpkg-deb", "-c", deb]).stdout.splitlines()
    paths = {line.split()[-1].removeprefix("./"): line.split()[0] for line in listing}
    for path in PACKAGED:
        check(path in paths, f"the package lacks /{path}")
    check(paths.get("usr/bin/kestrel-cli", "").startswith("-rwxr-xr-x"),
          "/usr/bin/kestrel-cli is not executable by all")
    # Installed from the build's own list, never what runs left in html/.
    check(not any(p.endswith("report.html") for p in paths), "the package ships a report")

    fields = {f: run(["dpkg-deb", "-f", deb, f]).stdout.strip()
              for f in ("Package", "Maintainer", "Description", "Depends")}
    check(fields["Package"] == "kestrel", f"package name {fields['Package']!r}")
    check(fields["Maintainer"] and fields["Description"], "no maintainer or description")
    check("libc6" in fields["Depends"], f"dependencies {fields['Depends']!r} lack libc6")

    run(["dpkg-deb", "-e", deb, control], check=True)
    conffiles = (control / "conffiles").read_text().split()
    check(conffiles == ["/etc/logrotate.d/kestrel"], f"conffiles {conffiles}")
    for script in ("postinst", "prerm", "postrm"):
        result = run(["sh", "-n", control / script])
        check(result.returncode == 0, f"{script} does not parse: {result.stderr}")


def check_installed_program(root, work):
    """The extracted program, run from an empty directory, must take the
    definitions and limits from its own /usr/share/kestrel."""
    work.mkdir()
    result = run([root / "usr/bin/kestrel-cli", "--sim", HERE / "watch.scenario", "--json",
                  "--verbose"], cwd=work)
    check(result.returncode == 0, f"installed kestrel-cli exit {result.returncode}: "
          f"{result.stderr}")
    check("no definition file" not in result.stderr, "the installed smart.dat was not found")
    drive = json.loads(result.stdout.splitlines()[-1])["drives"][0]
    names = {a["id"]: a["name"] for a in drive["attributes"]}
    check(names.get(1) == "リードエラーレート" and names.get(9) == "使用時間",
          f"attributes not named from the installed smart.dat: {names}")
    levels = {a["id"]: a["level"] for a in drive["attributes"]}
    check(levels.get(1) == "normal",
          f"attribute 01 is {levels.get(1)}: the installed limit files were not read")


def check_manual_page(root):
    page = gzip.decompress((root / "usr/share/man/man1/kestrel-cli.1.gz").read_bytes())
    need("groff")
    result = subprocess.run(["groff", "-man", "-ww", "-z"], input=page, capture_output=True)
    check(result.returncode == 0 and not result.stderr,
          f"the manual page has faults: {result.stderr.decode(errors='replace')}")


def check_unit(root, work):
    """systemd-analyze verify, with the unit's program at the extracted one
    (verify wants it to exist), says nothing; the hardening keeps the
    exposure low."""
    need("systemd-analyze")
    text = (root / "lib/systemd/system/kestrel.service").read_text()
    check("ExecStart=/usr/bin/kestrel-cli --watch /l /var/log/kestrel/kestrel.log" in text,
          "the unit runs another command")
    unit = work / "kestrel.service"
    unit.write_text(text.replace("/usr/bin/kestrel-cli", str(root / "usr/bin/kestrel-cli")))
    result = run(["systemd-analyze", "verify", "--man=no", unit])
    check(result.returncode == 0 and not (result.stdout + result.stderr).strip(),
          f"systemd-analyze verify: {result.stdout}{result.stderr}")
    result = run(["systemd-analyze", "security", "--offline=yes", "--threshold=30", unit])
    check(result.returncode == 0,
          "exposure above 3.0: " + (result.stdout.strip().splitlines() or [""])[-1])


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cpack", required=True)
    parser.add_argument("--build-dir", required=True, type=Path)
    parser.add_argument("--out", required=True, type=Path)
    args = parser.parse_args()
    need("dpkg-deb")

    shutil.rmtree(args.out, ignore_errors=True)
    args.out.mkdir(parents=True)
    deb = build_package(args.cpack, args.build_dir, args.out / "cpack")
    print("package:", deb.name)
    check_contents(deb, args.out / "control")
    root = args.out / "root"
    run(["dpkg-deb", "-x", deb, root], check=True)
    check_installed_program(root, args.out / "run")
    check_manual_page(root)
    check_unit(root, args.out)
    if failures:
        sys.exit(f"{len(failures)} failure(s)")
    print("all checks passed")


if __name__ == "__main__":
    main()
