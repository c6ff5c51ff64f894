#!/usr/bin/env python3
"""The health report as a person sees it: in headless Chromium, framed by
the HTML folder of the build.

    render_pages.py --cli KESTREL_CLI --build-dir DIR --demo SCENARIO
                    --healthy SCENARIO --out DIR

For each status kestrel-cli, run in the build directory, writes the report
into html/<status>/; Chromium opens html/<status>/index.html, and the test
reads the frames through the DevTools protocol (on a pipe: no port) and
checks that
  - the header and the report decoded as Shift-JIS and show their
    Japanese texts and the drives' models,
  - every image of the header and the report loaded,
  - the report selected the first tab, and the tab links switch the main
    frame and the selected tab both ways,
and saves screenshots of both tabs to OUT/<status>.png and
OUT/<status>-service.png.
"""
import argparse
import base64
import fcntl
import json
import os
import select
import shutil
import subprocess
import sys
import tempfile
import time

TIMEOUT = 30


class Fail(Exception):
    pass


def check(condition, message):
    if not condition:
        raise Fail(message)


class Browser:
    """Headless Chromium on a fresh profile, driven over fds 3 and 4."""

    def __init__(self, chromium, profile, log):
        to_child = os.pipe()
        from_child = os.pipe()
        # Copies out of the way of 3 and 4, placed there in the child. Our
        # other descriptors are not inherited (close-on-exec).
        ends = [fcntl.fcntl(fd, fcntl.F_DUPFD_CLOEXEC, 10)
                for fd in (to_child[0], from_child[1])]

        def place():
            os.dup2(ends[0], 3)
            os.dup2(ends[1], 4)

        self.proc = subprocess.Popen(
            [chromium, "--headless", "--no-sandbox", "--disable-gpu",
             "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--no-first-run", "--user-data-dir=" + profile,
             # The frames are file: pages like the program's own: one
             # origin for the report's script that selects the tabs.
             "--allow-file-access-from-files", "--hide-scrollbars",
             "--window-size=1024,720", "--remote-debugging-pipe", "about:blank"],
            stdin=subprocess.DEVNULL, stdout=log, stderr=log,
            close_fds=False, preexec_fn=place)
        for fd in (*ends, to_child[0], from_child[1]):
            os.close(fd)
        self.out = to_child[1]
        self.inp = from_child[0]
        self.buffer = b""
        self.next_id = 0
        self.events = []
        self.session = None

    def _read_message(self, deadline):
        while b"\0" not in self.buffer:
            left = deadline - time.monotonic()
            check(left > 0, "Chromium did not answer in time")
            ready, _, _ = select.select([self.inp], [], [], left)
            if ready:
                chunk = os.read(self.inp, 1 << 20)
                check(chunk, "Chromium closed its pipe")
                self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, session=True, **params):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params}
        if session:
            message["sessionId"] = self.session
        os.write(self.out, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + TIMEOUT
        while True:
            answer = self._read_message(deadline)
            if answer.get("id") == self.next_id:
                check("error" not in answer, f"{method}: {answer.get('error')}")
                return answer["result"]
            self.events.append(answer)

    def wait_event(self, method):
        deadline = time.monotonic() + TIMEOUT
        while True:
            for i, event in enumerate(self.events):
                if event.get("method") == method:
                    return self.events.pop(i)
            self.events.append(self._read_message(deadline))

    def attach(self):
        targets = self.call("Target.getTargets", session=False)["targetInfos"]
        page = next(t for t in targets if t["type"] == "page")
        self.session = self.call("Target.attachToTarget", session=False,
                                 targetId=page["targetId"], flatten=True)["sessionId"]
        self.call("Page.enable")
        self.call("Emulation.setDeviceMetricsOverride", width=1024, height=720,
                  deviceScaleFactor=1, mobile=False)

    def open(self, url):
        self.events.clear()
        self.call("Page.navigate", url=url)
        self.wait_event("Page.loadEventFired")

    def evaluate(self, expression):
        result = self.call("Runtime.evaluate", expression=expression,
                           returnByValue=True, awaitPromise=True)
        check("exceptionDetails" not in result,
              f"script failed: {result.get('exceptionDetails')}")
        return result["result"].get("value")

    def screenshot(self, path):
        data = self.call("Page.captureScreenshot", format="png")["data"]
        with open(path, "wb") as f:
            f.write(base64.b64decode(data))

    def close(self):
        try:
            self.call("Browser.close", session=False)
            self.proc.wait(timeout=10)
        except (Fail, subprocess.TimeoutExpired, OSError):
            self.proc.kill()
            self.proc.wait()
        os.close(self.out)
        os.close(self.inp)


# What the frame set shows, read from the top window. `tabs` waits until
# the main frame shows `page` and the header's tabs have the given ends.
FACTS = r"""
(async () => {
  const header = frames["header"], main = frames["main"];
  const deadline = Date.now() + 10000;
  const loaded = doc => Array.from(doc.images).every(i => i.complete);
  while (!(main.location.href.endsWith("/%(page)s") &&
           main.document.readyState === "complete" &&
           header.document.images["Tab01"].src.endsWith("%(tab01)s") &&
           header.document.images["Tab02"].src.endsWith("%(tab02)s") &&
           loaded(header.document) && loaded(main.document))) {
    if (Date.now() > deadline) break;
    await new Promise(r => setTimeout(r, 50));
  }
  const images = doc => Array.from(doc.images, i => ({
    src: i.src, complete: i.complete, width: i.naturalWidth, height: i.naturalHeight}));
  // How each page was decoded, and what it declares: a browser that does
  // not guess goes by the declaration alone.
  const charsets = Object.fromEntries([["top", window], ["header", header], ["main", main],
                                       ["footer", frames["footer"]]].map(([name, w]) => {
    const meta = w.document.querySelector('meta[http-equiv="Content-Type"]');
    return [name, [w.document.characterSet, meta && meta.content]];
  }));
  return {
    page: main.location.href,
    charsets: charsets,
    headerText: header.document.body.innerText,
    mainText: main.document.body.innerText,
    fields: Object.fromEntries(Array.from(main.document.querySelectorAll("input"),
                                          (e, i) => [e.name || "input" + i, e.value])),
    headerImages: images(header.document),
    mainImages: images(main.document),
  };
})()
"""

CLICK = 'frames["header"].document.images["%s"].parentNode.click(); true'


def facts(browser, status, page, selected):
    a, b = ("a", "b") if selected == 1 else ("b", "a")
    return browser.evaluate(FACTS % {"page": page, "tab01": f"{status}_tab01{a}.gif",
                                     "tab02": f"{status}_tab02{b}.gif"})


def check_frames(seen, status, page, selected):
    where = f"{status}, {page}"
    check(seen["page"].endswith(f"/html/{status}/{page}"),
          f"{where}: the main frame shows {seen['page']}")
    for frame, (decoded, declared) in seen["charsets"].items():
        check(decoded == "Shift_JIS" and declared == "text/html; charset=shift_jis",
              f"{where}: {frame} decoded as {decoded}, declared {declared!r}")
    check("Kestrel" in seen["headerText"] and "ハードディスク故障診断プログラム" in seen["headerText"],
          f"{where}: no product name in the header: {seen['headerText']!r}")
    tabs = {i["src"].rsplit("/", 1)[1] for i in seen["headerImages"]}
    a, b = ("a", "b") if selected == 1 else ("b", "a")
    check(tabs == {f"{status}_tab01{a}.gif", f"{status}_tab02{b}.gif"},
          f"{where}: the header shows the tabs {sorted(tabs)}")
    for image in seen["headerImages"] + seen["mainImages"]:
        name = image["src"].rsplit("/", 1)[1]
        size = (15, 12) if name == "icon-tri01.gif" else (120, 30)
        check(image["complete"] and (image["width"], image["height"]) == size,
              f"{where}: {name} did not load as {size[0]}x{size[1]}: {image}")


def check_report(seen, status, models):
    where = f"{status} report"
    text = seen["mainText"]
    if status == "normal":
        # The club form: its button and link, and the drives it sends.
        check(seen["fields"].get("submit", "").strip("　") == "入会フォームへ",
              f"{where}: the form's button reads {seen['fields'].get('submit')!r}")
        check("Corvid Clubのご案内" in text, f"{where}: no club link in {text!r}")
        sent = [v for k, v in seen["fields"].items() if k.startswith("hddmodel[")]
        check(sent == models, f"{where}: the form sends the models {sent}")
        check(any(i["src"].endswith("/icon-tri01.gif") for i in seen["mainImages"]),
              f"{where}: no bullet before the club link")
    elif status == "warning":
        check("Onsite Corvid HDD換装サービスは、調子の悪いハードディスク" in text and
              "診断結果が赤（危険）になる前" in text,
              f"{where}: no service notice in {text!r}")
    else:
        for heading in ("属性", "意味", "しきい値", "現在値", "良好度", "ロウデータ"):
            check(heading in text, f"{where}: no heading {heading} in {text!r}")
        for model in models:
            check(model in text, f"{where}: no drive {model} in {text!r}")


def write_report(cli, build_dir, scenario, ticks, status):
    report = os.path.join(build_dir, "html", status, "report.html")
    if os.path.exists(report):
        os.remove(report)
    run = subprocess.run([cli, "--sim", scenario, "--ticks", str(ticks), "--report"],
                         cwd=build_dir, capture_output=True, text=True, timeout=60)
    check(run.returncode == 0, f"kestrel-cli exited with {run.returncode}\n{run.stderr}")
    lines = [l for l in run.stdout.splitlines() if l.startswith("REPORT ")]
    check(lines == [f"REPORT html/{status}/index.html"],
          f"--ticks {ticks}: expected the {status} report, got {lines}")
    check(os.path.isfile(report), f"no {report}")
    return os.path.join(build_dir, "html", status, "index.html")


def main():
    parser = argparse.ArgumentParser()
    for name in ("cli", "build-dir", "demo", "healthy", "out"):
        parser.add_argument("--" + name, required=True)
    args = parser.parse_args()
    chromium = shutil.which("chromium")
    if chromium is None:
        print("chromium is missing: scripts/install-deps.sh all installs it")
        return 1
    build_dir = os.path.abspath(args.build_dir)
    os.makedirs(args.out, exist_ok=True)

    demo_models = ["HAYABUSA HB250S", "TSUBAME TB080A", "HIBARI HD1000S", "UGUISU UG40"]
    states = [("normal", args.healthy, 0, ["TSUBAME TB500S"]),
              ("warning", args.demo, 90, None),
              ("error", args.demo, 200, demo_models)]
    pages = {status: write_report(args.cli, build_dir, os.path.abspath(scenario), ticks, status)
             for status, scenario, ticks, _ in states}

    profile = tempfile.mkdtemp(prefix="profile-", dir=args.out)
    log_path = os.path.join(args.out, "chromium.log")
    failures = 0
    with open(log_path, "w") as log:
        browser = Browser(chromium, profile, log)
        try:
            browser.attach()
            for status, _, _, models in states:
                try:
                    browser.open("file://" + pages[status])
                    seen = facts(browser, status, "report.html", 1)
                    check_frames(seen, status, "report.html", 1)
                    check_report(seen, status, models)
                    browser.screenshot(os.path.join(args.out, status + ".png"))
                    # The second tab shows the service page and is selected;
                    # the first brings the report and its selection back.
                    browser.evaluate(CLICK % "Tab02")
                    seen = facts(browser, status, "service.html", 2)
                    check_frames(seen, status, "service.html", 2)
                    check("Onsite Corvid HDD換装サービス" in seen["mainText"],
                          f"{status}: the service page reads {seen['mainText']!r}")
                    browser.screenshot(os.path.join(args.out, status + "-service.png"))
                    browser.evaluate(CLICK % "Tab01")
                    check_frames(facts(browser, status, "report.html", 1),
                                 status, "report.html", 1)
                    print(f"ok {status}: {os.path.join(args.out, status + '.png')}")
                except Fail as e:
                    failures += 1
                    print(f"FAIL {status}: {e}")
        except Fail as e:
            failures += 1
            print(f"FAIL: {e}")
        finally:
            browser.close()
            shutil.rmtree(profile, ignore_errors=True)
    if failures:
        with open(log_path) as log:
            # Less the complaints about the absent message bus.
            lines = [l for l in log if "dbus" not in l]
            print("chromium's output ends:\n" + "".join(lines[-20:]))
    print(f"{len(states) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
