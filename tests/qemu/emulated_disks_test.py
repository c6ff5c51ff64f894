#!/usr/bin/env python3
"""kestrel-cli on real devices: the disks QEMU emulates, reached through
Linux's drivers in a small guest (software emulation). An ATA disk on an
AHCI port and one on the PIIX IDE channel (libata and the SCSI layer),
three NVMe controllers (one as QEMU makes it, one with a critical warning,
one in a subsystem whose only namespace has id 3, so that the kernel links
its disk to the subsystem and names it n1) and a USB disk on xHCI.

    emulated_disks_test.py KESTREL_CLI_STATIC DATA_DIR WORK_DIR

DATA_DIR holds smart.dat, error.dat and warning.dat. Checks the identity,
the SMART attributes and the health kestrel-cli reports against what the
QEMU command line and QEMU's drive models give, that the scan switches
SMART on, that an ATA error comes back as the drive's registers, that an
idle watch logs nothing and that a watch ends cleanly on SIGTERM and
SIGINT; for NVMe the attributes made of the health log against smartctl's
reading of it, counts that grow as the guest reads, the critical warning
as an error, and a chosen device read alone; that --list shows the USB
disk without health data and the diagnosis leaves it out. Then prints the
time of a diagnosis of the AHCI disk and of the NVMe drive and the memory
of a watch next to smartctl's and smartd's, measured in the same guest
(guest_init.sh).
"""
import base64
import functools
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
MODULES = ["crct10dif_generic", "crc64_rocksoft_generic", "ahci", "ata_piix", "sd_mod", "sg",
           "nvme", "xhci_pci", "usb_storage"]
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

# The NVMe controllers: one as QEMU makes it, one with critical-warning
# bit 0 (available spare below threshold) set, one in a subsystem with its
# namespace as id 3. QEMU's model number, and its version as firmware.
NVMES = {
    "nvme": dict(serial="KESTREL0001", size=1610612736),
    "bad": dict(serial="KESTREL0002", size=268435456, warning=1),
    "shared": dict(serial="KESTREL0003", size=805306368, nsid=3),
}
NVME_MODEL = "QEMU NVMe Ctrl"
USB_SIZE = 67108864
# QEMU's health log: 323 K, spare and its threshold 0 %, 0 % used.
NVME_LOG = {1: 0, 2: 50, 3: 0, 4: 0, 5: 0}
NVME_TEMPERATURE_TEXT = "50℃"
# smartctl's lines of the health log, and the attribute each one is.
PEER_LOG_LINES = {
    "Critical Warning": 1, "Temperature": 2, "Available Spare": 3,
    "Available Spare Threshold": 4, "Percentage Used": 5, "Data Units Read": 6,
    "Data Units Written": 7, "Host Read Commands": 8, "Host Write Commands": 9,
    "Controller Busy Time": 10, "Power Cycles": 11, "Power On Hours": 12,
    "Unsafe Shutdowns": 13, "Media and Data Integrity Errors": 14,
    "Error Information Log Entries": 15, "Warning  Comp. Temperature Time": 16,
    "Critical Comp. Temperature Time": 17,
}
# What the guest reads of the namespace between two readings.
DD_BYTES = 16 << 20
DATA_UNIT = 512000
# A command the platform sends times out after 20 seconds: --list on the
# USB disk ends well before one would.
LIST_LIMIT_US = 10_000_000
RSS_LIMIT_KB = 2560

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
                f"IDE_SERIAL='{DISKS['ide']['serial']}'\n"
                f"NVME_SERIAL='{NVMES['nvme']['serial']}'\n"
                f"NVME_BAD_SERIAL='{NVMES['bad']['serial']}'\n"
                f"NVME_SHARED_SERIAL='{NVMES['shared']['serial']}'\nRUNS={RUNS}\n")

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
           "-trace", "enable=ide_exec_cmd", "-D", os.path.join(work, "ide-trace.log"),
           "-device", "ahci,id=ahci"]

    def image(key, size):
        path = os.path.join(work, f"{key}.img")
        with open(path, "wb") as f:
            f.truncate(size)
        return path

    for key, disk in DISKS.items():
        cmd += ["-drive", f"if=none,id={key},file={image(key, disk['size'])},format=raw",
                "-device", f"ide-hd,drive={key},bus={disk['bus']},model={disk['model']},"
                           f"serial={disk['serial']},ver={disk['firmware']}"]
    for key, nvme in NVMES.items():
        cmd += ["-drive", f"if=none,id={key},file={image(key, nvme['size'])},format=raw"]
        if "nsid" in nvme:
            cmd += ["-device", f"nvme-subsys,id={key}-subsys,nqn=kestrel-{key}",
                    "-device", f"nvme,id={key}-ctrl,serial={nvme['serial']},subsys={key}-subsys",
                    "-device", f"nvme-ns,drive={key},bus={key}-ctrl,nsid={nvme['nsid']}"]
        else:
            cmd += ["-device", f"nvme,drive={key},serial={nvme['serial']},"
                               f"smart_critical_warning={nvme.get('warning', 0)}"]
    cmd += ["-drive", f"if=none,id=usb,file={image('usb', USB_SIZE)},format=raw",
            "-device", "qemu-xhci,id=xhci", "-device", "usb-storage,bus=xhci.0,drive=usb"]
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
    """Each ATA disk's identity and attributes; returns the drives by key."""
    ata = [d for d in table["drives"] if d["transport"] == "ata"]
    checks.equal(len(ata), len(keys), f"{run}: number of ATA drives")
    drives = {}
    for key in keys:
        disk = DISKS[key]
        what = f"{run}, {key} disk"
        found = [d for d in ata if d["model"] == disk["model"] and d["serial"] == disk["serial"]]
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


