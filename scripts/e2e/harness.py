"""The machinery of the end-to-end tests: an X server, the dev service, a Wine prefix whose
browser launcher records URLs, the installer under Wine, reading its windows and driving them.

Every process started here is remembered and stopped by Harness.close(), also after a
failure. Waits are bounded and say what they waited for when they run out; they are not speed
checks.
"""

import json
import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
import urllib.error
import urllib.request


class Failure(Exception):
    """A check that did not hold; the message says which."""


def _wine_settings():
    """The Wine loader, server and tools of the build the Wine stages run, as
    scripts/wine-arch.sh decides them (from the environment when a script already did)."""
    names = ("ORVEX_WINE_ARCH", "ORVEX_WINE_TRIPLET", "ORVEX_WINE_BUILD", "ORVEX_WINE_LOADER",
             "ORVEX_WINESERVER", "ORVEX_WINE_TOOLS")
    if all(os.environ.get(name) for name in names):
        return {name: os.environ[name] for name in names}
    script = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "wine-arch.sh")
    output = subprocess.run(["bash", script, "--env"], check=True, stdout=subprocess.PIPE,
                            env=dict(os.environ, ORVEX_WINE_ARCH_SAID="1"), text=True).stdout
    return dict(line.split("=", 1) for line in output.splitlines() if "=" in line)


WINE = _wine_settings()

# What the Windows programs read from HKLM\Software\Quarn\Orvex\Development (an
# administrator's settings), never from their environment: a run's settings of these names go
# into the prefix's key (scripts/wine-dev-settings.py), the rest into the environment.
DEVELOPMENT_SETTINGS = ("QUARN_OI_RUNMODE", "QUARN_OI_DEV_CONFIG", "BASE_DOMAIN", "DOWNLOAD_DOMAIN",
                        "ANALYTICS_DOMAIN", "ORVEX_ENV", "orvex_installer_dump")


def stop_wineserver(prefix):
    """Stops every Wine process of a prefix and waits for its wineserver to end."""
    env = dict(os.environ, WINEPREFIX=prefix)
    for flag, timeout in (("-k", None), ("-w", 60)):
        subprocess.run([WINE["ORVEX_WINESERVER"], flag], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, check=False, timeout=timeout)


def check(condition, message):
    if not condition:
        raise Failure(message)


def wait_until(probe, timeout, what, interval=0.25):
    """Calls probe until it returns something truthy and returns that; fails after timeout."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() > deadline:
            raise Failure("timed out after %ss waiting for %s" % (timeout, what))
        time.sleep(interval)


def recorded_errors(dump):
    """"stage.module: error" for each module record of a state dump that holds an error, and
    each stage's progress."""
    found = []
    for stage, modules in dump.items():
        if not isinstance(modules, dict):
            continue
        for name, record in modules.items():
            if not isinstance(record, dict):
                continue
            if name == "status" and "progress" in record:
                found.append("%s: %s" % (stage, record["progress"]))
            elif record.get("error"):
                found.append("%s.%s: %s" % (stage, name, record["error"]))
    return found or ["no stage recorded"]


def describe_dialog(dialog):
    texts = [c["text"] for c in dialog["controls"]
             if c.get("visible") and c.get("text", "").strip() and c["text"].isprintable()]
    return "pid %s: %s" % (dialog.get("pid"), " | ".join(texts)[:300])


class DevService:
    """tools/devservice/devservice.py as a process, with its control plane."""

    def __init__(self, harness, port=0, config=None):
        self.harness = harness
        port_file = os.path.join(harness.work, "devservice-%d.port" % len(harness.processes))
        args = ["python3", os.path.join(harness.root, "tools/devservice/devservice.py"),
                "--port", str(port), "--port-file", port_file, "--quiet"]
        if config:
            args += ["--config", config]
        self.process = harness.spawn(args, "devservice")
        wait_until(lambda: os.path.exists(port_file) and os.path.getsize(port_file) > 0, 30,
                   "the dev service to listen")
        with open(port_file) as f:
            self.port = int(f.read().strip())
        self.url = "http://127.0.0.1:%d" % self.port

    def call(self, path, body=b"", method="POST"):
        request = urllib.request.Request(self.url + path, data=body if method == "POST" else None,
                                         method=method)
        with urllib.request.urlopen(request, timeout=30) as answer:
            return json.loads(answer.read().decode("utf-8") or "null")

    def reset(self):
        self.call("/_dev/reset")

    def set_config(self, config):
        text = config if isinstance(config, str) else json.dumps(config, indent=1, ensure_ascii=False)
        self.call("/_dev/config", text.encode("utf-8"))

    def add_media(self, name, size):
        self.call("/_dev/media/%s?size=%d" % (name, size))

    def add_fault(self, **rule):
        self.call("/_dev/fault", json.dumps(rule).encode("utf-8"))

    def requests(self, path=None, method=None):
        query = []
        if path:
            query.append("path=" + path)
        if method:
            query.append("method=" + method)
        return self.call("/_dev/requests" + ("?" + "&".join(query) if query else ""), method="GET")

    def stop(self):
        self.harness.stop(self.process)


