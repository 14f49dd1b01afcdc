"""End-to-end scenarios of the product's installation (scripts/e2e/run.py): the configuration
of examples/install with the packages of examples/product, each scenario in a Wine prefix of
its own, prepared as the user's machine it stands for.

| scenario | machine | what happens |
|---|---|---|
| product_install | fresh | the installation completes: product, files, config.xml, registry, report, request order |
| product_up_to_date | Orvex 2.0.6 installed | "Your version of Orvex is already up to date.", Quit; FAILED VERSION ORVEX_UPTODATE |
| product_upgrade | Orvex 1.0.13 with its desktop link | Upgrade accepted: the link saved, removed by the upgrade, restored |
| product_refused | fresh; the service refuses it | the service's reason with "Help": the article opens; FAILED UNINSTALLABLE |
| product_install_fails | fresh; a package whose launch condition fails | the installer's text as the detail; FAILED PACKAGE_INSTALLER |
| product_cancel_download | fresh | Cancel during the download, "Yes": the window closes; nothing installed |
| product_tampered_package | fresh; the package on the service changed after its digest was published | the hash error in the question and the report; nothing unpacked, run or installed |
| product_install_russian | fresh, Russian locale (ANSI code page 1251), user "Анна" | the installation completes into a Cyrillic folder; session document, report and hit UTF-8 |
| product_restart_after_kill | fresh; the package sent slowly | killed when half the package was sent, started again: the second run receives at most 55 % of it and completes; the cache keeps none of its files |
| product_restart_after_failed_install | fresh; a package whose launch condition fails | started again after the failed installation: no byte of the package is sent again |
"""

import os
import re
import shutil
import subprocess

from harness import check, stop_wineserver, wait_until
import installation as inst

SCENARIOS = ["product_install", "product_up_to_date", "product_upgrade", "product_refused",
             "product_install_fails", "product_cancel_download", "product_tampered_package",
             "product_install_russian", "product_restart_after_kill",
             "product_restart_after_failed_install"]

# The machine's download cache, in the prefix.
CACHE_FOLDER = "C:\\ProgramData\\Quarn\\Orvex\\Downloads"
# A slow enough package that the run can be stopped at about half of it: ten ranges at this
# rate each (bytes per second).
KILL_RATE = 5000

DOWNLOAD_FAILED = "Could not download files from Internet."

RUSSIAN_USER = "\u0410\u043d\u043d\u0430"
RUSSIAN_PRODUCT_DIR = "C:\\Program Files\\\u041a\u0432\u0430\u0440\u043d\\\u041e\u0440\u0432\u0435\u043a\u0441\\"

REFUSAL_REASON = "Orvex cannot run on this computer: its processor has no virtualization support."
REFUSAL_ERROR = "MACHINE_NOT_SUPPORTED"
REFUSAL_HELP = "unsupportedsystem"


def russian_locale(h):
    """The environment of a Russian user's Wine: LANG=ru_RU.UTF-8, from which Wine takes the
    ANSI code page 1251, and the user "Анна", after whom Wine names the prefix's user and its
    profile folder. Where the system has not generated the locale, it is made in the harness's
    work folder (localedef of Debian's locales package) and found through LOCPATH."""
    env = {"LANG": "ru_RU.UTF-8", "LC_ALL": "ru_RU.UTF-8", "USER": RUSSIAN_USER,
           "LOGNAME": RUSSIAN_USER}
    listed = subprocess.run(["locale", "-a"], stdout=subprocess.PIPE, check=False,
                            text=True).stdout.split()
    if not any(name.lower().replace("-", "") == "ru_ru.utf8" for name in listed):
        folder = os.path.join(h.work, "locale")
        os.makedirs(folder, exist_ok=True)
        made = subprocess.run(["localedef", "-i", "ru_RU", "-f", "UTF-8",
                               os.path.join(folder, "ru_RU.UTF-8")], stdout=subprocess.PIPE,
                              stderr=subprocess.STDOUT, check=False, timeout=300)
        check(os.path.isfile(os.path.join(folder, "ru_RU.UTF-8", "LC_CTYPE")),
              "making the locale ru_RU.UTF-8 failed (Debian's locales package): %r"
              % made.stdout[-300:])
        env["LOCPATH"] = folder
    return env