@functools.cache
def nvme_definitions():
    """Name and raw multiplier of each NVMe attribute, from data/src/nvme.ini."""
    names, multipliers = {}, {}
    with open(os.path.join(HERE, "..", "..", "data", "src", "nvme.ini"), encoding="utf-8") as f:
        for m in re.finditer(r"^([0-9A-F]{2})=([^|\n]*)\|[^|\n]*\|([^\n]*)", f.read(), re.M):
            i = int(m.group(1), 16)
            names[i] = m.group(2)
            fields = m.group(3).split(",")
            multipliers[i] = int(fields[1]) if len(fields) > 1 and fields[1] else 1
    return names, multipliers


@functools.cache
def qemu_firmware():
    """QEMU's version, which its NVMe controller gives as firmware revision."""
    version = run(["qemu-system-x86_64", "--version"]).split()[3]
    return version[:8]


def peer_log(text):
    """smartctl's reading of a health log, by attribute id."""
    values = {}
    for m in re.finditer(r"^(\S.*?):\s+(0x[0-9a-fA-F]+|[\d,]+)", text, re.M):
        if m.group(1) in PEER_LOG_LINES:
            values[PEER_LOG_LINES[m.group(1)]] = int(m.group(2).replace(",", ""), 0)
    return values


def check_nvme(checks, table, run, keys, shipped=True, attributes=False):
    """Each NVMe drive's identity and health; with `attributes`, the table
    made of QEMU's health log. Returns the drives by key."""
    found_nvme = [d for d in table["drives"] if d["transport"] == "nvme"]
    checks.equal(len(found_nvme), len(keys), f"{run}: number of NVMe drives")
    names, _ = nvme_definitions()
    drives = {}
    for key in keys:
        nvme = NVMES[key]
        what = f"{run}, {key} NVMe drive"
        found = [d for d in found_nvme if d["serial"] == nvme["serial"]]
        checks.equal(len(found), 1, f"{what}: found by serial")
        if not found:
            continue
        d = drives[key] = found[0]
        checks.equal((d["model"], d["firmware"], d["capacity"]),
                     (NVME_MODEL, qemu_firmware(), capacity_text(nvme["size"])),
                     f"{what}: model, firmware, capacity")
        checks.equal(sorted(d["state"]), ["Present", "Usable"], f"{what}: state")
        # The drive's own verdict: RETURN STATUS says "threshold exceeded"
        # while a critical-warning bit is set.
        failing = nvme.get("warning", 0) != 0
        want = ["SmartSupported", "SmartEnabled"] + (["StatusError", "SmartFailing"] if failing
                                                     else [])
        checks.equal(sorted(d["status"]), sorted(want), f"{what}: status")
        checks.expect(d["lastEvaluated"] is not None, f"{what}: attributes read")
        if not attributes:
            continue
        a = {x["id"]: x for x in d["attributes"]}
        checks.equal(sorted(a), list(range(1, 18)), f"{what}: attribute ids 01 to 11")
        checks.equal({(x["flags"], x["threshold"], x["worst"] == x["current"])
                      for x in a.values()}, {(2, 0, True)},
                     f"{what}: flags advisory, no thresholds, worst = current")
        log = {**NVME_LOG, 1: nvme.get("warning", 0)}
        checks.equal({i: a[i]["raw"] for i in log if i in a}, log, f"{what}: raw values 01 to 05")
        checks.equal({i: a[i]["current"] for i in (3, 5) if i in a}, {3: 0, 5: 100},
                     f"{what}: current values of the spare and the life left")
        checks.equal({i: x["level"] for i, x in a.items() if x["level"] != "normal"},
                     {1: "error"} if failing else {}, f"{what}: levels")
        if shipped:
            checks.equal(a.get(2, {}).get("rawText"), NVME_TEMPERATURE_TEXT,
                         f"{what}: temperature text")
            checks.equal({i: x["name"] for i, x in a.items()}, names,
                         f"{what}: names from nvme.ini")
    return drives


