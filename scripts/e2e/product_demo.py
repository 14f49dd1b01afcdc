#!/usr/bin/env python3
"""The installer's main job: OrvexWebInstaller.exe under Wine installs Orvex 2.0.6.8063 from
the packages of examples/product, served by the local web service with
examples/install/config.json, in a fresh Wine prefix. Run through scripts/demo.sh.

Without --upgrade: a fresh installation, then a second run in the same prefix that ends with
"Your version of Orvex is already up to date.". With --upgrade: Orvex 2.0.5 is installed
first and the upgrade is accepted.

--interactive: the window opens on $DISPLAY and you answer it. Otherwise the run happens on a
private Xvfb display, is answered with xdotool, and screenshots are saved to <out>/*.png.
"""

import argparse
import os
import shutil
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import DevService, Failure, Harness, WINE, check  # noqa: E402
import installation as inst  # noqa: E402

ROOT = inst.ROOT


def say(text):
    print(text, flush=True)


def slow_service(service):
    # Slow enough to watch: the package (2 MiB) in ten ranges at 40 kB/s each, the configuration over
    # a few seconds so the window is seen as it starts.
    for path in inst.PACKAGE_PATHS:
        service.add_fault(path=path, method="GET", kind="slow", rate=40000)
    service.add_fault(path="/index/getinstallconfig", method="GET", kind="slow", rate=2500)


def one_run(h, build, service, out, name, shots, interactive):
    run = inst.start(h, build, service, os.path.join(out, name))
    say("OrvexWebInstaller.exe (%s) runs under Wine on display %s" % (name, h.display))
    if interactive:
        say("answer the window; this run ends when it closes")
        run.wait_exit(3600, "the installer's window to close")
        return run, None
    drive = inst.Drive(h, inst.WILLING_USER, shots, say=say)
    done = drive.run(run)
    check(done is not None, "the installer ended before \"Done\"")
    h.click(done["by_id"][2])
    say("  pressed \"Done\"")
    run.wait_exit(60, "the installer to end after \"Done\"")
    return run, drive


def stages_of(dump):
    """The configuration's stages that ran, in its order, with their outcome."""
    names = [stage["name"] for stage in inst.load_config()["Stages"]]
    return [(n, dump[n]["status"].get("progress")) for n in names
            if isinstance(dump.get(n), dict) and isinstance(dump[n].get("status"), dict)]


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, WINE["ORVEX_WINE_BUILD"]))
    parser.add_argument("--out", default=os.path.join(ROOT, "build", "demo"))
    parser.add_argument("--interactive", action="store_true")
    parser.add_argument("--upgrade", action="store_true")
    options = parser.parse_args()
    build, out = os.path.abspath(options.build), os.path.abspath(options.out)
    for old in os.listdir(out) if os.path.isdir(out) else []:
        if old.endswith(".png"):
            os.remove(os.path.join(out, old))
    for folder in ("install", "again", "upgrade", "logs"):
        shutil.rmtree(os.path.join(out, folder), ignore_errors=True)
    os.makedirs(os.path.join(out, "logs"))

    h = Harness(ROOT, build, out)
    try:
        service = DevService(h, config=inst.CONFIG)
        codes = inst.serve_product(service, build)
        say("web service (tools/devservice) at %s, configuration examples/install/config.json,"
            " packages of examples/product" % service.url)
        if options.interactive:
            h.display = os.environ["DISPLAY"]
        else:
            h.start_x()
        h.make_prefix()
        first = ["Orvex-2.0.5.7040.msi"] if options.upgrade else []
        inst.prepare_machine(h, build, install=first)
        say("fresh Wine prefix%s" % (" with Orvex 2.0.5 installed" if first else ""))
        slow_service(service)
        name = "upgrade" if options.upgrade else "install"
        shots = {"start": "01-start", "download": "02-download", "install": "04-install",
                 "done": "06-done", inst.GPU_OPTIONAL: "03-driver-question",
                 inst.RESTART: "05-restart-question", inst.UPGRADE: "03-upgrade-question"}
        run, drive = one_run(h, build, service, out, name, shots, options.interactive)
        dump = run.dump()
        if dump is None:
            raise Failure("no state dump was written")
        for stage, progress in stages_of(dump):
            say("stage %-12s %s" % (stage, progress))
        check(dump.get("LastStage", {}).get("status", {}).get("progress") == "completed",
              "\"LastStage\" did not complete")
        values = inst.check_installed(h, service, dump, codes)
        say("Orvex %s installed: Windows Installer lists it, its files and scripts' work are in "
            "the prefix, config.xml written, registry %s" % (inst.OFFERED_VERSION, values))
        form, hit = inst.report(service)
        say("installation report: %s" % form)
        if not options.upgrade:
            say("requests: %s" % " -> ".join(inst.check_request_order(service)))
            service.reset()
            shots = {"done": "08-again-done", inst.UP_TO_DATE: "07-up-to-date"}
            run, drive = one_run(h, build, service, out, "again", shots, options.interactive)
            dump = run.dump() or {}
            if not options.interactive:
                asked = [q[0] for q in drive.questions]
                check(asked == [inst.UP_TO_DATE], "the second run asked %s" % asked)
            error = dump.get("Check", {}).get("VERSION", {}).get("error")
            check(error == "ORVEX_UPTODATE", "the second run's version check: %r" % error)
            say("second run in the same prefix: \"%s\" (%s)" % (inst.UP_TO_DATE, error))
        say("the installation of Orvex completed")
        return 0
    except Failure as failure:
        say("demo failed: %s (logs in %s)" % (failure, os.path.relpath(out, ROOT)))
        return 1
    finally:
        h.close()


if __name__ == "__main__":
    sys.exit(main())
