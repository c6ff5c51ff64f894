#!/usr/bin/env python3
"""kestrel-cli on real ATA devices: the disks QEMU emulates, one on an AHCI
port and one on the PIIX IDE channel, reached through Linux's libata and
SCSI layers in a small guest (software emulation).

    emulated_disks_test.py KESTREL_CLI_STATIC DATA_DIR WORK_DIR

DATA_DIR holds smart.dat, error.dat and warning.dat. Checks the identity,
the SMART attributes and the health kestrel-cli reports against what the
QEMU command line and QEMU's drive model give, that the scan switches
SMART on, that an ATA error comes back as the drive's registers, that an
idle watch logs nothing and that a watch ends cleanly on SIGTERM and
SIGINT; then prints the time of a diagnosis and the memory of a watch next
to smartctl's and smartd's, measured in the same guest (guest_init.sh).
"""
import base64
import gzip
import io
import json
import os
import re
import shutil
import statistics
import subprocess
import sys
import tarfile

HERE = os.path.dirname(os.path.abspath(__file__))
MODULES = ["crct10dif_generic", "crc64_rocksoft_generic", "ahci", "ata_piix", "sd_mod", "sg"]
RUNS = 7

# The disks: identity as the QEMU command line gives it (model up to 40
# characters, serial up to 20, firmware up to 8; the AHCI disk uses every
# character) and the image size.
DISKS = {
    "ahci": dict(bus="ahci.0", model="KESTREL SATA TEST DISK 0123456789ABCDEFG",
                 serial="KS-AHCI-000000000001", firmware="K1.23.45", size=2621440000),
    "ide": dict(bus="ide.0", model="KESTREL PATA DISK", serial="KS-PIIX-2",
                firmware="K2", size=536870912),
}

# QEMU's drive model as smartctl read it in this guest (raw values with
# "-v N,raw48"): id, flags, current, worst, raw value, threshold. The same
# for every disk.
EXPECTED_ATTRIBUTES = [
    (1, 0x0003, 100, 100, 0, 6),
    (3, 0x0003, 100, 100, 16, 0),
    (4, 0x0002, 100, 100, 100, 20),
    (5, 0x0003, 100, 100, 0, 36),
    (9, 0x0003, 100, 100, 1, 0),
    (12, 0x0003, 100, 100, 0, 0),
    (190, 0x0003, 69, 69, 0x1F1F001F, 50),
]
# The shipped definitions keep only the low byte of 190's raw value (the
# temperature); the one-shot diagnosis runs with a definition file that
# keeps every raw value whole.
SHIPPED_RAW_MASKS = {190: 0xFF}
WHOLE_RAW_DEFINITIONS = "[Default Drive]\n" + "".join(
    f'{i:02X}=Attribute {i:02X}|Test attribute|,,,"#"\n' for i in range(1, 256))
# Its identity, as smartctl also reads it: word 80 claims ATA/ATAPI-7 at
# most, word 81 is 0x0016, and word 222 has no Serial ATA mark, on either
# bus.
EXPECTED_MAJOR_VERSION = 7
EXPECTED_MINOR_VERSION = "ATA/ATAPI-5 published, ANSI INCITS 340-2000"
EXPECTED_SERIAL_ATA = False


class Checks:
    def __init__(self):
        self.passed = 0
        self.failed = 0

    def expect(self, ok, what, detail=""):
        if ok:
            self.passed += 1
        else:
            self.failed += 1
            print(f"FAILED: {what}" + (f"\n  {detail}" if detail else ""))

    def equal(self, actual, expected, what):
        self.expect(actual == expected, what, f"got {actual!r}, want {expected!r}")


def run(cmd, **kw):
    return subprocess.run(cmd, check=True, capture_output=True, text=True, **kw).stdout


def find_kernel():
    versions = sorted((v for v in os.listdir("/lib/modules")
                       if os.path.exists(f"/boot/vmlinuz-{v}")),
                      key=lambda v: [(int(p), "") if p.isdigit() else (-1, p)
                                     for p in re.split(r"[.-]", v)])
    if not versions:
        sys.exit("no kernel with modules in /boot (linux-image-amd64)")
    if not os.access(f"/boot/vmlinuz-{versions[-1]}", os.R_OK):
        sys.exit(f"/boot/vmlinuz-{versions[-1]} is readable by root only")
    return versions[-1]


