#!/usr/bin/env python3
"""End-to-end tests of OrvexWebInstaller.exe: the real program under Wine on an Xvfb display,
against tools/devservice, driven with xdotool. See scripts/e2e/run.sh for how to run it.

Each scenario prints one PASS or FAIL line; the exit status is 1 when any failed. Screenshots
go to <out>/*.png, the programs' output and state dumps to <out>/runs/<scenario>/.
"""

import argparse
import base64
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import time
import traceback
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import DevService, Failure, Harness, Installer, RestartRecorder, WINE, check, wait_until  # noqa: E402
import minidump  # noqa: E402
import installation  # noqa: E402

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

    def start(self, name, service_url=None, extra_env=None, exe=None):
        url = service_url or self.service.url
        env = {"BASE_DOMAIN": url + "/", "DOWNLOAD_DOMAIN": url + "/", "orvex_installer_dump": "1",
               "ANALYTICS_DOMAIN": url + "/"}
        env.update(extra_env or {})
        return Installer(self.h, exe or os.path.join(self.h.build, "OrvexWebInstaller.exe"),
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
        self.check_report(dump, "INSTALLED")

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

    def environment_ignored(self):
        """The user's environment names the development run mode, a configuration file and a
        plain-http service: the program takes none of it, only what the prefix's machine key
        says (a service that refuses at once). It asks Retry/Quit; the service hears nothing,
        the file is not read and no dump is written."""
        self.fresh_service(plan(last_stage()))
        run_dir = self.run_dir("environment_ignored")
        config_base = os.path.join(run_dir, "user-config")
        with open(config_base + ".json", "w", encoding="utf-8") as f:
            json.dump(plan(last_stage()), f)
        url = self.service.url
        user = {"QUARN_OI_RUNMODE": "development",
                "QUARN_OI_DEV_CONFIG": "Z:" + config_base.replace("/", "\\"),
                "BASE_DOMAIN": url + "/", "DOWNLOAD_DOMAIN": url + "/",
                "ANALYTICS_DOMAIN": url + "/", "ORVEX_ENV": "development",
                "orvex_installer_dump": "1"}
        run = Installer(self.h, os.path.join(self.h.build, "OrvexWebInstaller.exe"), run_dir,
                        {"BASE_DOMAIN": "https://127.0.0.1:1/"}, user_env=user)
        prompt = self.h.wait_prompt(WINDOW_TIMEOUT, "the Retry/Quit question")
        self.check_prompt(prompt, "Could not get configuration data from %s." % SITE_HOST,
                          "An internet connection is required to continue installation.",
                          "Retry", "Quit")
        self.h.click(prompt["by_id"][2])  # Quit
        aborted = self.wait_done("Installation aborted", "\"Done\" after Quit")
        self.close_with_done(run, aborted)
        check(self.service.requests() == [], "the user's service was asked: %r" % self.service.requests())
        check(not os.path.exists(os.path.join(run_dir, "orvex_installer_dump.json")),
              "the user's orvex_installer_dump wrote a dump")

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
        self.check_report(dump, "FAILED", "Fetch")

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
        self.check_report(dump, "FAILED", "Fetch")
        self.close_with_done(run, done)
        check(len(self.h.browser_urls()) == 1, "\"Done\" after a failure opened a page: %r" % self.h.browser_urls())

    def prompt_severities(self):
        """The prompt window with each severity and a hidden button, answered with Enter, Esc
        and clicks. No module of the tree asks with severity 1 or without an accepting button
        yet, so orvex-prompt-window.exe shows the installer's prompt window with given texts.
        It exits 1 for the accepting button, 2 for the declining button and 0 for Esc: the
        restart question tells the declining button from a dismissal."""
        exe = os.path.join(self.h.build, "tests", "orvex-prompt-window.exe")
        cases = [
            # name, severity, ok, cancel, how it is answered, expected answer, screenshot
            ("severity1-enter", 1, "Continue", "Cancel", "Return", 1, "10-prompt-severity1"),
            ("severity1-escape", 1, "Continue", "Cancel", "Escape", 0, None),
            ("severity0-click-ok", 0, "Yes", "No", "click-ok", 1, "11-prompt-severity0"),
            ("severity2-click-cancel", 2, "Ok", "Skip", "click-cancel", 2, "12-prompt-severity2"),
            ("other-severity", 7, "Ok", "Cancel", "click-ok", 1, "13-prompt-severity7-grey"),
            ("no-declining-button-escape", 2, "Ok", "", "Escape", 0, None),
            ("no-accepting-button", 1, "", "Close", "click-cancel", 2, "14-prompt-hidden-accept"),
            # Closing the window (Alt+F4) chooses no button, like Esc.
            ("closed-with-alt-f4", 0, "Restart Later", "Restart Now", "alt+F4", 0, None),
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

    # ---- the prompt modules

    def answer_prompt(self, prompt, how):
        if how == "click-ok":
            self.h.click(prompt["by_id"][1])
        elif how == "click-cancel":
            self.h.click(prompt["by_id"][2])
        else:
            self.h.key(prompt, how)
        wait_until(lambda: self.h.prompt_window() is None, EVENT_TIMEOUT,
                   "the question to close after %s" % how)

    @staticmethod
    def check_detail_colour(png, expected):
        """The detail line's text colour in a prompt's screenshot: the detail static sits at
        dialog units 7,39 to 245,53; its glyphs are the only pixels of that colour there."""
        size = subprocess.run(["/usr/bin/convert", png, "-format", "%w %h", "info:"],
                              capture_output=True, check=True, timeout=60).stdout.decode().split()
        width, height = int(size[0]), int(size[1])
        band = "%dx%d+0+%d" % (width, height * 22 // 100, height // 2)
        text = subprocess.run(["/usr/bin/convert", png, "-crop", band, "-format", "%c",
                               "histogram:info:"], capture_output=True, check=True,
                              timeout=60).stdout.decode()
        check(expected in text.replace(" ", ""), "no %s detail text in %s" % (expected, png))

    def upgrade_question(self):
        """An older Orvex is installed: CheckPromptVersion asks to upgrade. "Upgrade" goes on
        to the end; "Abort" stops the run with ORVEX_UPGRADE_ABORTED."""
        installed = {"name": "Orvex", "major_version": 2, "minor_version": 0,
                     "sub_minor_version": 5, "build": 7000}
        config = plan(
            {"name": "Check", "msg": "Checking the installed version",
             "modules": [{"class": "Injector", "name": "OFFERED",
                          "args": {"path": ".InstallConfig.installer.url",
                                   "value": "%BASE_URL%/media/OrvexInstaller-2.0.6.8063.exe"}},
                         {"class": "Injector", "name": "INSTALLED",
                          "args": {"path": ".Config.product", "value": installed}},
                         # An upgrade code no product of the prefix has: Windows Installer
                         # answers that there is no lighter edition.
                         {"class": "Injector", "name": "CODES",
                          "args": {"path": ".InstallConfig.upgradecode",
                                   "value": {"orvexjblite": "{5A1F33C2-8D2B-4E44-9C0A-7A1B9A5E0001}"}}},
                         {"class": "CheckPromptVersion", "name": "VERSION"}]},
            last_stage())
        message = "You already have an older version of Orvex installed on your System."
        for answer, how in (("Upgrade", "click-ok"), ("Abort", "click-cancel")):
            self.fresh_service(config)
            run = self.start("upgrade_" + answer.lower())
            prompt = self.h.wait_prompt(WINDOW_TIMEOUT, "the upgrade question")
            self.check_prompt(prompt, message, "Do you want to upgrade it ?", "Upgrade", "Abort")
            if answer == "Upgrade":
                self.check_detail_colour(self.h.screenshot(prompt, "30-prompt-upgrade"), "(0,165,0)")
            self.answer_prompt(prompt, how)
            if answer == "Upgrade":
                done = self.wait_done(FINISHING, "\"Done\" after Upgrade")
            else:
                done = self.wait_done("Installation aborted", "\"Done\" after Abort")
                self.h.screenshot(done, "31-main-upgrade-aborted")
            dump = self.wait_dump(run)
            check(dump["Config"]["installer"]["orvexversion"] == "2.0.6.8063",
                  "the offered version in the dump: %r" % dump["Config"].get("installer"))
            record = dump["Check"].get("VERSION")
            if answer == "Upgrade":
                check(record is None, "Upgrade recorded %r" % record)
                check(dump["LastStage"]["status"]["progress"] == "completed", "LastStage after Upgrade")
            else:
                check(record == {"error": "ORVEX_UPGRADE_ABORTED"}, "Abort recorded %r" % record)
                check("LastStage" not in dump, "the run went on after Abort")
            self.close_with_done(run, done)

    def uninstallable_help(self):
        """The web service refuses the machine: its reason in a red question, "Help" opens its
        article, and the run stops with its error code."""
        refusal = {"install": False, "reason": "Orvex cannot be installed on this machine.",
                   "error": "MACHINE_NOT_SUPPORTED", "help": "unsupportedmachine"}
        self.fresh_service(plan(
            {"name": "Check", "msg": "Checking the machine",
             "modules": [{"class": "Injector", "name": "SERVICE",
                          "args": {"path": ".InstallConfig.installer", "value": refusal}},
                         {"class": "CheckPromptUninstallable", "name": "REFUSED"}]},
            last_stage()))
        run = self.start("uninstallable_help")
        prompt = self.h.wait_prompt(WINDOW_TIMEOUT, "the refusal")
        self.check_prompt(prompt, refusal["reason"], "Press help to get more help", "Help", "Quit")
        self.check_detail_colour(self.h.screenshot(prompt, "32-prompt-uninstallable"), "(255,0,0)")
        self.answer_prompt(prompt, "click-ok")
        prefix = self.base_url() + "/index/knowledgebase?article=unsupportedmachine&manufacturer="
        wait_until(lambda: any(u.startswith(prefix) for u in self.h.browser_urls()),
                   EVENT_TIMEOUT, "the article in the browser")
        done = self.wait_done("Installation aborted", "\"Done\" after the refusal")
        # The failed stage then opens the general help article (the window's handler); the two
        # launches may be recorded in either order.
        wait_until(lambda: len(self.h.browser_urls()) == 2, EVENT_TIMEOUT, "the help article")
        check(sum(u.startswith(prefix) for u in self.h.browser_urls()) == 1,
              "browser pages %r" % self.h.browser_urls())
        dump = self.wait_dump(run)
        check(dump["Check"]["REFUSED"] == {"error": "MACHINE_NOT_SUPPORTED"},
              "the refusal's record: %r" % dump["Check"].get("REFUSED"))
        check("LastStage" not in dump, "the run went on after the refusal")
        self.close_with_done(run, done)

    def prompt_languages(self):
        """Texts of the configuration in German, Russian and Chinese reach the windows whole:
        the stage's message on the status line and the service's reason in the question; then
        a question whose four texts are all such (orvex-prompt-window.exe). The texts are UTF-8
        in the configuration; the screenshots show the glyphs."""
        reason = "M\u00f6chten Sie Orvex installieren? \u0423\u0441\u0442\u0430\u043d\u043e\u0432\u0438\u0442\u044c Orvex? \u5b89\u88c5 Orvex?"
        status = "Pr\u00fcfung \u00b7 \u041f\u0440\u043e\u0432\u0435\u0440\u043a\u0430 \u00b7 \u6b63\u5728\u68c0\u67e5"
        refusal = {"install": False, "reason": reason, "error": "MACHINE_NOT_SUPPORTED",
                   "help": "unsupportedmachine"}
        self.link_cjk_font()
        self.fresh_service(plan(
            {"name": "Check", "msg": status,
             "modules": [{"class": "Injector", "name": "SERVICE",
                          "args": {"path": ".InstallConfig.installer", "value": refusal}},
                         {"class": "CheckPromptUninstallable", "name": "REFUSED"}]},
            last_stage()))
        run = self.start("prompt_languages")
        prompt = self.h.wait_prompt(WINDOW_TIMEOUT, "the question in three languages")
        self.check_prompt(prompt, reason, "Press help to get more help", "Help", "Quit")
        self.h.screenshot(prompt, "60-prompt-languages")
        main = self.h.main_window()
        check(main is not None and main["by_id"][1001]["text"] == status,
              "the status line: %r" % (main and main["by_id"][1001]["text"]))
        self.h.screenshot(main, "61-status-languages")
        self.answer_prompt(prompt, "click-cancel")
        done = self.wait_done("Installation aborted", "\"Done\" after the question")
        dump = self.wait_dump(run)  # read as strict UTF-8
        check(dump["InstallConfig"]["installer"]["reason"] == reason,
              "the reason in the session document: %r" % dump["InstallConfig"]["installer"])
        self.close_with_done(run, done)

        # Every text of a question, its captions too. The command line is read in UTF-16,
        # which Wine makes from the UTF-8 arguments of a UTF-8 locale.
        texts = ["\u0423\u0441\u0442\u0430\u043d\u043e\u0432\u0438\u0442\u044c", "\u53d6\u6d88",
                 "M\u00f6chten Sie Orvex installieren?",
                 "\u5b89\u88c5 Orvex \u00b7 \u0423\u0441\u0442\u0430\u043d\u043e\u0432\u0438\u0442\u044c Orvex \u00b7 Gr\u00fc\u00dfe"]
        exe = os.path.join(self.h.build, "tests", "orvex-prompt-window.exe")
        window = Installer(self.h, exe, self.run_dir("prompt-languages-captions"),
                           {"LANG": "C.UTF-8", "LC_ALL": "C.UTF-8"}, ["0"] + texts)
        try:
            prompt = self.h.wait_prompt(WINDOW_TIMEOUT, "the question with four translated texts")
            self.check_prompt(prompt, texts[2], texts[3], texts[0], texts[1])
            self.h.screenshot(prompt, "62-prompt-languages-captions")
            self.h.click(prompt["by_id"][1])
            answer = window.wait_exit(EVENT_TIMEOUT, "the question to close")
            check(answer == 1, "the answer %s, expected the accepting button (1)" % answer)
        finally:
            self.h.stop(window.process)

    def link_cjk_font(self):
        """Windows links its dialog fonts to CJK fonts for the characters they lack (the
        registry's FontLink\\SystemLink); Wine's prefix has no such link, so the prefix gets
        one to WenQuanYi Micro Hei (Debian's fonts-wqy-microhei, which Wine finds through
        fontconfig)."""
        key = "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontLink\\SystemLink"
        # The dialog's font, Wine's stand-ins for it, and DejaVu Sans (fonts-dejavu-core), which
        # a font created without a face name (the prompt's detail line) comes out as.
        for face in ("Microsoft Sans Serif", "Tahoma", "MS Shell Dlg", "MS Shell Dlg 2",
                     "DejaVu Sans"):
            code, text = installation.run_wine(
                self.h, [self.h.wine_tool("reg.exe"), "add", key, "/v", face, "/t", "REG_MULTI_SZ",
                         "/d", "wqy-microhei.ttc,WenQuanYi Micro Hei", "/f"], "linking a CJK font")
            check(code == 0, "reg add %s: %s" % (face, text))

    def restart_prompt(self):
        """The installation needs a restart: Esc and "Restart Later" go on to the end without
        one; "Restart Now" injects RESTART_SYSTEM, which asks Windows to restart and ends the
        installer. The prefix records the request instead of restarting."""
        config = plan(
            {"name": "Finish", "msg": "Finishing",
             "modules": [{"class": "Injector", "name": "NEEDED",
                          "args": {"path": ".InstallConfig.installer.restart", "value": True}},
                         {"class": "CheckPromptRestart", "name": "RESTART_PROMPT"},
                         {"class": "Injector", "name": "AFTER",
                          "args": {"path": ".Install.after", "value": True}}]},
            last_stage())
        message = "You must restart  your system to complete Orvex installation."
        recorder = RestartRecorder(self.h)
        try:
            for how, shot in (("Escape", None), ("click-ok", None),
                              ("click-cancel", "33-prompt-restart")):
                self.fresh_service(config)
                run = self.start("restart_" + how.replace("click-", ""), extra_env=recorder.env())
                prompt = self.h.wait_prompt(WINDOW_TIMEOUT, "the restart question")
                self.check_prompt(prompt, message, "Do you want to restart your system now?.",
                                  "Restart Later", "Restart Now")
                if shot:
                    self.check_detail_colour(self.h.screenshot(prompt, shot), "(0,165,0)")
                self.answer_prompt(prompt, how)
                if how != "click-cancel":
                    done = self.wait_done(FINISHING, "\"Done\" after %s" % how)
                    dump = self.wait_dump(run)
                    check(dump["Install"]["after"] is True, "the stage did not go on after %s" % how)
                    check(recorder.requests() == [], "%s asked for a restart: %r" % (how, recorder.requests()))
                    self.close_with_done(run, done)
                    continue
                code = run.wait_exit(EVENT_TIMEOUT, "the installer to end after \"Restart Now\"")
                check(code == 0, "the installer ended with %s after the restart request" % code)
                requests = wait_until(recorder.requests, EVENT_TIMEOUT, "the restart request")
                check(requests == ["C:\\windows\\system32\\wineboot.exe --end-session"],
                      "restart requests %r" % requests)
                check(run.dump() is None, "the session went on after the restart request")
        finally:
            recorder.close()

    # ---- the prompts that inject modules (need the unpacking and installing modules)

    def session_dir(self, name):
        """A fresh session directory in the prefix, as CreateInTempDir would leave it: its
        Windows path and its host path."""
        host = os.path.join(self.h.prefix, "drive_c", name)
        shutil.rmtree(host, ignore_errors=True)
        os.makedirs(host)
        return "C:\\" + name, host

    def standin(self, name):
        path = os.path.join(self.h.build, "tests", name)
        check(os.path.exists(path), "the stand-in %s is missing (build the win32 tests)" % path)
        return path

    def upload_media(self, name, path):
        with open(path, "rb") as f:
            self.service.call("/_dev/media/" + name, f.read())

    def dotnet_prompts(self):
        """.NET is missing: both questions accepted, the stage downloads DotNet.cab from the
        service, unpacks it and starts the .NET setup stand-in, then ends with the text that
        asks to run the installer again."""
        windows_dir, host_dir = self.session_dir("orvex dotnet session")
        cab = os.path.join(self.h.work, "DotNet.cab")
        setup = os.path.join(self.h.work, "dotnet_setup.exe")
        shutil.copy(self.standin("dotnet_setup.exe"), setup)
        subprocess.run(["gcab", "-c", "-n", cab, setup], check=True, timeout=60)
        config = plan(
            {"name": "DotNet", "msg": "Checking .NET",
             "modules": [{"class": "Injector", "name": "SESSION",
                          "args": {"path": ".SessionDir", "value": windows_dir}},
                         {"class": "Injector", "name": "MISSING",
                          "args": {"path": ".InstallConfig.system.dotnet.prompt", "value": True}},
                         {"class": "CheckPromptDOTNET", "name": "DOTNET_PROMPT"},
                         {"class": "Injector", "name": "NOT_REACHED",
                          "args": {"path": ".NotReached", "value": True}}]},
            last_stage())
        self.fresh_service(config)
        self.upload_media("DotNet.cab", cab)
        run = self.start("dotnet_prompts")
        prompt = self.h.wait_prompt(WINDOW_TIMEOUT, "the .NET question")
        self.check_prompt(prompt, "You need .NET version 4.0 or above to run Orvex. Do you want to install it?",
                          "This is a mandatory step. Orvex will not install without .NET 4.0 or above.",
                          "Yes", "Abort")
        self.check_detail_colour(self.h.screenshot(prompt, "34-prompt-dotnet"), "(255,0,0)")
        self.answer_prompt(prompt, "click-ok")
        prompt = self.h.wait_prompt(EVENT_TIMEOUT, "the .NET restart question")
        self.check_prompt(prompt, "This would launch the .NET installer which may require a restart.",
                          "Please run this installer again once the system is restarted.",
                          "Continue", "Abort")
        self.check_detail_colour(self.h.screenshot(prompt, "35-prompt-dotnet-restart"), "(0,165,0)")
        self.answer_prompt(prompt, "click-ok")
        done = self.wait_done("Run this installer after .NET installation is complete",
                              "\"Done\" after the .NET setup started")
        self.h.screenshot(done, "36-main-dotnet-started")
        dump = self.wait_dump(run)
        stage = dump["DotNet"]
        check(stage["status"] == {"progress": "process_module_failed", "module": "DOTNET_INSTALLER"},
              "the .NET stage: %r" % stage["status"])
        check("NotReached" not in dump and "LastStage" not in dump, "the run went on after the setup")
        check(os.path.exists(os.path.join(host_dir, "dotnet.cab")), "DotNet.cab was not downloaded")
        record = wait_until(lambda: os.path.exists(os.path.join(host_dir, "dotnet_setup-record.txt")),
                            EVENT_TIMEOUT, "the .NET setup stand-in to start")
        check(record, "no .NET setup record")
        gets = self.service.requests("/media/DotNet.cab", "GET")
        check(gets, "DotNet.cab was not asked for")
        self.close_with_done(run, done)
        shutil.rmtree(host_dir, ignore_errors=True)

    def graphics_config(self, windows_dir, flags):
        return plan(
            {"name": "Graphics", "msg": "Checking the graphics driver",
             "modules": [{"class": "Injector", "name": "SESSION",
                          "args": {"path": ".SessionDir", "value": windows_dir}},
                         {"class": "Injector", "name": "FACTS",
                          "args": {"path": ".Config", "value": {
                              "platform": {"os_arch": "64-bit"},
                              "gpu": {"gpu1": {"vendorid": "10DE", "deviceid": "1D10"}}}}},
                         {"class": "Injector", "name": "FLAGS",
                          "args": {"path": ".InstallConfig.display.driver", "value": flags}},
                         {"class": "CheckPromptGPUDriver", "name": "GPU_PROMPT"},
                         {"class": "CheckPromptRestart", "name": "RESTART_PROMPT"},
                         {"class": "Injector", "name": "AFTER",
                          "args": {"path": ".Install.after", "value": True}}]},
            last_stage())

    def graphics_update(self):
        """The optional driver update accepted: the service's "/index/driverupdate" names a
        zip, which is downloaded, unpacked and handed to the driver installer stand-in; it asks
        for a restart, so the restart question follows, and "Restart Now" is recorded."""
        windows_dir, host_dir = self.session_dir("orvex driver session")
        shutil.copy(self.standin("dpinst.exe"), os.path.join(host_dir, "dpinst.exe"))
        self.fresh_service(self.graphics_config(windows_dir, {"prompt": True}))
        self.upload_media("gpudriver.zip", self.standin(os.path.join("driver-zips", "driver-restart.zip")))
        recorder = RestartRecorder(self.h)
        try:
            run = self.start("graphics_update", extra_env=recorder.env())
            prompt = self.h.wait_prompt(WINDOW_TIMEOUT, "the driver question")
            self.check_prompt(prompt, "Your Graphics driver seems to be outdated. Do you want to upgrade it ?",
                              "You can skip this step, but some applications may not run properly in Orvex.",
                              "Yes", "Skip")
            self.check_detail_colour(self.h.screenshot(prompt, "37-prompt-graphics"), "(165,128,0)")
            self.answer_prompt(prompt, "click-ok")
            prompt = self.h.wait_prompt(EVENT_TIMEOUT * 2, "the restart question after the driver")
            self.check_prompt(prompt, "You must restart  your system to complete Orvex installation.",
                              "Do you want to restart your system now?.", "Restart Later", "Restart Now")
            with open(os.path.join(host_dir, "dpinst-record.txt"), encoding="utf-8") as f:
                record = f.read()
            check("path=C:\\orvex driver session\\Graphics\n" in record and "exit=0x40000001" in record,
                  "what the driver installer saw: %r" % record)
            posts = self.service.requests("/index/driverupdate", "POST")
            check(len(posts) == 1 and posts[0]["form"] == {"platform": "64-bit", "vendorid": "10DE",
                                                          "deviceid": "1D10"},
                  "the driver address query: %r" % posts)
            self.answer_prompt(prompt, "click-cancel")
            code = run.wait_exit(EVENT_TIMEOUT, "the installer to end after \"Restart Now\"")
            check(code == 0, "the installer ended with %s after the restart request" % code)
            requests = wait_until(recorder.requests, EVENT_TIMEOUT, "the restart request")
            check(requests == ["C:\\windows\\system32\\wineboot.exe --end-session"],
                  "restart requests %r" % requests)
        finally:
            recorder.close()
        shutil.rmtree(host_dir, ignore_errors=True)

    def graphics_download_fails(self):
        """The driver download fails: after the downloader's own message, the question whether
        to go on; "Yes" removes GPU_INSTALLER and the installation completes without it."""
        windows_dir, host_dir = self.session_dir("orvex driver session")
        shutil.copy(self.standin("dpinst.exe"), os.path.join(host_dir, "dpinst.exe"))
        self.fresh_service(self.graphics_config(windows_dir, {"prompt": True, "installmust": True}))
        self.service.add_fault(path="/media/gpudriver.zip", kind="status", status=404)
        run = self.start("graphics_download_fails")
        prompt = self.h.wait_prompt(WINDOW_TIMEOUT, "the mandatory driver question")
        self.check_prompt(prompt, "You need to upgrade your Graphics driver inorder to successfully "
                          "install Orvex. Do you want to upgrade it ?",
                          "This is a mandatory step. Orvex will not install without graphics driver upgrade.",
                          "Yes", "Abort")
        self.answer_prompt(prompt, "Return")
        prompt = self.h.wait_prompt(EVENT_TIMEOUT, "the download failure's message")
        check(prompt["by_id"][1002]["text"] == "Could not download files from Internet.",
              "the download failure: %r" % prompt["by_id"][1002]["text"])
        self.answer_prompt(prompt, "Return")
        prompt = self.h.wait_prompt(EVENT_TIMEOUT, "the question whether to go on")
        self.check_prompt(prompt, "Graphics Driver install failed. Do you want to continue installing Orvex?",
                          "Don't worry we will prompt again when Orvex starts.", "Yes", "No")
        self.h.screenshot(prompt, "38-prompt-graphics-failed")
        self.answer_prompt(prompt, "click-ok")
        done = self.wait_done(FINISHING, "\"Done\" without the driver")
        dump = self.wait_dump(run)
        check(dump["Install"]["after"] is True, "the stage did not go on without the driver")
        check(dump["LastStage"]["status"]["progress"] == "completed", "LastStage without the driver")
        check(dump["Graphics"]["status"]["progress"] == "completed", "the graphics stage: %r" % dump["Graphics"]["status"])
        check("GPU_INSTALLER" not in dump["Graphics"], "GPU_INSTALLER ran: %r" % dump["Graphics"])
        check(not os.path.exists(os.path.join(host_dir, "dpinst-record.txt")), "the driver installer ran")
        self.close_with_done(run, done)
        shutil.rmtree(host_dir, ignore_errors=True)

    # ---- reports

    def check_report(self, dump, status, stage=None):
        """The installation report and the analytics hit of the run: every value encoded (one
        "=" per pair, spaces as %20), the failed module and its error as the dump has them."""
        def pairs(path):
            posts = self.service.requests(path, "POST")
            check(len(posts) == 1, "%d POSTs to %s, expected 1" % (len(posts), path))
            body = posts[0]["body"]
            items = [item for item in body.split("&") if item]
            check(all(item.count("=") == 1 and " " not in item for item in items),
                  "unencoded pair in %r" % body)
            return {k: urllib.parse.unquote(v) for k, v in (item.split("=") for item in items)}
        report = pairs("/installer/install")
        check(report.get("status") == status, "report status %r, expected %r" % (report, status))
        if stage:
            module = dump[stage]["status"]["module"]
            check(report.get("failed_module") == module and
                  report.get("failed_reason") == dump[stage][module].get("error", ""),
                  "report %r for the failed stage %r" % (report, dump[stage]))
        hit = pairs("/collect")
        check(hit.get("cd") == status and hit.get("cd14") == "2.0.6.8063" and
              hit.get("cid") == hit.get("cd13"), "analytics hit %r" % hit)

    # ---- crashes

    CRASH_BASE = "_2.0.6.8063"
    LOG_FAILURE = "curl_easy_perform() failed: Failed to open/read local data from file/application"

    def crash_dialog(self, what):
        """The crash dialog (title 1005), once it shows."""
        def probe():
            for dialog in self.h.dialogs():
                if 1005 in dialog["by_id"]:
                    return dialog
            return None
        dialog = wait_until(probe, WINDOW_TIMEOUT * 2, what)
        controls = dialog["by_id"]
        for control_id, text in ((1005, "Orvex Installer Crashed!"),
                                 (1006, "Please send the crash report to help us improve this software"),
                                 (1004, "Send Report"), (2, "Don't Send")):
            check(controls[control_id]["text"] == text and controls[control_id]["visible"],
                  "crash dialog control %d: %r" % (control_id, controls[control_id]))
        return dialog

    def check_crash_dialog_look(self, png):
        """White background, the title in red."""
        text = subprocess.run(["/usr/bin/convert", png, "-format", "%c", "histogram:info:"],
                              capture_output=True, check=True, timeout=60).stdout.decode()
        colours = {}
        for line in text.splitlines():
            match = re.match(r"\s*(\d+):\s*\(\s*(\d+),\s*(\d+),\s*(\d+)", line)
            if match:
                colours[tuple(int(v) for v in match.group(2, 3, 4))] = int(match.group(1))
        total = sum(colours.values())
        white = colours.get((255, 255, 255), 0)
        red = sum(n for (r, g, b), n in colours.items() if r > 200 and g < 60 and b < 60)
        check(white > total // 2, "the crash dialog is not white (%d of %d pixels)" % (white, total))
        check(red > 200, "the crash dialog's title is not red (%d red pixels)" % red)

    def crash_files(self, run_dir):
        return {ext: os.path.join(run_dir, self.CRASH_BASE + ext) for ext in (".dmp", ".log", ".txt")}

    def check_dump(self, path, code):
        check(os.path.exists(path), "no minidump")
        dump = minidump.read(path)
        thread, exception = dump.exception()
        check(thread in dump.thread_ids(), "the crashing thread %d is not in the thread list %s" % (
            thread, dump.thread_ids()))
        check(exception == code, "exception code 0x%08X in the dump, expected 0x%08X" % (
            exception, code))

    def uploads(self):
        return [r for r in self.service.requests()
                if "/upload/crashreport/installer/" in r["path"]]

    def check_uploads(self, files, kinds):
        uploads = self.uploads()
        got = [r["path"].rsplit("/", 1)[1] for r in uploads]
        check(got == [k for k, _ in kinds], "uploads %s, expected %s" % (got, [k for k, _ in kinds]))
        for request, (kind, ext) in zip(uploads, kinds):
            check(request["method"] == "POST" and not any(
                h.lower() == "expect" for h in request["headers"]), "%s upload: %r" % (kind, request["headers"]))
            parts = request["parts"] or []
            check(len(parts) == 1 and parts[0]["name"] == self.CRASH_BASE + ext,
                  "%s upload parts %r" % (kind, [(p["name"], p["size"]) for p in parts]))
            with open(files[ext], "rb") as f:
                content = f.read()
            sent = parts[0]["text"].encode("utf-8") if "text" in parts[0] else \
                base64.b64decode(parts[0]["base64"])
            check(sent == content, "%s upload differs from %s" % (kind, files[ext]))

    def system_report(self):
        """What orvex-sysinfo.exe prints (standard output only) in the same prefix: the system
        report."""
        path = os.path.join(self.run_dir("crash-sysinfo"), "report.txt")
        with open(path, "wb") as output:
            subprocess.run([os.path.join(self.h.root, "scripts/wine-run.sh"),
                            os.path.join(self.h.build, "orvex-sysinfo.exe")],
                           env=self.h.wine_env(), stdout=output, stderr=subprocess.DEVNULL,
                           stdin=subprocess.DEVNULL, timeout=EVENT_TIMEOUT * 2, check=False)
        with open(path, "rb") as f:
            return f.read()

    @staticmethod
    def text_of(path):
        with open(path, "rb") as f:
            return f.read().replace(b"\r\n", b"\n")

    def crash_test_build(self, name, crash, answer=None):
        env = {"BASE_DOMAIN": self.service.url + "/", "ANALYTICS_DOMAIN": self.service.url + "/",
               "ORVEX_TEST_CRASH": crash}
        if answer:
            env["ORVEX_TEST_CRASH_ANSWER"] = answer
        return Installer(self.h, os.path.join(self.h.build, "tests", "orvex-crash-installer.exe"),
                         self.run_dir(name), env)

    def crash_with_plan_send(self):
        """The test build crashes (access violation on the session thread) after the report of
        a completed plan: the dialog; "Send Report" uploads the dump, the session document and
        the system report; exit code 1."""
        self.fresh_service(plan({"name": "LastStage", "msg": "Installing",
                                 "modules": [{"class": "Injector", "name": "V", "args": {
                                     "path": ".Config.installer.orvexversion", "value": "2.1 rc"}}]}))
        run = self.crash_test_build("crash_with_plan_send", "access-violation")
        dialog = self.crash_dialog("the crash dialog after an access violation")
        self.check_crash_dialog_look(self.h.screenshot(dialog, "19-crash-dialog"))
        self.h.click(dialog["by_id"][1004])
        code = run.wait_exit(EVENT_TIMEOUT, "the crashed installer to end after \"Send Report\"")
        check(code == 1, "exit code %s after a crash, expected 1" % code)
        files = self.crash_files(run.run_dir)
        self.check_dump(files[".dmp"], 0xC0000005)
        expected = os.path.join(run.run_dir, "crash-expected-document.json")
        check(self.text_of(files[".log"]) == self.text_of(expected),
              "the .log is not the session document")
        check(self.text_of(files[".txt"]).replace(b"\r\n", b"\n") ==
              self.system_report().replace(b"\r\n", b"\n"), "the .txt is not the system report")
        self.check_uploads(files, [("dump", ".dmp"), ("log", ".log"), ("systeminfo", ".txt")])
        report = self.service.requests("/installer/install", "POST")
        check(len(report) == 1 and report[0]["body"] == "version=2.1%20rc&status=INSTALLED&",
              "installation report %r" % [r["body"] for r in report])

    def crash_escaped_exception(self):
        """The product: a configuration whose stage name is a number throws out of the session
        thread before a plan exists: the crash dialog; "Send Report" uploads the dump and the
        system report, the session document's upload fails on standard error; exit code 1."""
        self.fresh_service({"Stages": [{"name": 5}]})
        run = self.start("crash_escaped_exception")
        dialog = self.crash_dialog("the crash dialog after an escaped exception")
        self.h.screenshot(dialog, "20-crash-dialog-escaped-exception")
        self.h.click(dialog["by_id"][1004])
        code = run.wait_exit(EVENT_TIMEOUT, "the installer to end after \"Send Report\"")
        check(code == 1, "exit code %s after a crash, expected 1" % code)
        files = self.crash_files(run.run_dir)
        check(not os.path.exists(files[".log"]), "a .log without a plan")
        self.check_dump(files[".dmp"], 0xE04F5258)
        self.check_uploads(files, [("dump", ".dmp"), ("systeminfo", ".txt")])
        with open(os.path.join(run.run_dir, "wine.log"), encoding="utf-8", errors="replace") as f:
            output = f.read()
        check(self.LOG_FAILURE in output, "no failure line for the .log on standard error")

    def crash_dont_send(self):
        """"Don't Send": the files stay, nothing is sent, exit code 1."""
        self.fresh_service({"Stages": [{"name": 5}]})
        run = self.start("crash_dont_send")
        dialog = self.crash_dialog("the crash dialog")
        before = len(self.service.requests())
        self.h.click(dialog["by_id"][2])
        code = run.wait_exit(EVENT_TIMEOUT, "the installer to end after \"Don't Send\"")
        check(code == 1, "exit code %s after a crash, expected 1" % code)
        check(len(self.service.requests()) == before, "requests after \"Don't Send\": %r" % [
            r["path"] for r in self.service.requests()[before:]])
        files = self.crash_files(run.run_dir)
        check(os.path.exists(files[".dmp"]) and os.path.exists(files[".txt"]), "crash files missing")

    def crash_kinds(self):
        """The test build's other crashes, answered without the dialog: a C++ exception and
        abort() on the session thread (with the plan: three uploads), two threads at once (one
        crash handled), a fault inside the crash path (ends at once, nothing sent), a fault on the
        window's thread before any plan (two uploads)."""
        self.fresh_service(plan({"name": "LastStage", "modules": []}))
        cases = [("exception", "send", 0xE04F5258, 3), ("abort", "send", 0xE04F5258, 3),
                 ("two-threads", "send", 0xC0000005, 3), ("in-crash-path", None, 0xC0000005, 0),
                 ("at-start", "send", 0xC0000005, 2)]
        failures = []
        for crash, answer, code, uploads in cases:
            self.service.reset()
            self.service.set_config(plan({"name": "LastStage", "modules": []}))
            run = self.crash_test_build("crash-" + crash, crash, answer)
            try:
                status = run.wait_exit(WINDOW_TIMEOUT * 2, "the %s crash to end the program" % crash)
                check(status == 1, "%s: exit code %s" % (crash, status))
                self.check_dump(self.crash_files(run.run_dir)[".dmp"], code)
                got = len(self.uploads())
                check(got == uploads, "%s: %d uploads, expected %d" % (crash, got, uploads))
            except Failure as failure:
                failures.append(str(failure))
                self.h.stop(run.process)
        check(not failures, "; ".join(failures))
    def msi_install(self):
        """A cabinet holding the product's Windows Installer package is downloaded, unpacked
        and installed: the bar moves while Cancel is disabled. A package that fails next
        shows its error text as the prompt's detail."""
        packages = os.path.join(self.h.build, "tests", "packages")

        def fetch_and_unpack(prefix, cabinet):
            return [{"class": "HTTPDownloader", "name": prefix + "DOWNLOAD",
                     "msg": "Downloading the Orvex package",
                     "args": {"url": "%BASE_URL%/media/" + cabinet, "destination": cabinet,
                              "directory": ".SessionDir"}},
                    {"class": "CABExtractor", "name": prefix + "UNPACK",
                     "args": {"cab": cabinet, "directory": ".SessionDir"}}]

        self.fresh_service(plan(
            {"name": "Prepare", "msg": "Preparing the installation",
             "modules": [{"class": "CreateInTempDir", "name": "SESSION_DIR",
                          "args": {"directory": "orvex-e2e-install", "saveTo": ".SessionDir"}}]},
            {"name": "Download", "msg": "Downloading Orvex",
             "modules": fetch_and_unpack("", "orvex-product.cab")},
            {"name": "LastStage", "msg": "Installing Orvex",
             "modules": [{"class": "MSIInstaller", "name": "INSTALL",
                          "args": {"directory": ".SessionDir", "name": "orvex-product.msi",
                                   "msg": "Installing Orvex",
                                   "msi_args": {"REBOOT": "ReallySuppress"}}}]},
            {"name": "Failing", "msg": "Installing a package that fails",
             "modules": fetch_and_unpack("FAILING_", "orvex-failing.cab") + [
                 {"class": "MSIInstaller", "name": "INSTALL_FAILING",
                  "args": {"directory": ".SessionDir", "name": "orvex-failing.msi"}}]}))
        for name in ("orvex-product.cab", "orvex-failing.cab"):
            with open(os.path.join(packages, name), "rb") as f:
                self.service.call("/_dev/media/" + name, f.read())
        run = self.start("msi_install")

        def installing(w):
            return (w["by_id"][1001]["text"] == "Installation started..." and
                    w["by_id"][1000]["visible"] and w["by_id"][1000]["position"] > 0)

        shown = self.h.wait_main_window(installing, WINDOW_TIMEOUT, "the installation's progress")
        check(not shown["by_id"][2]["enabled"], "Cancel is enabled during the installation")
        # Wine's msi.dll announces a small total and reports most of it with the first files,
        # so the bar is seen between 98% and 100% while the package's pause runs.
        first = shown["by_id"][1000]["position"]
        self.h.screenshot(shown, "15-main-msi-progress")
        later = self.h.wait_main_window(
            lambda w: not installing(w) or w["by_id"][1000]["position"] != first,
            EVENT_TIMEOUT, "the installation's progress to move on from %d%%" % first)
        if installing(later):
            check(not later["by_id"][2]["enabled"], "Cancel is enabled during the installation")
            self.h.screenshot(later, "16-main-msi-progress-later")

        prompt = self.h.wait_prompt(EVENT_TIMEOUT * 2, "the failing package's question")
        detail = prompt["by_id"][1003]["text"]
        check(prompt["by_id"][1002]["text"] == "Could not install Orvex-m.",
              "prompt message %r" % prompt["by_id"][1002]["text"])
        check(detail.strip() != "", "the prompt has no detail")
        self.h.screenshot(prompt, "17-prompt-msi-failed")
        self.h.key(prompt, "Return")
        done = self.h.wait_main_window(lambda w: w["by_id"][2]["text"] == "Done",
                                       EVENT_TIMEOUT * 3, "\"Done\" after the installations")
        check(done["by_id"][2]["enabled"], "Cancel/Done stays disabled after the installations")
        dump = self.wait_dump(run)
        check(dump["LastStage"]["status"]["progress"] == "completed",
              "LastStage did not complete: %r" % dump.get("LastStage"))
        check(dump["LastStage"]["INSTALL"].get("error") == "",
              "the installation recorded an error: %r" % dump["LastStage"])
        failing = dump["Failing"]["INSTALL_FAILING"]
        check(failing.get("status") == "failed", "the failing package's record: %r" % failing)
        check(failing.get("error", "").strip() == detail.strip(),
              "the prompt's detail %r is not the recorded error %r" % (detail, failing.get("error")))
        # The test package is a 32-bit one: a 64-bit Windows puts it into "Program Files (x86)".
        program_files = "Program Files (x86)" if WINE["ORVEX_WINE_ARCH"] == "win64" \
            else "Program Files"
        installed = os.path.join(self.h.prefix, "drive_c", program_files, "OrvexInstallTest")
        for name in ("readme.txt", "install_ics.bat", "copy_vbox_config.bat"):
            check(os.path.exists(os.path.join(installed, name)), "%s was not installed" % name)
        self.close_with_done(run, done)


    def driver_restart(self):
        """A driver installation that needs a restart: the driver archive unpacked, the dpinst
        stand-in run on it (it asks for the restart), true at the restart flag in the dump."""
        session = os.path.join(self.h.prefix, "drive_c", "orvex driver session")
        shutil.rmtree(session, ignore_errors=True)
        os.makedirs(session)
        tests = os.path.join(self.h.build, "tests")
        shutil.copy(os.path.join(tests, "driver-zips", "driver-restart.zip"),
                    os.path.join(session, "gpudriver.zip"))
        shutil.copy(os.path.join(tests, "dpinst.exe"), os.path.join(session, "dpinst.exe"))
        self.fresh_service(plan(
            {"name": "Driver", "msg": "Installing the graphics driver",
             "modules": [{"class": "Injector", "name": "SESSION",
                          "args": {"path": ".SessionDir", "value": "C:\\orvex driver session"}},
                         {"class": "DPInstaller", "name": "GPU_INSTALLER",
                          "args": {"dpinst_dir": ".SessionDir", "src_dir": ".SessionDir",
                                   "src_file": "gpudriver.zip", "dest_dir": ".SessionDir",
                                   "dir_suffix": "Graphics",
                                   "is_restart": ".InstallConfig.installer.restart"}}]},
            last_stage()))
        run = self.start("driver_restart")
        done = self.wait_done(FINISHING, "\"Done\" after the driver installation")
        self.h.screenshot(done, "18-main-driver-done")
        dump = self.wait_dump(run)
        check(dump.get("Driver", {}).get("status", {}).get("progress") == "completed",
              "the driver stage: %r" % dump.get("Driver"))
        restart = dump.get("InstallConfig", {}).get("installer", {}).get("restart")
        check(restart is True, "the restart flag in the dump: %r" % restart)
        with open(os.path.join(session, "dpinst-record.txt"), encoding="utf-8") as f:
            record = f.read()
        check("path=C:\\orvex driver session\\Graphics\n" in record and "exit=0x40000001" in record,
              "what the driver installer saw: %r" % record)
        self.close_with_done(run, done)
        shutil.rmtree(session, ignore_errors=True)

    def planted_dlls(self):
        """DLLs of every name the installer loads that is not one of Windows' KnownDLLs
        (msi.dll, opengl32.dll, bcrypt.dll, crypt32.dll, ...) lie beside OrvexWebInstaller.exe,
        as anyone could put them into a Downloads folder, and Wine is told to prefer such native
        copies. The installer still probes OpenGL, asks Windows Installer for a product and
        verifies a download's SHA-256, from System32's libraries: none of the planted ones is
        loaded (each would leave "<name>.dll.loaded" beside itself)."""
        folder = os.path.join(self.h.out, "runs", "planted_dlls-program")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        exe = os.path.join(folder, "OrvexWebInstaller.exe")
        shutil.copy(os.path.join(self.h.build, "OrvexWebInstaller.exe"), exe)
        planted_dir = os.path.join(self.h.build, "tests", "planted-dlls")
        planted = sorted(n for n in os.listdir(planted_dir) if n.endswith(".dll"))
        check({"msi.dll", "opengl32.dll", "bcrypt.dll", "crypt32.dll"} <= set(planted),
              "the planted DLLs: %r" % planted)
        for name in planted:
            shutil.copy(os.path.join(planted_dir, name), os.path.join(folder, name))
        overrides = ",".join(n[:-len(".dll")] for n in planted) + "=n,b"
        payload = b"verified with bcrypt.dll from System32\n" * 1000
        self.fresh_service(plan(
            {"name": "Probe", "msg": "Looking at the machine",
             "modules": [{"class": "GetOpenGLVersion", "name": "OPENGL",
                          "args": {"saveTo": ".Config"}},
                         {"class": "GetProductInfo", "name": "PRODUCT",
                          "args": {"saveTo": ".Config", "product": "Orvex"}}]},
            {"name": "Fetch", "msg": "Fetching the package",
             "modules": [{"class": "HTTPDownloader", "name": "PACKAGE", "msg": "Downloading",
                          "args": {"url": "%BASE_URL%/media/planted.bin",
                                   "destination": "planted.bin",
                                   "directory": "C:\\windows\\temp",
                                   "sha256": hashlib.sha256(payload).hexdigest()}}]},
            last_stage()))
        self.service.call("/_dev/media/planted.bin", payload)
        run = self.start("planted_dlls", extra_env={"WINEDLLOVERRIDES": overrides}, exe=exe)
        done = self.wait_done(FINISHING, "\"Done\" with DLLs planted beside the installer")
        dump = self.wait_dump(run)
        for stage in ("Probe", "Fetch", "LastStage"):
            check(dump.get(stage, {}).get("status", {}).get("progress") == "completed",
                  "stage %s did not complete: %r" % (stage, dump.get(stage)))
        opengl = dump.get("Config", {}).get("opengl", {})
        check("Mesa" in json.dumps(opengl), "the OpenGL probe found no Mesa: %r" % opengl)
        loaded = sorted(n for n in os.listdir(folder) if n.endswith(".loaded"))
        check(loaded == [], "planted DLLs ran inside the installer: %r" % loaded)
        self.close_with_done(run, done)
        loaded = sorted(n for n in os.listdir(folder) if n.endswith(".loaded"))
        check(loaded == [], "planted DLLs ran inside the installer: %r" % loaded)
        shutil.rmtree(folder, ignore_errors=True)


SCENARIOS = ["download_then_done", "second_instance", "configuration_unreachable",
             "environment_ignored",
             "cancel_download", "failing_module", "prompt_severities", "prompt_languages",
             "msi_install", "driver_restart",
             "crash_with_plan_send", "crash_escaped_exception", "crash_dont_send", "crash_kinds",
             "upgrade_question", "uninstallable_help", "restart_prompt", "dotnet_prompts",
             "graphics_update", "graphics_download_fails", "planted_dlls"]


# The product's installation (scripts/e2e/product_scenarios.py), each in a prefix of its own.
import product_scenarios  # noqa: E402

SCENARIOS += product_scenarios.SCENARIOS

for _name in product_scenarios.SCENARIOS:
    setattr(Scenarios, _name,
            lambda self, _n=_name: getattr(product_scenarios.ProductScenarios(self), _n)())


def report_failure(harness, name):
    try:
        lines = harness.kept_failure_report
        if lines is None:
            lines = harness.failure_report(name)
        for line in lines:
            print(line, flush=True)
    except Exception:  # the report must not hide the failure it reports
        print("  (no failure report: %s)" % traceback.format_exc().splitlines()[-1], flush=True)


def run_scenario(harness, scenarios, name):
    """Runs one scenario and prints PASS or FAIL with what the machine showed; returns None
    when it passed, otherwise the failure's text."""
    began = time.monotonic()
    harness.installers = []
    harness.kept_failure_report = None
    failure = None
    try:
        getattr(scenarios, name)()
        print("PASS %s (%.0fs)" % (name, time.monotonic() - began), flush=True)
    except Failure as error:
        failure = str(error)
    except Exception:  # a fault of the harness itself counts as a failure too
        failure = "harness error\n%s" % traceback.format_exc()
    if failure is not None:
        print("FAIL %s: %s" % (name, failure), flush=True)
        report_failure(harness, name)
    # Nothing of one scenario may leak into the next.
    for process in harness.processes:
        if process.args and "wine-run.sh" in str(process.args[0]):
            harness.stop(process)
    return failure


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", default=os.path.join(ROOT, WINE["ORVEX_WINE_BUILD"]))
    parser.add_argument("--out", default=os.path.join(ROOT, "build", "e2e"))
    parser.add_argument("scenarios", nargs="*", help="some of: " + " ".join(SCENARIOS))
    options = parser.parse_args()
    unknown = [name for name in options.scenarios
               if name not in SCENARIOS]
    if unknown:
        parser.error("unknown scenarios %s; choose from %s" % (unknown, SCENARIOS))
    build = os.path.abspath(options.build)
    out = os.path.abspath(options.out)
    for name in ("OrvexWebInstaller.exe", "tests/orvex-window-probe.exe",
                 "tests/orvex-prompt-window.exe", "tests/orvex-restart-recorder.exe"):
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
    second_attempts = []
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
            failure = run_scenario(harness, scenarios, name)
            if failure is None:
                continue
            # Under Wine and Xvfb a program's first window has, very rarely, not come within
            # the wait (its cause not yet found: the report above says what the machine
            # showed). A failed scenario gets one more attempt; the failure stays in the
            # output and in the summary, and a fault of the program fails both attempts.
            print("RETRY %s: once more after the failure above" % name, flush=True)
            if run_scenario(harness, scenarios, name) is None:
                second_attempts.append(name)
            else:
                failed.append(name)
    finally:
        harness.close()
    for png in dict.fromkeys(harness.screenshots):
        print("screenshot %s" % os.path.relpath(png, ROOT))
    total = len(options.scenarios or SCENARIOS)
    print("%d passed, %d failed (%.0fs)%s" % (
        total - len(failed), len(failed), time.monotonic() - started,
        "; passed only at the second attempt: " + " ".join(second_attempts)
        if second_attempts else ""))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