class Installer:
    """One run of a Windows program under scripts/wine-run.sh in the harness's prefix. The
    development settings among env are written to the prefix's machine key first (replacing
    the earlier run's); a run without any has none."""

    def __init__(self, harness, exe, run_dir, env=None, args=(), user_env=None):
        self.harness = harness
        self.run_dir = run_dir
        harness.installers.append(self)
        os.makedirs(run_dir, exist_ok=True)
        env = dict(env or {})
        settings = {name: env.pop(name) for name in DEVELOPMENT_SETTINGS if name in env}
        harness.set_development_settings(settings)
        # user_env: variables of the user's environment, development settings' names included,
        # which the program must not take for settings.
        env.update(user_env or {})
        self.log = open(os.path.join(run_dir, "wine.log"), "ab")
        self.process = harness.spawn([os.path.join(harness.root, "scripts/wine-run.sh"), exe] +
                                     list(args), os.path.basename(exe), cwd=run_dir,
                                     env=harness.wine_env(env), stdout=self.log)

    def exited(self):
        return self.process.poll() is not None

    def wait_exit(self, timeout, what):
        wait_until(self.exited, timeout, what)
        self.log.close()
        return self.process.returncode

    def dump(self):
        path = os.path.join(self.run_dir, "orvex_installer_dump.json")
        if not os.path.exists(path):
            return None
        with open(path, encoding="utf-8") as f:
            text = f.read()
        try:
            return json.loads(text)
        except ValueError:
            return None  # still being written

    def log_tail(self, count=5):
        """The last lines of the run's Wine log, each only once (Wine repeats its notes)."""
        try:
            with open(os.path.join(self.run_dir, "wine.log"), "rb") as f:
                lines = f.read().decode("utf-8", "replace").splitlines()
        except OSError:
            return []
        distinct = []
        for line in reversed(lines):
            if line.strip() and line not in distinct:
                distinct.insert(0, line)
            if len(distinct) == count:
                break
        return distinct

    def dump_text(self):
        with open(os.path.join(self.run_dir, "orvex_installer_dump.json"), encoding="utf-8") as f:
            return f.read()