def module_order(kver):
    """The modules to insert, each after the ones it depends on."""
    order, seen = [], set()

    def visit(name):
        name = name.replace("-", "_")
        if name in seen:
            return
        seen.add(name)
        path = run(["modinfo", "-k", kver, "-n", name]).strip()
        if path in ("(builtin)", ""):
            return
        for dep in run(["modinfo", "-k", kver, "-F", "depends", name]).strip().split(","):
            if dep:
                visit(dep)
        order.append((name, path))

    for m in MODULES:
        visit(m)
    return order


def copy_with_libraries(program, root):
    shutil.copy2(program, root + "/bin/")
    for line in run(["ldd", program]).splitlines():
        m = re.search(r"(/\S+) \(0x", line)
        if m:
            lib = m.group(1)
            os.makedirs(root + os.path.dirname(lib), exist_ok=True)
            shutil.copy2(os.path.realpath(lib), root + lib)


def build_initramfs(cli, data_dir, kver, work):
    root = os.path.join(work, "root")
    shutil.rmtree(root, ignore_errors=True)
    for d in ("bin", "dev", "proc", "sys", "tmp", "etc", "lib/modules", "opt/kestrel"):
        os.makedirs(os.path.join(root, d))
    shutil.copy2("/bin/busybox", root + "/bin/busybox")
    shutil.copy2(os.path.join(HERE, "guest_init.sh"), root + "/init")
    os.chmod(root + "/init", 0o755)
    shutil.copy2(cli, root + "/opt/kestrel/kestrel-cli")
    for f in ("smart.dat", "error.dat", "warning.dat"):
        shutil.copy2(os.path.join(data_dir, f), root + "/opt/kestrel/")
    with open(root + "/opt/kestrel/whole-raw.ini", "w") as f:
        f.write(WHOLE_RAW_DEFINITIONS)
    for tool in ("/usr/sbin/smartctl", "/usr/sbin/smartd"):
        copy_with_libraries(tool, root)

    names = []
    for name, path in module_order(kver):
        target = f"{root}/lib/modules/{name}.ko"
        if path.endswith(".xz"):
            with open(target, "wb") as out:
                subprocess.run(["xz", "-dc", path], stdout=out, check=True)
        elif path.endswith(".zst"):
            with open(target, "wb") as out:
                subprocess.run(["zstd", "-dc", path], stdout=out, check=True)
        else:
            shutil.copy2(path, target)
        names.append(name)
    with open(root + "/lib/modules/load-order", "w") as f:
        f.write("\n".join(names) + "\n")
    with open(root + "/etc/test.env", "w") as f:
        f.write(f"AHCI_SERIAL='{DISKS['ahci']['serial']}'\n"
                f"IDE_SERIAL='{DISKS['ide']['serial']}'\nRUNS={RUNS}\n")

    files = subprocess.run("find . -print0 | cpio --null -o -H newc -R 0:0 --quiet",
                           shell=True, cwd=root, check=True, capture_output=True).stdout
    initrd = os.path.join(work, "initrd.gz")
    with open(initrd, "wb") as f:
        f.write(gzip.compress(files, compresslevel=1))
    return initrd


def boot(kver, initrd, work):
    console = os.path.join(work, "console.log")
    results = os.path.join(work, "results.txt")
    cmd = ["qemu-system-x86_64", "-M", "pc", "-accel", "tcg", "-m", "512",
           "-nodefaults", "-display", "none", "-no-reboot",
           "-kernel", f"/boot/vmlinuz-{kver}", "-initrd", initrd,
           "-append", "console=ttyS0 panic=-1 quiet",
           "-serial", f"file:{console}", "-serial", f"file:{results}",
           "-device", "ahci,id=ahci"]
    for key, disk in DISKS.items():
        image = os.path.join(work, f"{key}.img")
        with open(image, "wb") as f:
            f.truncate(disk["size"])
        cmd += ["-drive", f"if=none,id={key},file={image},format=raw",
                "-device", f"ide-hd,drive={key},bus={disk['bus']},model={disk['model']},"
                           f"serial={disk['serial']},ver={disk['firmware']}"]
    subprocess.run(cmd, check=True, timeout=400)

    with open(results, "rb") as f:
        text = f.read().decode("ascii", "replace").replace("\r", "")
    m = re.search(r"begin-base64 \d+ out.tar\n(.*?)\n====", text, re.S)
    if not m:
        with open(console, errors="replace") as f:
            sys.exit("the guest sent no results; its console:\n" + f.read()[-4000:])
    out = os.path.join(work, "out")
    shutil.rmtree(out, ignore_errors=True)
    with tarfile.open(fileobj=io.BytesIO(base64.b64decode(m.group(1)))) as tar:
        tar.extractall(work)
    return out


