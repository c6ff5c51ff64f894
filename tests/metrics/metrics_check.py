#!/usr/bin/env python3
"""kestrel-cli's Prometheus metrics end to end (README, "Metrics").

  format      --metrics-file's text and the alert rules through promtool
  http        the server's answers (200, 405, 404, 400/431), a load of
              200 clients x 50 requests with resident memory flat and the
              monitor on its one-second schedule, SIGTERM ending it
  prometheus  a real Prometheus scraping kestrel-cli every second sees the
              scenario's change of an attribute

Exit code 77: promtool or prometheus is not installed (ctest: skipped).
"""
import argparse
import asyncio
import json
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import time
import urllib.request

SKIP = 77


def fail(message):
    print("FAIL: " + message)
    sys.exit(1)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def status_of(pid):
    fields = {}
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            key, _, value = line.partition(":")
            fields[key] = value.strip()
    return fields


def kib(pid, key):
    return int(status_of(pid)[key].split()[0])


def raw_request(port, data, read=65536):
    """Sends bytes, returns the answer's bytes (until close or `read`)."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as s:
        try:
            s.sendall(data)
        except OSError:
            pass  # the server may close before reading all of it
        answer = b""
        try:
            while len(answer) < read:
                chunk = s.recv(65536)
                if not chunk:
                    break
                answer += chunk
                if b"\r\n\r\n" in answer:
                    head, _, body = answer.partition(b"\r\n\r\n")
                    m = re.search(rb"Content-Length: (\d+)", head, re.I)
                    if m and len(body) >= int(m.group(1)):
                        break
        except OSError:
            pass
        return answer


def sample(text, name):
    m = re.search(r"^" + re.escape(name) + r" (\S+)$", text, re.M)
    return float(m.group(1)) if m else None


class Watch:
    """kestrel-cli --watch on the scenario, serving metrics."""

    def __init__(self, cli, scenario, extra):
        self.port = free_port()
        self.proc = subprocess.Popen(
            [cli, "--sim", scenario, "--watch", "--metrics-listen", f"127.0.0.1:{self.port}"]
            + extra,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        deadline = time.time() + 20
        while time.time() < deadline:
            try:
                if self.get().startswith("# HELP"):
                    return
            except OSError:
                pass
            if self.proc.poll() is not None:
                fail("kestrel-cli ended: " + self.proc.stderr.read())
            time.sleep(0.2)
        fail("no metrics served within 20 s")

    def get(self, path="/metrics"):
        with urllib.request.urlopen(f"http://127.0.0.1:{self.port}{path}", timeout=10) as r:
            return r.read().decode("utf-8")

    def stop(self):
        self.proc.send_signal(signal.SIGTERM)
        try:
            out, err = self.proc.communicate(timeout=10)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            fail("kestrel-cli did not end within 10 s of SIGTERM")
        return self.proc.returncode, out, err


def check_format(args):
    promtool = shutil.which("promtool")
    if promtool is None:
        print("SKIP: promtool is not installed (Debian package prometheus)")
        return SKIP
    with tempfile.TemporaryDirectory() as tmp:
        path = os.path.join(tmp, "kestrel.prom")
        subprocess.run([args.cli, "--sim", args.scenario, "--metrics-file", path],
                       check=True, stdout=subprocess.DEVNULL)
        if os.path.exists(path + ".tmp"):
            fail("the temporary file was left behind")
        text = open(path, encoding="utf-8").read()
        for family in ("kestrel_attribute_current", "kestrel_attribute_raw",
                       "kestrel_drive_last_read_timestamp_seconds", "kestrel_tray_state"):
            if f"# TYPE {family} " not in text:
                fail(f"no family {family}")
        lint = subprocess.run([promtool, "check", "metrics"], input=text, text=True,
                              capture_output=True)
        if lint.returncode != 0:
            fail("promtool check metrics:\n" + lint.stdout + lint.stderr)
    rules = subprocess.run([promtool, "check", "rules", args.rules], capture_output=True,
                           text=True)
    if rules.returncode != 0:
        fail("promtool check rules:\n" + rules.stdout + rules.stderr)
    print("metrics file and alert rules pass promtool")
    return 0


async def hammer(port, clients, requests):
    failures = []

    async def client():
        for _ in range(requests):
            try:
                reader, writer = await asyncio.open_connection("127.0.0.1", port)
                writer.write(b"GET /metrics HTTP/1.1\r\nHost: k\r\nConnection: close\r\n\r\n")
                await writer.drain()
                answer = await asyncio.wait_for(reader.read(), 30)
                writer.close()
                head, _, body = answer.partition(b"\r\n\r\n")
                if not head.startswith(b"HTTP/1.1 200") or not body.endswith(b"\n"):
                    failures.append(head[:40])
            except (OSError, asyncio.TimeoutError) as e:
                failures.append(repr(e))

    await asyncio.gather(*(client() for _ in range(clients)))
    return failures


def check_http(args):
    w = Watch(args.cli, args.scenario, [])
    try:
        body = w.get()
        if 'kestrel_attribute_current{drive="0"' not in body:
            fail("no attribute series served")
        marker = b"KESTREL-ECHO-MARK"
        answers = {
            "405": raw_request(w.port, b"POST /metrics HTTP/1.1\r\nHost: k\r\nContent-Length: 5"
                               b"\r\nConnection: close\r\n\r\n" + marker[:5]),
            "404": raw_request(w.port, b"GET /" + marker + b" HTTP/1.1\r\nHost: k\r\n"
                               b"Connection: close\r\n\r\n"),
            "large": raw_request(w.port, b"GET /metrics HTTP/1.1\r\nHost: k\r\nX-" + marker +
                                 b": " + b"a" * 65536 + b"\r\nConnection: close\r\n\r\n"),
        }
        if not answers["405"].startswith(b"HTTP/1.1 405") or \
                not re.search(rb"\r\nAllow: GET, HEAD\r\n", answers["405"]):
            fail("POST /metrics: " + repr(answers["405"][:200]))
        if not answers["404"].startswith(b"HTTP/1.1 404"):
            fail("GET /elsewhere: " + repr(answers["404"][:200]))
        if not re.match(rb"HTTP/1.1 (400|431)", answers["large"]):
            fail("a 64 KiB header: " + repr(answers["large"][:200]))
        for name, answer in answers.items():
            if marker in answer or marker[:5] in answer:
                fail(f"the {name} answer holds request text")

        # The load: RSS flat, every request answered, the monitor's ticks
        # on time (its counter in the text rises a step a second).
        asyncio.run(hammer(w.port, 20, 10))  # warm the thread pool up
        rss_before = kib(w.proc.pid, "VmRSS")
        ticks_before = sample(w.get(), "kestrel_monitor_ticks_total")
        started = time.monotonic()
        failures = asyncio.run(hammer(w.port, args.clients, args.requests))
        elapsed = time.monotonic() - started
        ticks_after = sample(w.get(), "kestrel_monitor_ticks_total")
        rss_after = kib(w.proc.pid, "VmRSS")
        anon = kib(w.proc.pid, "RssAnon")
        time.sleep(1.5)  # the counters are those of the last tick's rendering
        served = sample(w.get(), "kestrel_http_requests_total")
        print(f"{args.clients * args.requests} requests in {elapsed:.1f} s, "
              f"{len(failures)} failed; ticks {ticks_before:.0f} -> {ticks_after:.0f}; "
              f"VmRSS {rss_before} -> {rss_after} KiB (anonymous {anon} KiB); "
              f"served {served:.0f}")
        if failures:
            fail(f"{len(failures)} requests failed, e.g. {failures[:3]}")
        if ticks_after - ticks_before < elapsed - 2:
            fail(f"{ticks_after - ticks_before:.0f} ticks in {elapsed:.1f} s under load")
        # A sanitizer build holds freed memory back on purpose: its figures
        # say nothing of the program's own.
        if not args.sanitized and rss_after > rss_before + 2048:
            fail(f"resident memory grew from {rss_before} to {rss_after} KiB")
        if not args.sanitized and rss_after > 4096:
            fail(f"{rss_after} KiB of resident memory, above 4 MiB")
        if served < args.clients * args.requests:
            fail(f"the request counter says {served}")
    finally:
        code, out, err = w.stop()
    if code != 0:
        fail(f"exit status {code} after SIGTERM: {err}")
    if "STATUS 1" not in out:
        fail("no reading announced")
    print("HTTP answers, load and SIGTERM as expected")
    return 0


def check_prometheus(args):
    prometheus = shutil.which("prometheus")
    if prometheus is None:
        print("SKIP: prometheus is not installed (Debian package prometheus)")
        return SKIP
    w = Watch(args.cli, args.scenario, [])
    started = time.monotonic()
    with tempfile.TemporaryDirectory() as tmp:
        config = os.path.join(tmp, "prometheus.yml")
        with open(config, "w") as f:
            f.write("global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
                    "scrape_configs:\n  - job_name: kestrel\n"
                    f"    static_configs:\n      - targets: ['127.0.0.1:{w.port}']\n")
        web = free_port()
        server = subprocess.Popen(
            [prometheus, f"--config.file={config}", f"--storage.tsdb.path={tmp}/data",
             f"--web.listen-address=127.0.0.1:{web}"],
            stdout=subprocess.DEVNULL, stderr=open(os.path.join(tmp, "log"), "w"))
        query = (f"http://127.0.0.1:{web}/api/v1/query?query="
                 "kestrel_attribute_current%7Bdrive%3D%220%22%2Cid%3D%2205%22%7D")
        seen = []
        try:
            deadline = time.monotonic() + 75
            while time.monotonic() < deadline:
                time.sleep(1)
                try:
                    with urllib.request.urlopen(query, timeout=5) as r:
                        result = json.load(r)["data"]["result"]
                except OSError:
                    continue
                if len(result) != 1:
                    continue
                value = result[0]["value"][1]
                if not seen or seen[-1] != value:
                    seen.append(value)
                    print(f"{time.monotonic() - started:5.1f} s: current {value}")
                if seen[-1] == "90":
                    break
        finally:
            server.terminate()
            server.wait(timeout=20)
            w.stop()
        if seen[:1] != ["100"] or seen[-1:] != ["90"]:
            log = open(os.path.join(tmp, "log")).read()[-2000:]
            fail(f"Prometheus saw {seen}, not 100 then 90\n{log}")
    print("Prometheus followed the change")
    return 0


def main():
    p = argparse.ArgumentParser()
    p.add_argument("mode", choices=("format", "http", "prometheus"))
    p.add_argument("--cli", required=True)
    p.add_argument("--scenario", required=True)
    p.add_argument("--rules")
    p.add_argument("--clients", type=int, default=200)
    p.add_argument("--requests", type=int, default=50)
    p.add_argument("--sanitized", action="store_true",
                   help="the program is a sanitizer build: skip the memory figures")
    args = p.parse_args()
    return {"format": check_format, "http": check_http,
            "prometheus": check_prometheus}[args.mode](args)


if __name__ == "__main__":
    sys.exit(main())
