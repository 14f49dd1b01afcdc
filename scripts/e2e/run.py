#!/usr/bin/env python3
"""End-to-end tests of OrvexWebInstaller.exe: the real program under Wine on an Xvfb display,
against tools/devservice, driven with xdotool. See scripts/e2e/run.sh for how to run it.

Each scenario prints one PASS or FAIL line; the exit status is 1 when any failed. Screenshots
go to <out>/*.png, the programs' output and state dumps to <out>/runs/<scenario>/.
"""

import argparse
import json
import os
import re
import shutil
import sys
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import DevService, Failure, Harness, Installer, check, wait_until  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def constant(name):
    """A host name the installer builds its URLs with, read from common/web_service.h."""
    with open(os.path.join(ROOT, "common/web_service.h")) as f:
        match = re.search(r'%s = "([^"]+)"' % name, f.read())
    return match.group(1)


SERVICE_DOMAIN = constant("kServiceDomain")
SITE_HOST = constant("kProductSiteHost")
WINDOW_TIMEOUT = 90  # the first window of a run: Wine starts the program
EVENT_TIMEOUT = 60  # anything the session does next


def plan(*stages):
    """A configuration whose stages report to the window ("PIDialog" through %PROGRESS%) and
    whose failures go to the window's handler ("CBDialog")."""
    return {
        "ProgressIndicators": [{"name": "Window", "class": "%PROGRESS%"}],
        "Callbacks": [{"name": "Default", "class": "CBDialog"}],
        "progress": "Window",
        "Stages": list(stages),
    }


# UTF-8 in the configuration: the status line decodes it.
FINISHING = "Finishing the installation \u2013 d\u00e9j\u00e0 fini"


def last_stage():
    return {"name": "LastStage", "msg": FINISHING,
            "modules": [{"class": "Injector", "name": "FINISHED",
                         "args": {"path": ".Install.finished", "value": True}}]}


def downloader(name, media, msg):
    return {"class": "HTTPDownloader", "name": name, "msg": msg,
            "args": {"url": "%BASE_URL%/media/" + media, "destination": media,
                     "directory": "C:\\windows\\temp"}}