def nvme_raws(table):
    drives = [d for d in table["drives"] if d["transport"] == "nvme"]
    return {a["id"]: a["raw"] for a in drives[0]["attributes"]} if drives else {}


def disk_order(block):
    """The guest's whole disks in drive-index order: SCSI, then NVMe."""
    names = block.split()
    sd = [n for n in names if re.fullmatch(r"sd[a-z]+", n)]
    nvme = [n for n in names if re.fullmatch(r"nvme\d+n\d+", n)]
    key = lambda n: (len(n), n)
    return sorted(sd, key=key) + sorted(nvme, key=key)


def check(out):
    checks = Checks()
    both = ["ahci", "ide"]
    dev = {k: read(out, k + ".dev").strip() for k in ("ahci", "ide", "usb", "nvme", "bad",
                                                      "shared")}
    order = disk_order(read(out, "block.txt"))
    _, multipliers = nvme_definitions()

    # --list: every disk with its transport; the USB disk (QEMU's SCSI disk
    # behind usb-storage) refuses both ATA PASS-THROUGH forms.
    checks.equal(read(out, "list.rc").strip(), "0", "--list: exit code")
    checks.equal(read(out, "list.err"), "", "--list: no message")
    listed = {}
    for line in read(out, "list.out").splitlines():
        m = re.match(r"(\S+)\s+(\S+)\s+(health readable|no health data)", line)
        if m:
            listed[m.group(1)] = (m.group(2), m.group(3))
    expected = {f"/dev/{dev[k]}": ("ata", "health readable") for k in both}
    expected.update({f"/dev/{dev[k]}": ("nvme", "health readable") for k in NVMES})
    expected[f"/dev/{dev['usb']}"] = ("scsi", "no health data")
    checks.equal(listed, expected, "--list: transports, the USB disk without health data")
    list_us = int(read(out, "list.us").strip() or 0)
    checks.expect(0 < list_us < LIST_LIMIT_US, "--list: no command waits for its timeout",
                  f"{list_us / 1000:.0f} ms")

    # SMART was off on the IDE disk when the watch scanned it: the disk
    # refused its data before, and the scan switched SMART on again.
    checks.expect(read(out, "smart-off-A.rc").strip() != "0", "SMART off before the scan")
    usb_index = order.index(dev["usb"]) if dev["usb"] in order else -1
    for run in ("oneshot", "ticks"):
        checks.equal(read(out, run + ".rc").strip(), "0", f"{run}: exit code")
        checks.equal(read(out, run + ".err"), "", f"{run}: no message")
        table = drive_table(out, run + ".out")
        check_drives(checks, table, run, both, run != "oneshot")
        check_nvme(checks, table, run, list(NVMES), run != "oneshot")
        checks.expect(usb_index >= 0 and all(d["index"] != usb_index for d in table["drives"]),
                      f"{run}: the USB disk left out", f"USB disk at {usb_index}")
        checks.equal(table.get("trayState"), 2, f"{run}: the critical warning shows in the tray")
    checks.equal(read(out, "ticks.log"), "", "ticks: an idle disk logs nothing")

    # The watch: two readings, the second after SMART went off on the IDE
    # disk, whose RETURN STATUS then failed with ATA status 0x41 (ERR) and
    # error 0x04 (ABRT) at every tick; ended by SIGTERM.
    checks.equal(read(out, "watch.rc").strip(), "0", "watch ended by SIGTERM: exit code")
    watch = drive_table(out, "watch.out")
    drives = check_drives(checks, watch, "watch", both, smart_off=["ide"])
    check_nvme(checks, watch, "watch", list(NVMES))
    checks.equal(read(out, "watch.log"), "", "watch: an idle disk logs nothing")
    start = read(out, "watch.start").strip()
    # The AHCI disk was told to spin down before the second period. The
    # watch must leave it as the drive itself says it is: asleep and
    # unread in standby, read when active (QEMU's disks have no power
    # states and answer every CHECK POWER MODE "active or idle").
    power = read(out, "standby-check.txt")
    in_standby = "Device is in STANDBY mode" in power
    checks.expect(in_standby or re.search(r"Power mode (is|was):\s+ACTIVE or IDLE", power),
                  "standby: the drive answers CHECK POWER MODE", power[-300:])
    ahci = drives.get("ahci", {})
    checks.equal(ahci.get("asleep"), in_standby, "watch: asleep as the drive says")
    last = ahci.get("lastEvaluated") or ""
    checks.expect(last >= start and (seconds_between(start, last) >= 29) != in_standby,
                  "watch: read the drives twice, a drive in standby once",
                  f"started {start}, last read {last}")
    checks.expect(asks_before_reading(os.path.join(os.path.dirname(out), "ide-trace.log")),
                  "watch: after STANDBY IMMEDIATE the disk is asked its power mode first")
    errors = read(out, "watch.err").splitlines()
    ide = drives["ide"]["index"] if "ide" in drives else -1
    message = re.compile(rf"16\t[^\t]*\tドライブ{ide}のドライバエラー0x41/IDEエラー=0x04です\.")
    checks.expect(errors and all(message.fullmatch(e) for e in errors),
                  "watch: the ATA error of RETURN STATUS reported", "\n  ".join(errors))

    # The NVMe drive chosen on the command line: it alone, as drive 0; its
    # table against smartctl's reading of the same log right after.
    readings = []
    for k in (1, 2):
        run = f"NVMe drive, reading {k}"
        checks.equal(read(out, f"nvme-{k}.rc").strip(), "0", f"{run}: exit code")
        checks.equal(read(out, f"nvme-{k}.err"), "", f"{run}: no message")
        table = drive_table(out, f"nvme-{k}.out")
        checks.equal([(d["index"], d["serial"]) for d in table["drives"]],
                     [(0, NVMES["nvme"]["serial"])], f"{run}: the chosen drive alone")
        check_nvme(checks, table, run, ["nvme"], attributes=True)
        checks.equal(table.get("trayState"), 0, f"{run}: tray state normal")
        raws = nvme_raws(table)
        peer = {i: v * multipliers.get(i, 1)
                for i, v in peer_log(read(out, f"smartctl-nvme-{k}.txt")).items()}
        checks.equal(raws, peer, f"{run}: the health log as smartctl reads it")
        readings.append(raws)
    grown = {i: readings[1].get(i, 0) - readings[0].get(i, 0) for i in (6, 8)}
    checks.expect(grown[6] >= DD_BYTES // DATA_UNIT * multipliers.get(6, 1) and grown[8] > 0,
                  "NVMe drive: data units read and read commands grow as the guest reads",
                  f"grown by {grown}")
    text = read(out, "nvme.txt")
    checks.equal(read(out, "nvme.txt.err"), "", "NVMe drive, text table: no message")
    heads = [l for l in text.splitlines() if re.match(r"\S+#\d+ ", l)]
    checks.expect(len(heads) == 1 and heads[0].startswith(
        f"NVMe#0  {NVME_MODEL}  serial {NVMES['nvme']['serial']}  "),
        "NVMe drive, text table: one drive, shown as NVMe#0", "\n  ".join(heads))
    checks.expect(re.search(rf"^   02 .* normal +{NVME_TEMPERATURE_TEXT} +\S", text, re.M),
                  "NVMe drive, text table: temperature row")

    # The controller with a critical warning, chosen alone.
    checks.equal(read(out, "bad.rc").strip(), "0", "critical NVMe drive: exit code")
    bad = drive_table(out, "bad.out")
    check_nvme(checks, bad, "critical NVMe drive", ["bad"], attributes=True)
    checks.equal(bad.get("trayState"), 2, "critical NVMe drive: tray state error")
    checks.equal(peer_log(read(out, "smartctl-bad.txt")).get(1), 1,
                 "critical NVMe drive: smartctl reads the same warning")

    checks.equal(read(out, "rss-kestrel.rc").strip(), "0", "watch ended by SIGINT: exit code")
    rss = drive_table(out, "rss-kestrel.out")
    check_drives(checks, rss, "watch of two drives", ["ahci"])
    check_nvme(checks, rss, "watch of two drives", ["nvme"], attributes=True)
    return checks