def capacity_text(size):
    """Gigabytes of 2^30 bytes with one decimal, cut, as kestrel shows them."""
    tenths = size // 107374182
    whole = f"{tenths // 10:,}" if tenths >= 10 else ""
    return f"{whole}.{tenths % 10} GB"


def read(out, name):
    """A file the guest wrote; one it did not write reads as "<missing>"."""
    try:
        with open(os.path.join(out, name), encoding="utf-8", errors="replace") as f:
            return f.read()
    except FileNotFoundError:
        return "<missing>"


def drive_table(out, name):
    """The JSON drive table: the last line of kestrel-cli's output."""
    lines = [l for l in read(out, name).splitlines() if l.startswith("{")]
    return json.loads(lines[-1]) if lines else {"drives": []}


def check_drives(checks, table, run, keys, shipped=True, smart_off=()):
    """Each disk's identity and attributes; returns the drives by key."""
    checks.equal(len(table["drives"]), len(keys), f"{run}: number of drives")
    drives = {}
    for key in keys:
        disk = DISKS[key]
        what = f"{run}, {key} disk"
        found = [d for d in table["drives"]
                 if d["model"] == disk["model"] and d["serial"] == disk["serial"]]
        checks.equal(len(found), 1, f"{what}: found by model and serial")
        if not found:
            continue
        d = drives[key] = found[0]
        checks.equal(d["firmware"], disk["firmware"], f"{what}: firmware")
        checks.equal(d["capacity"], capacity_text(disk["size"]), f"{what}: capacity")
        checks.equal(d["serialAta"], EXPECTED_SERIAL_ATA, f"{what}: Serial ATA mark")
        checks.equal(d["ataMajorVersion"], EXPECTED_MAJOR_VERSION, f"{what}: ATA major version")
        checks.equal(d["minorVersion"], EXPECTED_MINOR_VERSION if shipped else "",
                     f"{what}: ATA minor version")
        checks.equal(sorted(d["state"]), ["Present", "Usable"], f"{what}: state")
        # SmartEnabled after a reading means RETURN STATUS answered 4F/C2:
        # the drive's own verdict is normal.
        status = set(d["status"])
        checks.equal("SmartEnabled" in status, key not in smart_off,
                     f"{what}: SMART enabled and health normal")
        checks.expect("SmartSupported" in status, f"{what}: SMART supported", d["status"])
        checks.expect("StatusError" not in status, f"{what}: no attribute in error",
                      d["status"])
        checks.expect("StatusWarning" not in status, f"{what}: no attribute at warning",
                      d["status"])
        checks.expect(d["lastEvaluated"] is not None, f"{what}: attributes read")
        attributes = [(a["id"], a["flags"], a["current"], a["worst"], a["raw"], a["threshold"])
                      for a in d["attributes"]]
        expected = [(i, f, c, w, raw & SHIPPED_RAW_MASKS.get(i, raw) if shipped else raw, t)
                    for i, f, c, w, raw, t in EXPECTED_ATTRIBUTES]
        checks.equal(attributes, expected, f"{what}: attributes")
    return drives


