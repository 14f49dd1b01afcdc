#!/usr/bin/env python3
"""The installer's main job: OrvexWebInstaller.exe under Wine against the local web service
serving examples/demo/config.json. Run through scripts/demo.sh.

--interactive: the window opens on $DISPLAY and you answer it; the browser pages open in the
browser Wine finds. Otherwise the run happens on a private Xvfb display, is answered with
xdotool, and screenshots are saved to <out>/*.png; the browser pages are recorded, not opened.
"""

import argparse
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import DevService, Failure, Harness, Installer, WINE  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PACKAGE_SIZE = 8000000


def say(text):
    print(text, flush=True)


def drive(h, run):
    """Answers the window as a user would and saves what it shows."""
    start = h.wait_main_window(lambda w: True, 120, "the installer's window")
    say("window: %r" % start["by_id"][1001]["text"])
    say("  saved %s" % os.path.relpath(h.screenshot(start, "01-start"), ROOT))
    download = h.wait_main_window(
        lambda w: w["by_id"][1000]["visible"] and w["by_id"][1000]["position"] > 0, 120,
        "the download")
    say("window: %r, progress bar at %d%%" % (download["by_id"][1001]["text"],
                                              download["by_id"][1000]["position"]))
    say("  saved %s" % os.path.relpath(h.screenshot(download, "02-download"), ROOT))
    prompt = h.wait_prompt(180, "the question about the failed download")
    say("question: %r / %r" % (prompt["by_id"][1002]["text"], prompt["by_id"][1003]["text"]))
    say("  saved %s" % os.path.relpath(h.screenshot(prompt, "03-prompt"), ROOT))
    h.key(prompt, "Return")
    say("  answered \"%s\" with Enter" % prompt["by_id"][1]["text"])
    done = h.wait_main_window(lambda w: w["by_id"][2]["text"] == "Done", 120, "\"Done\"")
    say("window: %r, button %r" % (done["by_id"][1001]["text"], done["by_id"][2]["text"]))
    say("  saved %s" % os.path.relpath(h.screenshot(done, "04-done"), ROOT))
    h.click(done["by_id"][2])
    say("  pressed \"Done\"")
    run.wait_exit(60, "the installer to end after \"Done\"")


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--build", default=os.path.join(ROOT, WINE["ORVEX_WINE_BUILD"]))
    parser.add_argument("--out", default=os.path.join(ROOT, "build", "demo"))
    parser.add_argument("--interactive", action="store_true")
    options = parser.parse_args()
    build, out = os.path.abspath(options.build), os.path.abspath(options.out)
    for old in os.listdir(out) if os.path.isdir(out) else []:
        if old.endswith(".png"):
            os.remove(os.path.join(out, old))
    shutil.rmtree(os.path.join(out, "gui"), ignore_errors=True)
    shutil.rmtree(os.path.join(out, "logs"), ignore_errors=True)
    os.makedirs(os.path.join(out, "logs"))

    h = Harness(ROOT, build, out)
    try:
        service = DevService(h, config=os.path.join(ROOT, "examples/demo/config.json"))
        service.add_media("OrvexPackage.cab", PACKAGE_SIZE)
        # Slow enough to watch the bar: ten ranges at 100 kB/s each.
        service.add_fault(path="/media/OrvexPackage.cab", method="GET", kind="slow", rate=100000)
        # The configuration arrives over a few seconds, so the window is seen as it starts.
        service.add_fault(path="/index/getinstallconfig", method="GET", kind="slow", rate=1200)
        say("web service (tools/devservice) at %s, configuration examples/demo/config.json"
            % service.url)
        if options.interactive:
            h.display = os.environ["DISPLAY"]
        else:
            h.start_x()
            h.make_prefix()  # its browser launcher records the pages instead of opening them
        env = {"BASE_DOMAIN": service.url + "/", "DOWNLOAD_DOMAIN": service.url + "/",
               "orvex_installer_dump": "1"}
        run = Installer(h, os.path.join(build, "OrvexWebInstaller.exe"),
                        os.path.join(out, "gui"), env)
        say("OrvexWebInstaller.exe runs under Wine on display %s" % h.display)
        if options.interactive:
            say("answer the window; the demo ends when it closes")
            run.wait_exit(3600, "the installer's window to close")
        else:
            drive(h, run)
            for url in h.browser_urls():
                say("browser page: %s" % url)
        dump = run.dump()
        if dump is None:
            raise Failure("no state dump was written")
        stages = [name for name in dump if isinstance(dump[name], dict) and "status" in dump[name]]
        for name in stages:
            say("stage %-10s %s" % (name, dump[name]["status"].get("progress")))
        say("session document: %s" % os.path.relpath(os.path.join(out, "gui", "orvex_installer_dump.json"), ROOT))
        completed = dump.get("LastStage", {}).get("status", {}).get("progress") == "completed"
        if not completed:
            raise Failure("\"LastStage\" did not complete")
        say("the installation completed (\"LastStage\")")
        return 0
    except Failure as failure:
        say("demo failed: %s (logs in %s)" % (failure, os.path.relpath(out, ROOT)))
        return 1
    finally:
        h.close()


if __name__ == "__main__":
    sys.exit(main())