def asks_before_reading(trace):
    """The commands QEMU's disks were sent (its ide_exec_cmd trace): the
    first command after STANDBY IMMEDIATE (E0h) to the disk that got it is
    the watch's CHECK POWER MODE (E5h), not a SMART reading (B0h)."""
    sent = re.findall(r"state (0x[0-9a-f]+); cmd (0x[0-9a-f]+)", open(trace).read())
    at = next((i for i, (_, cmd) in enumerate(sent) if cmd == "0xe0"), None)
    if at is None:
        return False
    after = [cmd for state, cmd in sent[at + 1:] if state == sent[at][0]]
    return after[:1] == ["0xe5"]


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

    dev = {k: read(out, k + ".dev").strip() for k in ("ahci", "nvme")}
    controller = re.sub(r"n\d+$", "", dev["nvme"])
    base = median_ms("time-baseline.txt")
    rows = []
    for name, ours, peer, suffix in (
            ("AHCI disk", f"kestrel-cli --json /dev/{dev['ahci']}",
             f"smartctl -i -A -H /dev/{dev['ahci']}", ""),
            ("NVMe drive", f"kestrel-cli --json /dev/{dev['nvme']}",
             f"smartctl -a /dev/{controller}", "-nvme")):
        kestrel = median_ms(f"time-kestrel{suffix}.txt") - base
        smartctl = median_ms(f"time-smartctl{suffix}.txt") - base
        rows.append((name, ours, peer, kestrel, smartctl))
    kestrel_kb = rss_kb("rss-kestrel.status")
    smartd_kb = rss_kb("rss-smartd.status")
    text = (f"guest under software emulation, median of {RUNS} runs "
            f"(less {base:.1f} ms of timing overhead):\n")
    for name, ours, peer, kestrel, smartctl in rows:
        text += (f"  {name}:\n"
                 f"    {ours:<34} {kestrel:7.1f} ms\n"
                 f"    {peer:<34} {smartctl:7.1f} ms   ratio {kestrel / max(smartctl, 0.1):.2f}\n")
    text += (f"resident memory while watching the AHCI disk and the NVMe drive:\n"
             f"    {'kestrel-cli --watch':<34} {kestrel_kb:7d} kB\n"
             f"    {'smartd -d -i 30':<34} {smartd_kb:7d} kB   "
             f"ratio {kestrel_kb / max(smartd_kb, 1):.2f}\n")
    print(text, end="")
    with open(os.path.join(work, "figures.txt"), "w") as f:
        f.write(text)
    for name, _, _, kestrel, smartctl in rows:
        checks.expect(0 < kestrel <= smartctl / 2,
                      f"{name}: a diagnosis takes at most half of smartctl's time")
    checks.expect(0 < kestrel_kb <= smartd_kb / 2, "a watch holds at most half of smartd's memory")
    checks.expect(0 < kestrel_kb <= RSS_LIMIT_KB,
                  f"a watch with the NVMe drive holds at most {RSS_LIMIT_KB} kB")


def main():
    cli, data_dir, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    kver = find_kernel()
    initrd = build_initramfs(cli, data_dir, kver, work)
    out = boot(kver, initrd, work)
    for name in ["root", "usb.img"] + [f"{key}.img" for key in [*DISKS, *NVMES]]:
        path = os.path.join(work, name)
        shutil.rmtree(path) if os.path.isdir(path) else os.remove(path)
    checks = check(out)
    figures(checks, out, work)
    print(f"guest results in {out}")
    print(f"{checks.passed} passed, {checks.failed} failed")
    sys.exit(1 if checks.failed else 0)


if __name__ == "__main__":
    main()
