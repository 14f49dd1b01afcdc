"""The installation of the product under Wine, shared by the demo (scripts/e2e/demo.py
--product) and the end-to-end scenarios (scripts/e2e/run.py): the product packages of
examples/product served by the dev service with examples/install/config.json, a Wine prefix
prepared as a user's machine, the run answered question by question, and what the run left in
the prefix and in the service's record.
"""

import json
import os
import re
import subprocess
import tempfile
import time
import urllib.parse

from harness import Failure, Installer, check, wait_until

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CONFIG = os.path.join(ROOT, "examples", "install", "config.json")
PACKAGE_CAB = "Orvex-2.0.6.8063.cab"
# Where the service serves it: the configuration sends 64-bit Windows the x64 edition.
PACKAGE_PATHS = ("/media/" + PACKAGE_CAB, "/media/x64/" + PACKAGE_CAB)
OFFERED_VERSION = "2.0.6.8063"

# The questions of the installation and the answer a user who wants the product gives.
UP_TO_DATE = "Your version of Orvex is already up to date."
UPGRADE = "You already have an older version of Orvex installed on your System."
GPU_OPTIONAL = "Your Graphics driver seems to be outdated. Do you want to upgrade it ?"
GPU_FAILED = "Graphics Driver install failed. Do you want to continue installing Orvex?"
DRIVER_FAILED = "Could not install driver."
RESTART = "You must restart  your system to complete Orvex installation."
INSTALL_FAILED = "Could not install Orvex-m."
STOP = "Do you want to stop the installation ?"
ACCEPT, DECLINE = "accept", "decline"
WILLING_USER = {GPU_OPTIONAL: ACCEPT, DRIVER_FAILED: ACCEPT, GPU_FAILED: ACCEPT,
                RESTART: ACCEPT, UPGRADE: ACCEPT, UP_TO_DATE: DECLINE,
                INSTALL_FAILED: ACCEPT}

PRODUCT_DIR = ("drive_c", "Program Files", "Quarn", "Orvex")
USER_DATA_DIR = ("drive_c", "ProgramData", "Quarn", "Orvex")


def load_config():
    """examples/install/config.json as a JSON object (its block comments dropped)."""
    with open(CONFIG, encoding="utf-8") as f:
        return json.loads(re.sub(r"/\*.*?\*/", "", f.read(), flags=re.S))


def service_settings(config):
    """The ".InstallConfig" object the configuration injects, to change what the service says."""
    for stage in config["Stages"]:
        for module in stage["modules"]:
            if module["name"] == "SERVICE_SETTINGS":
                return module["args"]["value"]
    raise Failure("no SERVICE_SETTINGS module in %s" % CONFIG)


def serve_product(service, build, broken=False):
    """Uploads the product's media to the service; with broken, a package of the same name
    whose launch condition fails."""
    product = os.path.join(build, "product")
    media = os.path.join(product, "media")
    check(os.path.isdir(media), "no product packages in %s (build the target orvex-product)" % media)
    # Subfolders too: the package of 64-bit Windows is x64/<name>.
    for folder, _, names in sorted(os.walk(media)):
        for name in sorted(names):
            source = os.path.join(folder, name)
            relative = os.path.relpath(source, media).replace(os.sep, "/")
            if broken and "/media/" + relative in PACKAGE_PATHS:
                source = os.path.join(product, "broken", name)
            with open(source, "rb") as f:
                service.call("/_dev/media/" + relative, f.read())
    with open(os.path.join(product, "codes.json")) as f:
        return json.load(f)


def run_wine(h, args, what, timeout=240):
    """A Windows program of the prefix (reg.exe, msiexec.exe, ...); its output as text."""
    with tempfile.TemporaryFile(dir=h.work) as output:
        try:
            result = subprocess.run([os.path.join(ROOT, "scripts/wine-run.sh")] + args,
                                    env=h.wine_env(), stdout=output, stderr=subprocess.STDOUT,
                                    stdin=subprocess.DEVNULL, timeout=timeout, check=False)
        except subprocess.TimeoutExpired:
            raise Failure("timed out after %ds: %s" % (timeout, what))
        output.seek(0)
        text = output.read().decode("utf-8", "replace")
    return result.returncode, text


def prepare_machine(h, build, install=(), desktop=None):
    """A user's machine in the harness's prefix: .NET 4 recorded as installed (Wine has none;
    the configuration would otherwise ask for it), the given packages of the product's media
    installed first, and files on the public desktop."""
    ndp = "HKLM\\Software\\Microsoft\\NET Framework Setup\\NDP\\v4\\"
    for part in ("Client", "Full"):
        code, text = run_wine(h, [h.wine_tool("reg.exe"), "add", ndp + part, "/v", "Install",
                                  "/t", "REG_DWORD", "/d", "1", "/f"], "recording .NET 4")
        check(code == 0, "reg add %s: %s" % (part, text))
    for package in install:
        path = os.path.join(build, "product", "media", package)
        code, text = run_wine(h, [h.wine_tool("msiexec.exe"), "/i", "Z:" + path.replace("/", "\\"),
                                  "/qn"], "installing " + package)
        check(code == 0, "msiexec /i %s exited with %d: %s" % (package, code, text[-400:]))
    folder = public_desktop(h)
    os.makedirs(folder, exist_ok=True)
    for name, text in (desktop or {}).items():
        with open(os.path.join(folder, name), "w") as f:
            f.write(text)


