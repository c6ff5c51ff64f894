#!/usr/bin/env python3
"""kestrel-cli --watch as the service runs it: SIGHUP after a rotation's
rename reopens the log under its name, the lines buffered before the
signal land in the renamed file and the later ones in the new one; SIGTERM
ends the watch with the table printed, the log closed and exit status 0.
A watch reads a drive every 30 seconds, so this takes a minute."""
import argparse
import shutil
import signal
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent


def wait_for_readings(out, count, process):
    """Waits until the watch has printed `count` readings' STATUS 1 lines
    (standard output is line-buffered in a watch)."""
    deadline = time.monotonic() + 100
    while time.monotonic() < deadline:
        if out.read_text(encoding="utf-8").count("STATUS 1 ") >= count:
            return
        if process.poll() is not None:
            sys.exit(f"the watch ended early ({process.returncode})")
        time.sleep(0.2)
    process.kill()
    sys.exit(f"no reading {count} within 100 seconds:\n" + out.read_text(encoding="utf-8"))


def log_lines(path):
    return path.read_bytes().decode("cp932").splitlines() if path.exists() else []


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--cli", required=True)
    parser.add_argument("--out", required=True, type=Path)
    args = parser.parse_args()
    shutil.rmtree(args.out, ignore_errors=True)
    args.out.mkdir(parents=True)
    out = args.out / "stdout.txt"
    log = args.out / "kestrel.log"
    rotated = args.out / "kestrel.log.1"

    with out.open("w") as stdout, (args.out / "stderr.txt").open("w") as stderr:
        process = subprocess.Popen(
            [args.cli, "--sim", HERE / "watch.scenario", "--watch", "/l", log],
            cwd=args.out, stdout=stdout, stderr=stderr)
        # The second reading logs the change to 96, still in the buffer.
        wait_for_readings(out, 2, process)
        log.rename(rotated)
        process.send_signal(signal.SIGHUP)
        # The third logs the change to 95 into the reopened file.
        wait_for_readings(out, 3, process)
        process.send_signal(signal.SIGTERM)
        status = process.wait(timeout=30)

    failures = []
    if status != 0:
        failures.append(f"exit status {status} after SIGTERM")
    printed = out.read_text(encoding="utf-8")
    if "SATA#0  HAYABUSA HB250S" not in printed or "スピンアップ時間" not in printed:
        failures.append("no drive table after SIGTERM")
    # The lines without their time stamps.
    before = [line.split("\t", 1)[-1] for line in log_lines(rotated)]
    after = [line.split("\t", 1)[-1] for line in log_lines(log)]
    if before != ["ATA#0\t03\t現在値\t96", "ATA#0\t03\t最悪値\t96", "ATA#0\t03\t良好度\t37"]:
        failures.append(f"the renamed log holds {before}, not the change to 96")
    if after != ["ATA#0\t03\t現在値\t95", "ATA#0\t03\t最悪値\t95"]:
        failures.append(f"the reopened log holds {after}, not the change to 95")
    for text in failures:
        print("FAIL:", text)
    if failures:
        print(printed + (args.out / "stderr.txt").read_text(encoding="utf-8"))
        sys.exit(1)
    print("reopened on SIGHUP, ended by SIGTERM with status 0")


if __name__ == "__main__":
    main()