class Scenarios:
    def __init__(self, harness):
        self.h = harness
        self.service = None

    # ---- helpers

    def run_dir(self, name):
        path = os.path.join(self.h.out, "runs", name)
        shutil.rmtree(path, ignore_errors=True)
        os.makedirs(path)
        return path

    def start(self, name, service_url=None):
        url = service_url or self.service.url
        env = {"BASE_DOMAIN": url + "/", "DOWNLOAD_DOMAIN": url + "/", "orvex_installer_dump": "1"}
        return Installer(self.h, os.path.join(self.h.build, "OrvexWebInstaller.exe"),
                         self.run_dir(name), env)

    def base_url(self, service_url=None):
        return (service_url or self.service.url) + "/" + SERVICE_DOMAIN

    def fresh_service(self, config):
        self.service.reset()
        self.h.clear_browser_urls()
        if config is not None:
            self.service.set_config(config)

    def wait_done(self, status, what):
        """The button "Done" with the given status line (the status is posted, "Done" sent:
        either may show first)."""
        return self.h.wait_main_window(
            lambda w: w["by_id"][2]["text"] == "Done" and w["by_id"][1001]["text"] == status,
            EVENT_TIMEOUT * 3, "%s with the status %r" % (what, status))

    def wait_dump(self, installer):
        return wait_until(installer.dump, EVENT_TIMEOUT, "the state dump")

    def close_with_done(self, installer, window, by_key=False):
        if by_key:
            self.h.key(window, "Escape")
        else:
            self.h.click(window["by_id"][2])
        installer.wait_exit(EVENT_TIMEOUT, "the installer to end after \"Done\"")

    @staticmethod
    def check_prompt(prompt, message, detail, ok, cancel):
        controls = prompt["by_id"]
        check(controls[1002]["text"] == message, "prompt message %r" % controls[1002]["text"])
        check(controls[1003]["text"] == detail, "prompt detail %r" % controls[1003]["text"])
        for control_id, caption in ((1, ok), (2, cancel)):
            button = controls[control_id]
            if caption:
                check(button["visible"] and button["text"] == caption,
                      "button %d should show %r: %r" % (control_id, caption, button))
            else:
                check(not button["visible"], "button %d should be hidden" % control_id)

    # ---- scenarios

    def download_then_done(self):
        """Stages with the window's indicator and handler; a download moves the bar; the
        completed "LastStage" gives "Done", and "Done" opens the next-steps page."""
        size = 4000000
        config = plan(
            {"name": "Connect", "msg": "Checking the connection",
             "modules": [{"class": "ConnectivityChecker", "name": "ONLINE",
                          "args": {"url": "%BASE_URL%/index/getinstallconfig"}}]},
            {"name": "Fetch", "msg": "Fetching the package",
             "modules": [downloader("PACKAGE", "package.bin", "Downloading the package")]},
            {"name": "Ask", "msg": "Asking the web service",
             "modules": [{"class": "AjaxRequest", "name": "DRIVER",
                          "args": {"request_url": "%BASE_URL%/index/driverupdate",
                                   "request_args": {"platform": "%ui%"},
                                   "res_path": ".Answer.driver"}}]},
            last_stage())
        self.fresh_service(config)
        self.service.add_media("package.bin", size)
        # Ten ranges at 50 kB/s each: several seconds of a moving bar.
        self.service.add_fault(path="/media/package.bin", method="GET", kind="slow", rate=50000)
        # The configuration arrives slowly, so the window is seen as it starts.
        self.service.add_fault(path="/index/getinstallconfig", method="GET", kind="slow", rate=300)
        run = self.start("download_then_done")

        start = self.h.wait_main_window(lambda w: True, WINDOW_TIMEOUT, "the main window")
        controls = start["by_id"]
        check(controls[1001]["text"] == "ORVEX Web Installer", "status at start: %r" % controls[1001]["text"])
        check(controls[2]["text"] == "Cancel", "button at start: %r" % controls[2]["text"])
        check(not controls[1000]["visible"], "the progress bar is hidden at start")
        row = self.h.step_row(self.h.screenshot(start, "01-main-start"))
        check(row == [], "step row before the configuration: %s" % row)

        moving = self.h.wait_main_window(
            lambda w: w["by_id"][1000]["visible"] and w["by_id"][1000]["position"] > 0,
            EVENT_TIMEOUT, "the progress bar to show a download")
        first = moving["by_id"][1000]["position"]
        check(moving["by_id"][1001]["text"] == "Downloading the package",
              "status during the download: %r" % moving["by_id"][1001]["text"])
        row = self.h.step_row(self.h.screenshot(moving, "02-main-download"))
        check(row == ["done", "done", "pending", "pending"], "step row during the download: %s" % row)
        later = self.h.wait_main_window(
            lambda w: not w["by_id"][1000]["visible"] or w["by_id"][1000]["position"] > first,
            EVENT_TIMEOUT, "the progress bar to move past %d%%" % first)
        if later["by_id"][1000]["visible"]:
            self.h.screenshot(later, "03-main-download-later")

        done = self.wait_done(FINISHING, "\"Done\" at the end of the run")
        check(not done["by_id"][1000]["visible"], "the progress bar is hidden after the download")
        row = self.h.step_row(self.h.screenshot(done, "04-main-done"))
        check(row == ["done"] * 4, "step row at the end: %s" % row)

        dump = self.wait_dump(run)
        for stage in ("Connect", "Fetch", "Ask", "LastStage"):
            check(dump.get(stage, {}).get("status", {}).get("progress") == "completed",
                  "stage %s did not complete: %r" % (stage, dump.get(stage)))
        check(dump["env"]["ui"] == "dialog" and dump["env"]["PROGRESS"] == "PIDialog",
              "session variables: %r" % {k: dump["env"].get(k) for k in ("ui", "PROGRESS")})
        check(dump["Install"]["finished"] is True, "LastStage's module did not run")
        check(dump.get("Answer", {}).get("driver", "").endswith("gpudriver.zip"),
              "the AjaxRequest answer: %r" % dump.get("Answer"))
        saved = os.path.join(self.h.prefix, "drive_c", "windows", "temp", "package.bin")
        check(os.path.exists(saved) and os.path.getsize(saved) == size,
              "the downloaded file has %s bytes" % (os.path.getsize(saved) if os.path.exists(saved) else "no"))
        ranged = [r for r in self.service.requests("/media/package.bin", "GET")
                  if "Range" in r["headers"] or "range" in r["headers"]]
        check(len(ranged) > 1, "the download asked %d ranges" % len(ranged))
        posts = self.service.requests("/index/driverupdate", "POST")
        check(len(posts) == 1 and posts[0]["form"].get("platform") == "dialog",
              "the AjaxRequest post: %r" % posts)

        check(self.h.browser_urls() == [], "a page opened before \"Done\": %r" % self.h.browser_urls())
        self.close_with_done(run, done)
        expected = self.base_url() + "/nextsteps?status=installed"
        urls = wait_until(self.h.browser_urls, EVENT_TIMEOUT, "the next-steps page in the browser")
        check(urls == [expected], "browser pages %r, expected %r" % (urls, expected))

    def second_instance(self):
        """A second installer started while the first runs ends at once without a window."""
        self.fresh_service(plan(last_stage()))
        self.service.add_fault(path="/index/getinstallconfig", method="GET", kind="slow", rate=20)
        first = self.start("second_instance_first")
        self.h.wait_main_window(lambda w: True, WINDOW_TIMEOUT, "the first installer's window")
        wait_until(lambda: self.service.requests("/index/getinstallconfig", "GET"), EVENT_TIMEOUT,
                   "the first installer to ask for its configuration")
        before = len(self.service.requests("/index/getinstallconfig"))
        second = self.start("second_instance_second")

        def second_gone():
            windows = [d for d in self.h.dialogs() if 1001 in d["by_id"]]
            check(len(windows) <= 1, "a second installer window appeared: %r" % windows)
            return second.exited()
        wait_until(second_gone, EVENT_TIMEOUT, "the second installer to end")
        check(second.process.returncode == 0, "the second installer exited with %s" % second.process.returncode)
        check(len(self.service.requests("/index/getinstallconfig")) == before,
              "the second installer asked the web service")
        check(not first.exited(), "the first installer ended too")
        windows = [d for d in self.h.dialogs() if 1001 in d["by_id"]]
        check(len(windows) == 1, "%d installer windows after the second ended" % len(windows))
        self.h.stop(first.process)

    def configuration_unreachable(self):
        """No web service: the Retry/Quit question; Retry once it is up proceeds; Quit shows
        "Installation aborted" and "Done"."""
        dead = DevService(self.h)
        port, url = dead.port, dead.url
        dead.stop()
        self.h.clear_browser_urls()
        config_file = os.path.join(self.h.out, "runs", "unreachable-config.json")
        os.makedirs(os.path.dirname(config_file), exist_ok=True)
        with open(config_file, "w", encoding="utf-8") as f:
            json.dump(plan(last_stage()), f, ensure_ascii=False)

        message = "Could not get configuration data from %s." % SITE_HOST
        detail = "An internet connection is required to continue installation."
        run = self.start("unreachable_retry", url)
        prompt = self.h.wait_prompt(WINDOW_TIMEOUT, "the Retry/Quit question")
        self.check_prompt(prompt, message, detail, "Retry", "Quit")
        self.h.screenshot(prompt, "05-prompt-severity0-retry-quit")
        service = DevService(self.h, port=port, config=config_file)
        self.h.key(prompt, "Return")  # Enter accepts: Retry
        done = self.wait_done(FINISHING, "\"Done\" after Retry")
        check(self.h.prompt_window() is None, "a question is still open after Retry")
        dump = self.wait_dump(run)
        check(dump["LastStage"]["status"]["progress"] == "completed", "LastStage after Retry: %r" % dump.get("LastStage"))
        check(service.requests("/index/getinstallconfig", "GET"), "no configuration request after Retry")
        self.close_with_done(run, done, by_key=True)  # Esc presses "Done"
        wait_until(self.h.browser_urls, EVENT_TIMEOUT, "the next-steps page after Retry")
        service.stop()

        self.h.clear_browser_urls()
        run = self.start("unreachable_quit", url)
        prompt = self.h.wait_prompt(WINDOW_TIMEOUT, "the Retry/Quit question")
        self.check_prompt(prompt, message, detail, "Retry", "Quit")
        self.h.click(prompt["by_id"][2])  # Quit
        aborted = self.wait_done("Installation aborted", "\"Done\" after Quit")
        check(self.h.prompt_window() is None, "a question is still open after Quit")
        self.h.screenshot(aborted, "06-main-quit-aborted")
        self.close_with_done(run, aborted)
        check(not os.path.exists(os.path.join(run.run_dir, "orvex_installer_dump.json")),
              "a state dump was written after Quit")
        check(self.h.browser_urls() == [], "a page opened after Quit: %r" % self.h.browser_urls())

    def cancel_download(self):
        """Cancel during a slow download: the stop question; "No" goes on; "Yes" stops the
        download and the window closes by itself."""
        size = 6000000
        self.fresh_service(plan(
            {"name": "Fetch", "msg": "Fetching the package",
             "modules": [downloader("PACKAGE", "slow.bin", "Downloading the package")]},
            last_stage()))
        self.service.add_media("slow.bin", size)
        self.service.add_fault(path="/media/slow.bin", method="GET", kind="slow", rate=25000)
        run = self.start("cancel_download")
        window = self.h.wait_main_window(
            lambda w: w["by_id"][1000]["visible"] and w["by_id"][1000]["position"] > 0,
            WINDOW_TIMEOUT, "the download to start")

        self.h.click(window["by_id"][2])
        prompt = self.h.wait_prompt(EVENT_TIMEOUT, "the stop question")
        self.check_prompt(prompt, "Do you want to stop the installation ?", "", "Yes", "No")
        self.h.screenshot(prompt, "07-prompt-stop-question")
        self.h.key(prompt, "Escape")  # Esc declines: "No"
        wait_until(lambda: self.h.prompt_window() is None, EVENT_TIMEOUT, "the stop question to close")
        resumed = self.h.main_window()["by_id"][1000]["position"]
        self.h.wait_main_window(lambda w: w["by_id"][1000]["position"] > resumed, EVENT_TIMEOUT,
                                "the download to go on after \"No\"")
        check(not run.exited(), "the installer ended after \"No\"")

        self.h.click(self.h.main_window()["by_id"][2])
        prompt = self.h.wait_prompt(EVENT_TIMEOUT, "the stop question, again")
        self.h.click(prompt["by_id"][1])  # "Yes"
        run.wait_exit(EVENT_TIMEOUT, "the window to close by itself after \"Yes\"")
        dump = wait_until(run.dump, 5, "the state dump")
        check("DOWNLOAD_CANCELED" in run.dump_text(), "no DOWNLOAD_CANCELED in the dump")
        check("LastStage" not in dump, "LastStage ran after the stop")
        saved = os.path.join(self.h.prefix, "drive_c", "windows", "temp", "slow.bin")
        check(not (os.path.exists(saved) and os.path.getsize(saved) == size),
              "the whole file arrived although the download was stopped")
        check(not any("/nextsteps" in u for u in self.h.browser_urls()),
              "the next-steps page opened after a stop")

    def failing_module(self):
        """A module that fails: its "Ok" question, the help article in the browser, the abort
        text and "Done"."""
        self.fresh_service(plan(
            {"name": "Fetch", "msg": "Fetching the package",
             "modules": [downloader("MISSING", "missing.bin", "Downloading the package"),
                         {"class": "Injector", "name": "NOT_REACHED",
                          "args": {"path": ".NotReached", "value": True}}]},
            last_stage()))
        run = self.start("failing_module")
        prompt = self.h.wait_prompt(WINDOW_TIMEOUT, "the download failure's question")
        self.check_prompt(prompt, "Could not download files from Internet.",
                          "Failed to download necessary files for Orvex-m installation.", "Ok", "")
        self.h.screenshot(prompt, "08-prompt-severity2-ok-only")
        self.h.key(prompt, "Return")
        done = self.wait_done("Installation aborted", "\"Done\" after the failure")
        row = self.h.step_row(self.h.screenshot(done, "09-main-failed"))
        check(row == ["done", "pending"], "step row after the failure: %s" % row)
        urls = wait_until(self.h.browser_urls, EVENT_TIMEOUT, "the help article in the browser")
        help_prefix = self.base_url() + "/index/knowledgebase?article=help&manufacturer="
        check(len(urls) == 1 and urls[0].startswith(help_prefix) and "&model=" in urls[0],
              "browser pages %r, expected the help article" % urls)
        dump = self.wait_dump(run)
        check(dump["Fetch"]["MISSING"]["status"] == "failed", "the module's record: %r" % dump["Fetch"])
        check("NotReached" not in dump and "LastStage" not in dump, "the run went on after the failure")
        self.close_with_done(run, done)
        check(len(self.h.browser_urls()) == 1, "\"Done\" after a failure opened a page: %r" % self.h.browser_urls())

    def prompt_severities(self):
        """The prompt window with each severity and a hidden button, answered with Enter, Esc
        and clicks. No module of the tree asks with severity 1 or without an accepting button
        yet, so orvex-prompt-window.exe shows the installer's prompt window with given texts."""
        exe = os.path.join(self.h.build, "tests", "orvex-prompt-window.exe")
        cases = [
            # name, severity, ok, cancel, how it is answered, expected answer, screenshot
            ("severity1-enter", 1, "Continue", "Cancel", "Return", 1, "10-prompt-severity1"),
            ("severity1-escape", 1, "Continue", "Cancel", "Escape", 0, None),
            ("severity0-click-ok", 0, "Yes", "No", "click-ok", 1, "11-prompt-severity0"),
            ("severity2-click-cancel", 2, "Ok", "Skip", "click-cancel", 0, "12-prompt-severity2"),
            ("other-severity", 7, "Ok", "Cancel", "click-ok", 1, "13-prompt-severity7-grey"),
            ("no-declining-button-escape", 2, "Ok", "", "Escape", 0, None),
            ("no-accepting-button", 1, "", "Close", "click-cancel", 0, "14-prompt-hidden-accept"),
        ]
        failures = []
        for name, severity, ok, cancel, how, expected, shot in cases:
            message = "Question %s" % name
            detail = "Detail with severity %d" % severity
            run = Installer(self.h, exe, self.run_dir("prompt-" + name), None,
                            [str(severity), ok, cancel, message, detail])
            try:
                prompt = self.h.wait_prompt(WINDOW_TIMEOUT, "the %s prompt" % name)
                self.check_prompt(prompt, message, detail, ok, cancel)
                if shot:
                    self.h.screenshot(prompt, shot)
                if how.startswith("click-"):
                    self.h.click(prompt["by_id"][1 if how == "click-ok" else 2])
                else:
                    self.h.key(prompt, how)
                answer = run.wait_exit(EVENT_TIMEOUT, "the %s prompt to close" % name)
                check(answer == expected, "%s: answer %s, expected %s" % (name, answer, expected))
            except Failure as failure:
                failures.append(str(failure))
                self.h.stop(run.process)
        check(not failures, "; ".join(failures))