def public_desktop(h):
    return os.path.join(h.prefix, "drive_c", "users", "Public", "Desktop")


def prefix_path(h, windows_path):
    """The file of the prefix behind a C: path (the prefix's folders keep Wine's letter case)."""
    check(windows_path[:3].upper() == "C:\\", "not a C: path: %r" % windows_path)
    return os.path.join(h.prefix, "drive_c", *[p for p in windows_path[3:].split("\\") if p])


def start(h, build, service, run_dir, env=None):
    extra = {"BASE_DOMAIN": service.url + "/", "DOWNLOAD_DOMAIN": service.url + "/",
             "ANALYTICS_DOMAIN": service.url + "/", "orvex_installer_dump": "1"}
    extra.update(env or {})
    return Installer(h, os.path.join(build, "OrvexWebInstaller.exe"), run_dir, extra)


class Drive:
    """Watches a run's windows until it ends: answers each question from a table of answers,
    takes the screenshots of its milestones and, when asked, cancels during the download."""

    def __init__(self, h, answers, shot=None, cancel_in_download=False, say=print):
        self.h = h
        self.answers = answers
        self.shot = shot  # name -> screenshot name, or None for no screenshots
        self.cancel_in_download = cancel_in_download
        self.say = say
        self.questions = []  # (message, detail, ok caption, cancel caption, answer)
        self.statuses = []
        self.milestones = set()
        self.bar_positions = {"download": [], "install": []}

    def screenshot(self, dialog, milestone):
        if self.shot and milestone in self.shot:
            png = self.h.screenshot(dialog, self.shot[milestone])
            self.say("  saved %s" % os.path.relpath(png, ROOT))

    def answer(self, prompt):
        c = prompt["by_id"]
        message = c[1002]["text"]
        question = (message, c[1003]["text"], c[1]["text"] if c[1]["visible"] else "",
                    c[2]["text"] if c[2]["visible"] else "")
        answer = self.answers.get(message)
        if answer is None:
            raise Failure("a question the run should not ask: %r / %r" % question[:2])
        self.say("question: %r (%r) [%s | %s] -> %s" % (question + (answer,)))
        self.screenshot(prompt, message)
        button = c[1] if answer == ACCEPT else c[2]
        check(button["visible"], "the %s button of %r is hidden" % (answer, message))
        self.h.click(button)
        self.questions.append(question + (answer,))
        wait_until(lambda: not self.h.prompt_window(), 60, "the question %r to close" % message)

    def watch(self, main):
        c = main["by_id"]
        status, bar = c[1001]["text"], c[1000]
        if not self.statuses or self.statuses[-1] != status:
            self.statuses.append(status)
            self.say("status: %r" % status)
        if "start" not in self.milestones:
            self.milestones.add("start")
            self.screenshot(main, "start")
        moving = bar["visible"] and bar.get("position", 0) > 0
        if moving and status.startswith("Downloading Orvex"):
            self.bar_positions["download"].append(bar["position"])
            if "download" not in self.milestones:
                self.milestones.add("download")
                self.screenshot(main, "download")
                if self.cancel_in_download:
                    self.h.click(c[2])
                    self.say("  pressed \"Cancel\" during the download")
        elif moving and "download" in self.milestones:
            self.bar_positions["install"].append(bar["position"])
            if "install" not in self.milestones:
                self.milestones.add("install")
                self.screenshot(main, "install")
        return c[2]["text"] == "Done"

    def run(self, installer, timeout=900):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if installer.exited():
                return None
            dialogs = self.h.dialogs()  # one look at both windows
            prompt = next((d for d in dialogs if 1002 in d["by_id"]), None)
            if prompt:
                self.answer(prompt)
                continue
            main = next((d for d in dialogs if 1001 in d["by_id"]), None)
            if main and self.watch(main):
                self.screenshot(main, "done")
                return main
            time.sleep(0.2)
        raise Failure("the installation did not end within %ds (last status %r)"
                      % (timeout, self.statuses[-1] if self.statuses else None))


def registry_values(h, key):
    """The values of a key of the prefix's registry (reg.exe query), name -> text."""
    code, text = run_wine(h, [h.wine_tool("reg.exe"), "query", key], "reading " + key)
    values = {}
    if code != 0:
        return values
    for line in text.splitlines():
        match = re.match(r"\s+(\S.*?)\s+(REG_\w+)\s*(.*)$", line)
        if match:
            values[match.group(1)] = match.group(3).strip()
    return values