class ProductScenarios:
    def __init__(self, scenarios):
        self.sc = scenarios  # run.py's Scenarios: harness, dev service, helpers
        self.h = scenarios.h
        self.shared_prefix = scenarios.h.prefix
        self.codes = None

    # ---- set-up

    def machine(self, name, install=(), desktop=None, config=None, broken=False):
        """A prefix of this scenario's own, the service reset with the product's media and the
        configuration (changed by the function config, when given)."""
        self.h.prefix = os.path.join(self.h.work, "prefix-" + name)
        self.h.make_prefix()
        served = inst.load_config()
        if config:
            config(inst.service_settings(served))
        self.sc.fresh_service(served)
        self.codes = inst.serve_product(self.sc.service, self.h.build, broken=broken)
        inst.prepare_machine(self.h, self.h.build, install=install, desktop=desktop)

    def release_machine(self):
        stop_wineserver(self.h.prefix)
        shutil.rmtree(self.h.prefix, ignore_errors=True)
        self.h.prefix = self.shared_prefix
        self.h.prefix_env = {}

    def run(self, name, answers, shots, slow=False, cancel=False):
        if slow:
            for path in inst.PACKAGE_PATHS:
                self.sc.service.add_fault(path=path, method="GET", kind="slow", rate=40000)
        installer = inst.start(self.h, self.h.build, self.sc.service, self.sc.run_dir(name))
        drive = inst.Drive(self.h, answers, shots, cancel_in_download=cancel, say=lambda t: None)
        done = drive.run(installer)
        return installer, drive, done

    def finish(self, installer, done):
        if done is not None:
            self.sc.close_with_done(installer, done)
        return self.sc.wait_dump(installer)

    def scenario(self, name, body):
        try:
            body()
        except Exception:
            # Seen before the prefix, its programs and their windows are gone.
            self.h.keep_failure_report("product-" + name)
            raise
        finally:
            self.release_machine()

    # ---- scenarios

    def product_install(self):
        """A fresh installation: every stage completes, the product is installed."""
        def body():
            self.machine("install")
            installer, drive, done = self.run("product_install", inst.WILLING_USER, {
                "start": "40-product-start", "download": "41-product-download",
                "install": "43-product-install", "done": "45-product-done",
                inst.GPU_OPTIONAL: "42-product-driver-question",
                inst.RESTART: "44-product-restart-question"}, slow=True)
            check(done is not None, "the installer ended before \"Done\"")
            check(drive.bar_positions["download"] and drive.bar_positions["install"],
                  "the bar did not move through both download and installation: %r"
                  % drive.bar_positions)
            dump = self.finish(installer, done)
            check(dump.get("LastStage", {}).get("status", {}).get("progress") == "completed",
                  "LastStage: %r" % dump.get("LastStage"))
            inst.check_installed(self.h, self.sc.service, dump, self.codes)
            inst.check_request_order(self.sc.service)
        self.scenario("install", body)

    def product_install_russian(self):
        """A Russian Windows: Wine in a Russian locale (its ANSI code page 1251), the user
        "Анна" (the profile folder, the temporary folder and so the session folder are
        Cyrillic), and the product installed into a Cyrillic folder. The installation completes
        and what the installer writes and sends is UTF-8 with the names whole."""
        def cyrillic_folder(settings):
            settings["msi_args"]["INSTALLDIR"] = RUSSIAN_PRODUCT_DIR

        def body():
            self.h.prefix_env = russian_locale(self.h)
            self.machine("russian", config=cyrillic_folder)
            code, text = inst.run_wine(self.h, [self.h.wine_tool("reg.exe"), "query",
                                                "HKLM\\System\\CurrentControlSet\\Control\\Nls\\CodePage",
                                                "/v", "ACP"], "reading the ANSI code page")
            check(re.search(r"ACP\s+REG_SZ\s+1251", text), "the prefix's ANSI code page: %r" % text)
            installer, drive, done = self.run("product_install_russian", inst.WILLING_USER, {
                "start": "58-product-russian-start", "done": "59-product-russian-done"})
            check(done is not None, "the installer ended before \"Done\"")
            dump = self.finish(installer, done)  # read as strict UTF-8
            check(dump.get("LastStage", {}).get("status", {}).get("progress") == "completed",
                  "LastStage: %r" % dump.get("LastStage"))
            session = dump.get("SessionDir", "")
            check(session.lower().startswith(("c:\\users\\%s\\" % RUSSIAN_USER).lower()),
                  "the session folder %r is not in the user's folder" % session)
            inst.check_installed(self.h, self.sc.service, dump, self.codes,
                                 product_dir=RUSSIAN_PRODUCT_DIR)
            # reg.exe prints in the console's code page; its export is UTF-16.
            exported = os.path.join(self.h.work, "russian-product.reg")
            code, text = inst.run_wine(self.h, [self.h.wine_tool("reg.exe"), "export",
                                                "HKLM\\Software\\Quarn\\Orvex",
                                                "Z:" + exported.replace("/", "\\"), "/y"],
                                       "exporting the product's registry key")
            check(code == 0 and os.path.isfile(exported), "reg export: %d %s" % (code, text))
            with open(exported, "rb") as f:
                key = f.read().decode("utf-16")
            expected = '"InstallDir"="%s"' % RUSSIAN_PRODUCT_DIR.replace("\\", "\\\\")
            check(expected in key, "InstallDir in the registry: %r" % key)
            inst.check_forms_utf8(self.sc.service)
        self.scenario("russian", body)

    def product_up_to_date(self):
        """Orvex 2.0.6 is installed already: the version check stops the run."""
        def body():
            self.machine("up-to-date")
            self.install_offered_package()
            installer, drive, done = self.run("product_up_to_date", inst.WILLING_USER, {
                inst.UP_TO_DATE: "46-product-up-to-date", "done": "47-product-up-to-date-done"})
            asked = [q[:4] for q in drive.questions]
            check(asked == [(inst.UP_TO_DATE, "", "", "Quit")], "questions: %r" % asked)
            dump = self.finish(installer, done)
            check(dump["Config"]["product"]["version"] == inst.OFFERED_VERSION,
                  "the product lookup: %r" % dump["Config"].get("product"))
            inst.check_failed_report(self.sc.service, "VERSION", "ORVEX_UPTODATE")
            check(not any(self.sc.service.requests(path) for path in inst.PACKAGE_PATHS),
                  "the package was downloaded although the product is up to date")
        self.scenario("up-to-date", body)

    def install_offered_package(self):
        """Orvex 2.0.6 installed with msiexec from the package inside the served cabinet."""
        folder = os.path.join(self.h.work, "offered")
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        subprocess.run(["gcab", "-x", "-C", folder, os.path.join(
            self.h.build, "product", "media", inst.PACKAGE_CAB)], check=True,
            stdout=subprocess.DEVNULL)
        msi = os.path.join(folder, "Orvex-2.0.6.8063.msi")
        code, text = inst.run_wine(self.h, [self.h.wine_tool("msiexec.exe"), "/i",
                                            "Z:" + msi.replace("/", "\\"), "/qn"], "msiexec")
        check(code == 0, "installing Orvex 2.0.6 first: %d %s" % (code, text[-300:]))

    def product_upgrade(self):
        """Orvex 1.0.13 with its link on the public desktop: Upgrade saves the desktop, the
        package's upgrade removes the link, the post-installation puts it back."""
        def body():
            self.machine("upgrade", install=["Orvex-1.0.13.2210.msi"],
                         desktop={"notes.txt": "the user's own file\n"})
            desktop = inst.public_desktop(self.h)
            check(os.path.isfile(os.path.join(desktop, "Orvex.url")),
                  "Orvex 1.0.13 put no link on the public desktop")
            installer, drive, done = self.run("product_upgrade", inst.WILLING_USER, {
                inst.UPGRADE: "48-product-upgrade-question", "done": "49-product-upgrade-done"})
            asked = [q[:4] for q in drive.questions]
            check(asked and asked[0] == (inst.UPGRADE, "Do you want to upgrade it ?", "Upgrade",
                                         "Abort"), "questions: %r" % asked)
            dump = self.finish(installer, done)
            check(dump["Config"]["product"]["version"] == "1.0.13.2210",
                  "the product found before the upgrade: %r" % dump["Config"].get("product"))
            inst.check_installed(self.h, self.sc.service, dump, self.codes)
            old = next(p for p in self.codes["packages"] if p["version"] == "1.0.13.2210")
            check(inst.installed_version(self.h, old["product_code"]) is None,
                  "Orvex 1.0.13 is still installed next to 2.0.6")
            check(sorted(os.listdir(desktop)) == ["Orvex.url", "notes.txt"],
                  "the public desktop after the upgrade: %s" % sorted(os.listdir(desktop)))
        self.scenario("upgrade", body)

    def product_refused(self):
        """The service refuses the machine: its reason, "Help" opens its article."""
        def refuse(settings):
            settings["installer"].update(install=False, reason=REFUSAL_REASON,
                                         error=REFUSAL_ERROR, help=REFUSAL_HELP)

        def body():
            self.machine("refused", config=refuse)
            installer, drive, done = self.run("product_refused", {REFUSAL_REASON: inst.ACCEPT}, {
                REFUSAL_REASON: "50-product-refused", "done": "51-product-refused-done"})
            asked = [q[:4] for q in drive.questions]
            check(asked == [(REFUSAL_REASON, "Press help to get more help", "Help", "Quit")],
                  "questions: %r" % asked)
            self.finish(installer, done)
            # "Help" opens the service's article and the failed run the general one. Each page
            # is opened by a browser process of its own, so on a busy machine the second may be
            # recorded first: the order is not checked.
            urls = wait_until(lambda: len(self.h.browser_urls()) >= 2 and self.h.browser_urls(),
                              60, "the two help articles in the browser")
            articles = sorted(re.search(r"/index/knowledgebase\?article=([^&]*)&", url).group(1)
                              if "/index/knowledgebase?article=" in url else url for url in urls)
            check(articles == sorted([REFUSAL_HELP, "help"]), "browser pages: %r" % urls)
            inst.check_failed_report(self.sc.service, "UNINSTALLABLE", REFUSAL_ERROR)
        self.scenario("refused", body)

    def product_tampered_package(self):
        """The package on the service is not the one its configuration pins (stored again with
        other bytes after its digest was published): the download fails with the hash error,
        which the question and the report show, and nothing of the package is unpacked, run or
        installed."""
        def body():
            self.machine("tampered")
            for path in inst.PACKAGE_PATHS:
                relative = path[len("/media/"):]
                with open(os.path.join(self.h.build, "product", "media", relative), "rb") as f:
                    tampered = bytearray(f.read())
                tampered[len(tampered) // 2] ^= 0xFF  # one byte changed, the size the same
                self.sc.service.call("/_dev/media/" + relative, bytes(tampered))
            installer, drive, done = self.run("product_tampered_package",
                                              dict(inst.WILLING_USER, **{DOWNLOAD_FAILED: inst.ACCEPT}),
                                              {DOWNLOAD_FAILED: "56-product-tampered-package",
                                               "done": "57-product-tampered-package-done"})
            failed = [q for q in drive.questions if q[0] == DOWNLOAD_FAILED]
            check(failed and "DOWNLOAD_HASH_MISMATCH" in failed[0][1],
                  "the download failure's question: %r" % drive.questions)
            dump = self.finish(installer, done)
            record = dump.get("Download", {}).get("PACKAGE_DOWNLOADER", {})
            check(record.get("status") == "failed" and record.get("error_code") == 9,
                  "the downloader's record: %r" % record)
            check("PACKAGE_EXTRACTOR" not in dump.get("Download", {}) and "Install" not in dump
                  and "LastStage" not in dump, "the run went on after the hash error: %r"
                  % sorted(dump))
            inst.check_failed_report(self.sc.service, "PACKAGE_DOWNLOADER", record["error"])
            check(re.search(r"DOWNLOAD_HASH_MISMATCH: .*expected SHA-256 [0-9a-f]{64}, "
                            r"received [0-9a-f]{64}", record["error"]),
                  "the report's reason: %r" % record)
            check(not os.path.exists(os.path.join(self.h.prefix, *inst.PRODUCT_DIR, "Orvex.exe")),
                  "the tampered package left Orvex.exe")
            check(not any(self.sc.service.requests(p) for p in ("/index/driverupdate",)),
                  "the run went on to the driver after the hash error")
        self.scenario("tampered", body)

    def product_install_fails(self):
        """Windows Installer refuses the package (its launch condition fails): its error text
        is the question's detail and the module's error, the report names the module and that
        reason. (Wine's Windows Installer gives the text of the result code, not the
        condition's message.)"""
        def body():
            self.machine("install-fails", broken=True)
            installer, drive, done = self.run("product_install_fails", inst.WILLING_USER, {
                inst.INSTALL_FAILED: "52-product-install-failed",
                "done": "53-product-install-failed-done"})
            failed = [q for q in drive.questions if q[0] == inst.INSTALL_FAILED]
            check(failed and failed[0][1].strip() and failed[0][2:4] == ("Ok", ""),
                  "the failure's question: %r" % drive.questions)
            dump = self.finish(installer, done)
            record = dump.get("Install", {}).get("PACKAGE_INSTALLER", {})
            error = record.get("error", "")
            check(record.get("status") == "failed" and error.strip() == failed[0][1].strip(),
                  "the module's record %r and the question's detail %r" % (record, failed[0][1]))
            inst.check_failed_report(self.sc.service, "PACKAGE_INSTALLER", error)
            check(not os.path.exists(os.path.join(self.h.prefix, *inst.PRODUCT_DIR, "Orvex.exe")),
                  "the failed package left Orvex.exe")
        self.scenario("install-fails", body)

    def product_cancel_download(self):
        """Cancel during the download and "Yes": the window closes, nothing is installed."""
        def body():
            self.machine("cancel")
            answers = dict(inst.WILLING_USER)
            answers[inst.STOP] = inst.ACCEPT
            installer, drive, done = self.run("product_cancel_download", answers, {
                "download": "54-product-cancel-download", inst.STOP: "55-product-stop-question"},
                slow=True, cancel=True)
            # The window shows "Done" for a moment at most, then closes by itself.
            installer.wait_exit(60, "the window to close by itself after the confirmed stop")
            check([q[0] for q in drive.questions] == [inst.STOP], "questions: %r" % drive.questions)
            dump = self.sc.wait_dump(installer)
            error = dump.get("Download", {}).get("PACKAGE_DOWNLOADER", {}).get("error")
            check(error == "DOWNLOAD_CANCELED", "the download's error: %r" % error)
            check("Install" not in dump, "the installation stage ran after the stop")
            check(not os.path.exists(os.path.join(self.h.prefix, *inst.PRODUCT_DIR)),
                  "the product's folder exists after the stop")
            inst.check_failed_report(self.sc.service, "PACKAGE_DOWNLOADER", "DOWNLOAD_CANCELED")
        self.scenario("cancel", body)

    # ---- a restarted installation fetches only what it lacks

    def package_bytes_sent(self):
        """Body bytes of the package the service sent so far (both package paths)."""
        return sum(r.get("sent", 0) for path in inst.PACKAGE_PATHS
                   for r in self.sc.service.requests(path, "GET"))

    def package_size(self):
        return os.path.getsize(os.path.join(self.h.build, "product", "media", inst.PACKAGE_CAB))

    def cached_files(self):
        folder = inst.prefix_path(self.h, CACHE_FOLDER)
        return sorted(os.listdir(folder)) if os.path.isdir(folder) else []

    def product_restart_after_kill(self):
        """The installer is killed (every process of the prefix ended at once, as a crash or a
        power cut would) when half of the package has been sent; started again, it fetches
        only what the first run's journal in the machine's cache lacks, and completes; the
        completed installation leaves none of its files in the cache."""
        def body():
            self.machine("restart-kill")
            for path in inst.PACKAGE_PATHS:
                self.sc.service.add_fault(path=path, method="GET", kind="slow", rate=KILL_RATE)
            size = self.package_size()
            installer = inst.start(self.h, self.h.build, self.sc.service,
                                   self.sc.run_dir("product_restart_after_kill-1"))
            wait_until(lambda: self.package_bytes_sent() >= size // 2, 300,
                       "half of the package to be sent")
            stop_wineserver(self.h.prefix)
            installer.wait_exit(60, "the killed installer to end")
            check(any(name.endswith(".part") for name in self.cached_files()),
                  "the killed run left no partial file in the cache: %r" % self.cached_files())
            first = self.package_bytes_sent()

            installer, drive, done = self.run("product_restart_after_kill-2", inst.WILLING_USER,
                                              {"done": "60-product-restart-after-kill-done"})
            check(done is not None, "the second run ended before \"Done\"")
            dump = self.finish(installer, done)
            second = self.package_bytes_sent() - first
            print("  package of %d bytes: %d sent before the kill, %d in the second run"
                  % (size, first, second))
            check(second <= size * 55 // 100,
                  "the second run received %d bytes of the package's %d (first run: %d)"
                  % (second, size, first))
            check(dump.get("LastStage", {}).get("status", {}).get("progress") == "completed",
                  "LastStage: %r" % dump.get("LastStage"))
            inst.check_installed(self.h, self.sc.service, dump, self.codes)
            check(self.cached_files() == [],
                  "the completed installation left files in the cache: %r" % self.cached_files())
        self.scenario("restart-kill", body)

    def product_restart_after_failed_install(self):
        """Windows Installer refuses the package; the user starts the installer again: the
        package comes from the machine's cache, not one byte of it is sent again."""
        def body():
            self.machine("restart-failed", broken=True)
            runs = []
            for number in (1, 2):
                installer, drive, done = self.run(
                    "product_restart_after_failed_install-%d" % number, inst.WILLING_USER,
                    {"done": "61-product-restart-after-failed-install-done"} if number == 2
                    else {})
                check(done is not None, "run %d ended before \"Done\"" % number)
                dump = self.finish(installer, done)
                record = dump.get("Install", {}).get("PACKAGE_INSTALLER", {})
                check(record.get("status") == "failed", "run %d: the installer's record: %r"
                      % (number, record))
                runs.append(self.package_bytes_sent())
                if number == 1:
                    check(self.cached_files(), "the failed run kept nothing in the cache")
            print("  package bytes sent: %d in the first run, %d in the second"
                  % (runs[0], runs[1] - runs[0]))
            check(runs[0] >= self.package_size() and runs[1] == runs[0],
                  "package bytes sent: %d in the first run, %d in the second"
                  % (runs[0], runs[1] - runs[0]))
            check(self.cached_files(), "the cache lost the package after the second failed run")
        self.scenario("restart-failed", body)