class Harness:
    def __init__(self, root, build, out):
        self.root = root
        self.build = build
        self.out = out
        self.processes = []
        self.installers = []  # of the scenario running now, for its failure report
        # A failure report taken before a scenario tore down its own prefix (which ends its
        # programs and windows); printed instead of one taken afterwards.
        self.kept_failure_report = None
        self.work = tempfile.mkdtemp(prefix="orvex-e2e.")
        self.prefix = os.path.join(self.work, "wineprefix")
        self.urls_file = os.path.join(self.work, "browser-urls.txt")
        self.display = None
        self.screenshots = []
        self.probe_exe = os.path.join(build, "tests", "orvex-window-probe.exe")
        self.development_settings = None  # (prefix, what its key holds), when known
        # Variables every Wine process of the prefix gets: a scenario's locale and user.
        self.prefix_env = {}

    # ---- processes

    def spawn(self, args, name, cwd=None, env=None, stdout=None):
        log = stdout
        if log is None:
            log = open(os.path.join(self.out, "logs", "%s-%d.log" % (name, len(self.processes))),
                       "ab")
        process = subprocess.Popen(args, cwd=cwd, env=env, stdout=log, stderr=subprocess.STDOUT,
                                   stdin=subprocess.DEVNULL)
        self.processes.append(process)
        return process

    def stop(self, process, timeout=20):
        if process.poll() is None:
            process.send_signal(signal.SIGTERM)
            try:
                process.wait(timeout)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()

    def close(self):
        # Programs under Wine first (their wine-run.sh stops them), then the services and X.
        for process in reversed(self.processes):
            self.stop(process)
        if os.path.isdir(self.prefix):
            stop_wineserver(self.prefix)
        shutil.rmtree(self.work, ignore_errors=True)

    # ---- what a failed scenario leaves to look at

    def failure_report(self, scenario):
        """Lines that say what the machine showed when a scenario failed: each program the
        scenario started (still running or its exit status, the end of its Wine log, the errors
        its state dump recorded), the dialogs on screen, and a picture of the whole screen."""
        lines = []
        for installer in self.installers:
            code = installer.process.poll()
            lines.append("  %s: %s" % (os.path.basename(installer.run_dir),
                                       "still running" if code is None else "exit status %s" % code))
            lines.extend("    wine.log: " + line for line in installer.log_tail())
            dump = installer.dump()
            if dump is None:
                lines.append("    no state dump")
            else:
                lines.extend("    dump: %s" % line for line in recorded_errors(dump))
        try:
            shown = self.dialogs()
            lines.append("  dialogs on screen: %s" % (
                "; ".join(describe_dialog(d) for d in shown) if shown else "none"))
        except Failure as failure:
            lines.append("  dialogs on screen: unknown (%s)" % failure)
        if self.display:
            png = os.path.join(self.out, "FAILED-%s.png" % scenario)
            done = subprocess.run(["/usr/bin/import", "-window", "root", png], env=self.x_env(),
                                  capture_output=True, timeout=60, check=False)
            if done.returncode == 0:
                lines.append("  the screen: %s" % png)
        return lines

    def keep_failure_report(self, scenario):
        try:
            self.kept_failure_report = self.failure_report(scenario)
        except Exception as error:  # the failure being reported matters more
            self.kept_failure_report = ["  (no failure report: %s)" % error]

    # ---- set-up

    def start_x(self):
        """Xvfb on a display number it finds free itself (-displayfd)."""
        read_end, write_end = os.pipe()
        log = open(os.path.join(self.out, "logs", "xvfb.log"), "ab")
        process = subprocess.Popen(["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                    "1024x768x24", "-nolisten", "tcp"],
                                   pass_fds=(write_end,), stdout=log, stderr=subprocess.STDOUT,
                                   stdin=subprocess.DEVNULL)
        self.processes.append(process)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(read_end, 16)
            if not chunk:
                break
            number += chunk
        os.close(read_end)
        check(number.strip().isdigit(), "Xvfb did not report its display (see logs/xvfb.log)")
        self.display = ":" + number.strip().decode()

    def make_prefix(self):
        """A throwaway Wine prefix whose browser launcher appends each URL to a file."""
        self.development_settings = None  # a new prefix's key holds nothing yet
        recorder = os.path.join(self.work, "record-url")
        with open(recorder, "w") as f:
            f.write("#!/bin/sh\nprintf '%%s\\n' \"$*\" >> '%s'\n" % self.urls_file)
        os.chmod(recorder, 0o755)
        reg = self.wine_tool("reg.exe")
        process = self.spawn([os.path.join(self.root, "scripts/wine-run.sh"), reg, "add",
                              "HKCU\\Software\\Wine\\WineBrowser", "/v", "Browsers", "/d",
                              recorder, "/f"], "wineboot", env=self.wine_env())
        try:
            process.wait(180)
        except subprocess.TimeoutExpired:
            raise Failure("timed out after 180s booting the Wine prefix")
        check(process.returncode == 0, "setting the Wine browser failed (see logs/wineboot-*.log)")

    def set_development_settings(self, settings):
        """Replaces the prefix's development settings (HKLM) with these (name -> text)."""
        # Scenarios switch prefixes (a machine of their own): what is known is per prefix.
        if (self.prefix, settings) == self.development_settings:
            return  # the key holds them already
        done = subprocess.run([os.path.join(self.root, "scripts/wine-dev-settings.py")] +
                              ["%s=%s" % item for item in sorted(settings.items())],
                              env=self.wine_env(), stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, stdin=subprocess.DEVNULL, text=True,
                              timeout=180, check=False)
        check(done.returncode == 0, "setting the development settings failed: %s" % done.stderr)
        self.development_settings = (self.prefix, dict(settings))

    @staticmethod
    def wine_tool(name):
        path = os.path.join(WINE["ORVEX_WINE_TOOLS"], name)
        check(os.path.exists(path), "Wine's %s not found (run scripts/setup.sh)" % path)
        return path

    def wine_env(self, extra=None):
        # A small environment: the installer imports it into its session variables.
        env = {"PATH": os.environ.get("PATH", "/usr/bin:/bin"),
               "HOME": os.environ.get("HOME", "/root"),
               "WINEPREFIX": self.prefix, "WINE_USE_DISPLAY": "1"}
        env.update(WINE)
        if self.display:
            env["DISPLAY"] = self.display
        for name in ("TMPDIR", "XAUTHORITY"):
            if name in os.environ:
                env[name] = os.environ[name]
        env.update(self.prefix_env)
        env.update(extra or {})
        return env

    def x_env(self):
        return dict(os.environ, DISPLAY=self.display)

    # ---- the browser

    def browser_urls(self):
        if not os.path.exists(self.urls_file):
            return []
        with open(self.urls_file) as f:
            return [line.strip() for line in f if line.strip()]

    def clear_browser_urls(self):
        if os.path.exists(self.urls_file):
            os.remove(self.urls_file)

    # ---- the windows

    def dialogs(self):
        """The visible dialog windows as orvex-window-probe.exe reads them."""
        # Output to a file, not a pipe: when the probe is the prefix's first Wine process, the
        # wineserver it starts inherits its output and outlives it.
        with tempfile.TemporaryFile(dir=self.work) as output:
            try:
                subprocess.run([os.path.join(self.root, "scripts/wine-run.sh"), self.probe_exe],
                               env=self.wine_env(), stdout=output, stderr=subprocess.DEVNULL,
                               stdin=subprocess.DEVNULL, timeout=120, check=False)
            except subprocess.TimeoutExpired:
                raise Failure("timed out after 120s reading the windows")
            output.seek(0)
            text = output.read().decode("utf-8", "replace")
        dialogs = []
        for line in text.splitlines():
            if line.startswith("{"):
                dialogs.append(json.loads(line))
        for dialog in dialogs:
            dialog["by_id"] = {c["id"]: c for c in dialog["controls"]}
        return dialogs

    def main_window(self):
        for dialog in self.dialogs():
            if 1001 in dialog["by_id"]:
                return dialog
        return None

    def prompt_window(self):
        for dialog in self.dialogs():
            if 1002 in dialog["by_id"]:
                return dialog
        return None

    def wait_main_window(self, predicate, timeout, what):
        last = {}

        def probe():
            window = self.main_window()
            last["window"] = window
            return window if window and predicate(window) else None
        try:
            return wait_until(probe, timeout, what)
        except Failure as failure:
            window = last.get("window")
            if window:
                controls = window["by_id"]
                raise Failure("%s; the window shows status %r, button %r, bar %s at %s%%" % (
                    failure, controls[1001]["text"], controls[2]["text"],
                    "shown" if controls[1000]["visible"] else "hidden",
                    controls[1000].get("position")))
            raise Failure("%s; no installer window" % failure)

    def wait_prompt(self, timeout, what):
        return wait_until(self.prompt_window, timeout, what)

    def xdotool(self, *args):
        return subprocess.run(["xdotool"] + [str(a) for a in args], env=self.x_env(),
                              capture_output=True, timeout=30, check=False).stdout.decode()

    def x_window_of(self, dialog):
        """The X window that shows a dialog: the visible one nearest to its rectangle."""
        left, top, right, bottom = dialog["rect"]
        centre = ((left + right) / 2, (top + bottom) / 2)
        best, best_distance = None, None
        for line in self.xdotool("search", "--onlyvisible", "--name", ".*").split():
            geometry = {}
            for item in self.xdotool("getwindowgeometry", "--shell", line).split():
                key, _, value = item.partition("=")
                geometry[key] = value
            if not all(k in geometry for k in ("X", "Y", "WIDTH", "HEIGHT")):
                continue
            width, height = int(geometry["WIDTH"]), int(geometry["HEIGHT"])
            if width >= 1024 and height >= 768:
                continue  # the root
            x, y = int(geometry["X"]), int(geometry["Y"])
            distance = abs(x + width / 2 - centre[0]) + abs(y + height / 2 - centre[1]) + \
                abs(width - (right - left)) + abs(height - (bottom - top))
            if best_distance is None or distance < best_distance:
                best, best_distance = line, distance
        check(best is not None, "no X window found for the dialog at %s" % dialog["rect"])
        return best

    def screenshot(self, dialog, name):
        """The dialog's X window as build/e2e/<name>.png."""
        window = self.x_window_of(dialog)
        xwd = os.path.join(self.work, name + ".xwd")
        png = os.path.join(self.out, name + ".png")
        subprocess.run(["xwd", "-silent", "-id", window, "-out", xwd], env=self.x_env(),
                       check=True, timeout=30)
        # /usr/bin/convert is ImageMagick's; another convert may come first on PATH.
        subprocess.run(["/usr/bin/convert", xwd, png], check=True, timeout=60)
        check(os.path.getsize(png) > 0, "empty screenshot " + png)
        self.screenshots.append(png)
        return png

    @staticmethod
    def pixel(png, x, y):
        """The colour at (x, y) of a screenshot as "r,g,b"."""
        text = subprocess.run(["/usr/bin/convert", png, "-format", "%%[pixel:p{%d,%d}]" % (x, y),
                               "info:"], capture_output=True, check=True, timeout=60).stdout.decode()
        return ",".join(re.findall(r"\d+", text)[:3])

    def step_row(self, png):
        """The step row in a screenshot of the main window (whose X window is its client
        area): "done" or "pending" per square, read from each square's inside; checks the
        border colour on the way."""
        height = int(subprocess.run(["/usr/bin/convert", png, "-format", "%h", "info:"],
                                    capture_output=True, check=True, timeout=60).stdout)
        fills = {"0,255,0": "done", "224,224,224": "pending"}
        squares = []
        for i in range(40):
            left, top = 10 + 10 * i, height - 20
            fill = fills.get(self.pixel(png, left + 4, top + 4))
            if fill is None:
                break
            border = self.pixel(png, left, top + 4)
            check(border == "128,128,128", "square %d of %s has the border %s" % (i, png, border))
            squares.append(fill)
        return squares

    @staticmethod
    def centre(control):
        left, top, right, bottom = control["rect"]
        return (left + right) // 2, (top + bottom) // 2

    def click(self, control):
        x, y = self.centre(control)
        self.xdotool("mousemove", x, y, "click", "1")

    def focus(self, dialog):
        """Clicks on a part of the dialog that is no button, so that keys go to it."""
        left, top, right, _ = dialog["rect"]
        self.xdotool("mousemove", (left + right) // 2, top + 12, "click", "1")

    def key(self, dialog, name):
        self.focus(dialog)
        self.xdotool("key", name)


class RestartRecorder:
    """Records the restarts the installer asks for in the harness's prefix instead of letting
    Wine carry them out.

    Under Wine, ExitWindowsEx(EWX_REBOOT) runs "C:\\windows\\system32\\wineboot.exe
    --end-session", which restarts the prefix (it never touches the host). While this object is
    open, that file is orvex-restart-recorder.exe, which appends its command line to a file,
    and programs started with env() load it instead of Wine's built-in wineboot. A keeper
    process (cmd.exe waiting on its input) holds the prefix's Wine session open meanwhile: the
    session has started before the swap, so no new session runs the stand-in as "wineboot
    --init", and the stand-in is not stopped with the installer's session. close() puts Wine's
    wineboot.exe back and ends the keeper."""

    def __init__(self, harness):
        self.harness = harness
        self.record = os.path.join(harness.work, "restart-requests.txt")
        if os.path.exists(self.record):
            os.remove(self.record)  # an earlier scenario's requests
        self.target = os.path.join(harness.prefix, "drive_c", "windows", "system32", "wineboot.exe")
        self.saved = self.target + ".orvex-saved"
        log = open(os.path.join(harness.out, "logs", "restart-keeper.log"), "ab")
        self.keeper = subprocess.Popen(
            [os.path.join(harness.root, "scripts/wine-run.sh"), harness.wine_tool("cmd.exe")],
            env=harness.wine_env(), stdin=subprocess.PIPE, stdout=log, stderr=subprocess.STDOUT)
        harness.processes.append(self.keeper)
        # The keeper's session is up once a program started beside it can run.
        probe = subprocess.run([os.path.join(harness.root, "scripts/wine-run.sh"),
                                harness.wine_tool("reg.exe"), "query", "HKCU\\Software\\Wine"],
                               env=harness.wine_env(), stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=180, check=False)
        check(probe.returncode == 0 and self.keeper.poll() is None,
              "the Wine session for the restart record did not start")
        shutil.copyfile(self.target, self.saved)
        shutil.copyfile(os.path.join(harness.build, "tests", "orvex-restart-recorder.exe"),
                        self.target)

    def env(self, extra=None):
        """What a program that may restart the machine is started with."""
        env = {"ORVEX_RESTART_RECORD": "Z:" + self.record.replace("/", "\\"),
               "WINEDLLOVERRIDES": "wineboot.exe=n"}
        env.update(extra or {})
        return env

    def requests(self):
        if not os.path.exists(self.record):
            return []
        with open(self.record, errors="replace") as f:
            return [line.strip() for line in f if line.strip()]

    def close(self):
        if os.path.exists(self.saved):
            shutil.copyfile(self.saved, self.target)
            os.remove(self.saved)
        if self.keeper.poll() is None:
            try:
                self.keeper.stdin.close()
            except OSError:
                pass
        self.harness.stop(self.keeper)