SCENARIOS = ["download_then_done", "second_instance", "configuration_unreachable",
             "cancel_download", "failing_module", "prompt_severities"]


# The product's installation (scripts/e2e/product_scenarios.py): run by name; not in the
# default list until the modules it needs are in the tree.
import product_scenarios  # noqa: E402

for _name in product_scenarios.SCENARIOS:
    setattr(Scenarios, _name,
            lambda self, _n=_name: getattr(product_scenarios.ProductScenarios(self), _n)())


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "win32"))
    parser.add_argument("--out", default=os.path.join(ROOT, "build", "e2e"))
    parser.add_argument("scenarios", nargs="*", help="some of: " + " ".join(SCENARIOS))
    options = parser.parse_args()
    unknown = [name for name in options.scenarios
               if name not in SCENARIOS + product_scenarios.SCENARIOS]
    if unknown:
        parser.error("unknown scenarios %s; choose from %s" % (unknown, SCENARIOS))
    build = os.path.abspath(options.build)
    out = os.path.abspath(options.out)
    for name in ("OrvexWebInstaller.exe", "tests/orvex-window-probe.exe",
                 "tests/orvex-prompt-window.exe"):
        if not os.path.exists(os.path.join(build, name)):
            print("FAIL set-up: %s/%s is missing (build the win32 tree first)" % (build, name))
            return 1
    for old in os.listdir(out) if os.path.isdir(out) else []:
        if old.endswith(".png"):
            os.remove(os.path.join(out, old))
    shutil.rmtree(os.path.join(out, "runs"), ignore_errors=True)
    shutil.rmtree(os.path.join(out, "logs"), ignore_errors=True)
    os.makedirs(os.path.join(out, "logs"))

    harness = Harness(ROOT, build, out)
    failed = []
    started = time.monotonic()
    try:
        try:
            harness.start_x()
            harness.make_prefix()
            scenarios = Scenarios(harness)
            scenarios.service = DevService(harness)
        except Failure as failure:
            print("FAIL set-up: %s" % failure)
            return 1
        for name in options.scenarios or SCENARIOS:
            began = time.monotonic()
            try:
                getattr(scenarios, name)()
                print("PASS %s (%.0fs)" % (name, time.monotonic() - began), flush=True)
            except Failure as failure:
                failed.append(name)
                print("FAIL %s: %s" % (name, failure), flush=True)
            except Exception:  # a fault of the harness itself counts as a failure too
                failed.append(name)
                print("FAIL %s: harness error\n%s" % (name, traceback.format_exc()), flush=True)
            # Nothing of one scenario may leak into the next.
            for process in harness.processes:
                if process.args and "wine-run.sh" in str(process.args[0]):
                    harness.stop(process)
    finally:
        harness.close()
    for png in harness.screenshots:
        print("screenshot %s" % os.path.relpath(png, ROOT))
    total = len(options.scenarios or SCENARIOS)
    print("%d passed, %d failed (%.0fs)" % (total - len(failed), len(failed),
                                            time.monotonic() - started))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