def check(out):
    checks = Checks()
    both = ["ahci", "ide"]
    # SMART was off on the IDE disk when the watch scanned it: the disk
    # refused its data before, and the scan switched SMART on again.
    checks.expect(read(out, "smart-off-A.rc").strip() != "0", "SMART off before the scan")
    for run in ("oneshot", "ticks"):
        checks.equal(read(out, run + ".rc").strip(), "0", f"{run}: exit code")
        checks.equal(read(out, run + ".err"), "", f"{run}: no message")
        check_drives(checks, drive_table(out, run + ".out"), run, both, run != "oneshot")
    checks.equal(read(out, "ticks.log"), "", "ticks: an idle disk logs nothing")

    # The watch: two readings, the second after SMART went off on the IDE
    # disk, whose RETURN STATUS then failed with ATA status 0x41 (ERR) and
    # error 0x04 (ABRT) at every tick; ended by SIGTERM.
    checks.equal(read(out, "watch.rc").strip(), "0", "watch ended by SIGTERM: exit code")
    watch = drive_table(out, "watch.out")
    drives = check_drives(checks, watch, "watch", both, smart_off=["ide"])
    checks.equal(read(out, "watch.log"), "", "watch: an idle disk logs nothing")
    start = read(out, "watch.start").strip()
    last = drives.get("ahci", {}).get("lastEvaluated") or ""
    checks.expect(last >= start and seconds_between(start, last) >= 29,
                  "watch: read the drives twice", f"started {start}, last read {last}")
    errors = read(out, "watch.err").splitlines()
    ide = drives["ide"]["index"] if "ide" in drives else -1
    message = re.compile(rf"16\t[^\t]*\tドライブ{ide}のドライバエラー0x41/IDEエラー=0x04です\.")
    checks.expect(errors and all(message.fullmatch(e) for e in errors),
                  "watch: the ATA error of RETURN STATUS reported", "\n  ".join(errors))

    checks.equal(read(out, "rss-kestrel.rc").strip(), "0", "watch ended by SIGINT: exit code")
    check_drives(checks, drive_table(out, "rss-kestrel.out"), "watch with one disk", ["ahci"])
    return checks


def seconds_between(a, b):
    def seconds(t):
        h, m, s = (int(x) for x in t.split()[1].split(":"))
        return h * 3600 + m * 60 + s
    return seconds(b) - seconds(a) if a[:10] == b[:10] else 86400


def figures(checks, out, work):
    def median_ms(name):
        runs = [int(x) for x in read(out, name).split() if x.isdigit()]
        return statistics.median(runs) / 1000 if runs else 0

    def rss_kb(name):
        m = re.search(r"VmRSS:\s+(\d+) kB", read(out, name))
        return int(m.group(1)) if m else 0

    base = median_ms("time-baseline.txt")
    kestrel = median_ms("time-kestrel.txt") - base
    smartctl = median_ms("time-smartctl.txt") - base
    kestrel_kb = rss_kb("rss-kestrel.status")
    smartd_kb = rss_kb("rss-smartd.status")
    text = (f"guest under software emulation, AHCI disk, median of {RUNS} runs "
            f"(less {base:.1f} ms of timing overhead):\n"
            f"  kestrel-cli --json        {kestrel:7.1f} ms\n"
            f"  smartctl -i -A -H         {smartctl:7.1f} ms   ratio {kestrel / max(smartctl, 0.1):.2f}\n"
            f"resident memory while watching:\n"
            f"  kestrel-cli --watch       {kestrel_kb:7d} kB\n"
            f"  smartd -d -i 30           {smartd_kb:7d} kB   ratio {kestrel_kb / max(smartd_kb, 1):.2f}\n")
    print(text, end="")
    with open(os.path.join(work, "figures.txt"), "w") as f:
        f.write(text)
    checks.expect(0 < kestrel <= smartctl / 2, "a diagnosis takes at most half of smartctl's time")
    checks.expect(0 < kestrel_kb <= smartd_kb / 2, "a watch holds at most half of smartd's memory")


def main():
    cli, data_dir, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    kver = find_kernel()
    initrd = build_initramfs(cli, data_dir, kver, work)
    out = boot(kver, initrd, work)
    for name in ("root", "ahci.img", "ide.img"):
        path = os.path.join(work, name)
        shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
    checks = check(out)
    figures(checks, out, work)
    print(f"guest results in {out}")
    print(f"{checks.passed} passed, {checks.failed} failed")
    sys.exit(1 if checks.failed else 0)


if __name__ == "__main__":
    main()