def installed_version(h, product_code):
    values = registry_values(
        h, "HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + product_code)
    return values.get("DisplayVersion")


def report(service):
    """The installation report and the analytics hit the run sent (forms), or None."""
    reports = service.requests("/installer/install", "POST")
    hits = service.requests("/collect", "POST")
    return (reports[-1]["form"] if reports else None), (hits[-1]["form"] if hits else None)


def check_installed(h, service, dump, codes, product_dir=None):
    """What a completed installation leaves: the product in Windows Installer's list, its files,
    the scripts' work, config.xml, the registry values, the report, no session folder.
    product_dir: the C: folder the product was installed into, when not the default."""
    # The build's own package, or the edition of 64-bit Windows where the prefix is 64-bit.
    versions = [installed_version(h, p["product_code"]) for p in codes["packages"]
                if p["version"] == OFFERED_VERSION and not p["broken"]]
    version = OFFERED_VERSION if OFFERED_VERSION in versions else versions[0]
    check(version == OFFERED_VERSION, "the installed product's version: %r" % version)
    program = prefix_path(h, product_dir) if product_dir else os.path.join(h.prefix, *PRODUCT_DIR)
    for name in ("Orvex.exe", "install_ics.bat", "copy_vbox_config.bat", "install_ics.log"):
        check(os.path.isfile(os.path.join(program, name)), "no %s in %s" % (name, program))
    user_data = os.path.join(h.prefix, *USER_DATA_DIR)
    check(os.path.isfile(os.path.join(user_data, "orvexvm", "orvexvm.vbox")),
          "copy_vbox_config.bat did not copy the machine's settings")
    with open(os.path.join(user_data, "config", "config.xml"), "rb") as f:
        xml = f.read()
    check(xml.startswith(b"\xff\xfe") and "<orvex>".encode("utf-16-le") in xml,
          "config.xml is not the product's UTF-16 configuration: %r" % xml[:60])
    values = registry_values(h, "HKLM\\Software\\Quarn\\Orvex")
    check(values.get("SendCrashReport") == "0x1" and "PromoterReferred" in values,
          "the product's registry values: %r" % values)
    session = dump.get("SessionDir")
    check(isinstance(session, str) and not os.path.exists(prefix_path(h, session)),
          "the session folder %r is still there" % session)
    # LastStage records the session in a place of its own, not in the Install stage's record.
    check(dump.get("Installed", {}).get("session") and "session" not in dump.get("Install", {}),
          "LastStage's record of the session: %r" % dump.get("Installed"))
    form, hit = report(service)
    check(form is not None and form.get("status") == "INSTALLED"
          and form.get("version") == OFFERED_VERSION, "the installation report: %r" % form)
    check(hit is not None and hit.get("cd") == "INSTALLED", "the analytics hit: %r" % hit)
    return values


def check_forms_utf8(service):
    """The report's and the hit's bodies, their percent escapes undone, are UTF-8 (a strict
    decode: a byte that is not UTF-8 fails it)."""
    for path in ("/installer/install", "/collect"):
        for request in service.requests(path, "POST"):
            body = request["body"].encode("latin-1")  # the service keeps one character a byte
            for pair in body.split(b"&"):
                for part in pair.split(b"=", 1):
                    try:
                        urllib.parse.unquote_to_bytes(part.replace(b"+", b" ")).decode("utf-8")
                    except UnicodeDecodeError as error:
                        raise Failure("%s sent %r, not UTF-8: %s" % (path, part, error))


def check_failed_report(service, module, reason):
    form, hit = report(service)
    check(form is not None and form.get("status") == "FAILED"
          and form.get("failed_module") == module
          and form.get("failed_reason", "").strip() == reason.strip(),
          "the installation report: %r (expected FAILED, %s, %r)" % (form, module, reason))
    check(hit is not None and hit.get("cd") == "FAILED", "the analytics hit: %r" % hit)


def check_request_order(service):
    """A fresh installation asks, in this order: the configuration, the package's size and
    ranges, the driver's address, then sends the report and the analytics hit."""
    order = []
    for request in service.requests():
        path = request["path"]
        kind = {"/index/getinstallconfig": "configuration", "/index/driverupdate": "driver",
                "/installer/install": "report", "/collect": "hit"}.get(path)
        if path in PACKAGE_PATHS:
            kind = "package"
        if kind and (not order or order[-1] != kind):
            order.append(kind)
    expected = ["configuration", "package"] + (["driver"] if "driver" in order else []) + \
        ["report", "hit"]
    check(order == expected,
          "the order of the requests: %s, expected %s" % (order, expected))
    return order
