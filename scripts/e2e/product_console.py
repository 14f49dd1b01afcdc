#!/usr/bin/env python3
"""The installation of examples/install/config.json as a dry run: the console installer
(host build) on a simulated machine, against the local web service serving the configuration
and the packages of examples/product, as OrvexWebInstaller.exe gets them. Run through
scripts/demo.sh --console.

    product_console.py --build build/host --out build/demo/console [--machine PROFILE.json]

The console declines every question, so a machine with Orvex installed ends at the version
check. Leaves the session document, the simulated machine's changes (state.json) and the
service's request record (requests.json) in the output folder.
"""

import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import time
import urllib.request

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--build", default=os.path.join(ROOT, "build", "host"))
    parser.add_argument("--out", default=os.path.join(ROOT, "build", "demo", "console"))
    parser.add_argument("--config", default=os.path.join(ROOT, "examples", "install", "config.json"))
    parser.add_argument("--machine", help="machine profile (default: the built-in machine)")
    parser.add_argument("--expect", help="exit 0 only when the run ends so: \"completed\" (the "
                        "stage LastStage completed) or the error code of the module that stopped it")
    options = parser.parse_args()
    build, out = os.path.abspath(options.build), os.path.abspath(options.out)
    # Only what an earlier dry run left is removed: the folder may be anyone's.
    os.makedirs(out, exist_ok=True)
    shutil.rmtree(os.path.join(out, "sim"), ignore_errors=True)
    for name in ("orvex_installer_dump.json", "state.json", "requests.json", "devservice.port"):
        if os.path.lexists(os.path.join(out, name)):
            os.remove(os.path.join(out, name))
    port_file = os.path.join(out, "devservice.port")
    service = subprocess.Popen(
        [sys.executable, os.path.join(ROOT, "tools/devservice/devservice.py"), "--quiet",
         "--port-file", port_file, "--config", options.config,
         "--media", os.path.join(build, "product", "media")], stdout=subprocess.DEVNULL)
    try:
        deadline = time.monotonic() + 30
        while not (os.path.exists(port_file) and os.path.getsize(port_file)):
            if time.monotonic() > deadline or service.poll() is not None:
                print("the dev service did not start", file=sys.stderr)
                return 2
            time.sleep(0.1)
        url = "http://127.0.0.1:%s/" % open(port_file).read().strip()
        # A small environment: the installer imports it into its session variables.
        env = {"PATH": "/usr/bin:/bin", "QUARN_OI_RUNMODE": "sandbox", "BASE_DOMAIN": url,
               "DOWNLOAD_DOMAIN": url, "ANALYTICS_DOMAIN": url, "orvex_installer_dump": "1",
               "ORVEX_SIM_ROOT": os.path.join(out, "sim"),
               "ORVEX_SIM_STATE": os.path.join(out, "state.json")}
        if options.machine:
            env["ORVEX_SIM_MACHINE"] = os.path.abspath(options.machine)
        print("==== orvex-installer on %s, simulated machine %s, web service %s" % (
            os.path.relpath(options.config, ROOT), options.machine or "(built-in)", url),
            flush=True)
        status = subprocess.run([os.path.join(build, "orvex-installer")], cwd=out, env=env,
                                check=False).returncode
        with urllib.request.urlopen(url + "_dev/requests", timeout=30) as answer:
            requests = json.load(answer)
        with open(os.path.join(out, "requests.json"), "w") as f:
            json.dump(requests, f, indent=1)
    finally:
        service.terminate()
        service.wait(30)
    dump_path = os.path.join(out, "orvex_installer_dump.json")
    if os.path.exists(dump_path):
        with open(dump_path) as f:
            dump = json.load(f)
        with open(options.config, encoding="utf-8") as f:
            stages = [s["name"] for s in json.loads(re.sub(r"/\*.*?\*/", "", f.read(), flags=re.S))["Stages"]]
        for name in stages:
            value = dump.get(name)
            if isinstance(value, dict) and isinstance(value.get("status"), dict):
                failed = [m + ": " + json.dumps(r) for m, r in value.items()
                          if m != "status" and isinstance(r, dict) and r.get("error")]
                print("stage %-12s %s%s" % (name, value["status"].get("progress"),
                                            "".join("\n    " + f for f in failed)))
    for request in requests:
        if request["path"] in ("/installer/install", "/collect") and request["method"] == "POST":
            print("%s %s" % (request["path"], json.dumps(request.get("form"), sort_keys=True)))
    unknown = unknown_classes(options.config)
    if unknown:
        # The loader leaves out modules of classes it does not know; the run then says nothing.
        print("==== classes of the configuration this build does not have (left out of the run): %s"
              % ", ".join(unknown))
        status = status or 1
    if options.expect:
        outcome = outcome_of(dump if os.path.exists(dump_path) else {})
        print("==== outcome %s, expected %s" % (outcome, options.expect))
        status = 0 if outcome == options.expect and not unknown else 1
    print("==== exit status %d; session document, state.json and requests.json in %s"
          % (status, os.path.relpath(out, ROOT)))
    return status


def outcome_of(dump):
    """"completed", or the error code of the module that stopped the run ("" when none)."""
    if dump.get("LastStage", {}).get("status", {}).get("progress") == "completed":
        return "completed"
    for stage in dump.values():
        status = stage.get("status") if isinstance(stage, dict) else None
        if isinstance(status, dict) and status.get("module"):
            record = stage.get(status["module"], {})
            return record.get("error", "") if isinstance(record, dict) else ""
    return ""


def unknown_classes(config_path):
    with open(os.path.join(ROOT, "app", "module_table.cpp"), encoding="utf-8") as f:
        known = set(re.findall(r'"([A-Za-z]+)"', f.read()))
    with open(config_path, encoding="utf-8") as f:
        config = json.loads(re.sub(r"/\*.*?\*/", "", f.read(), flags=re.S))
    used = [m["class"] for s in config["Stages"] for m in s["modules"]]
    return sorted(set(c for c in used if c not in known and not c.startswith("%")))


if __name__ == "__main__":
    sys.exit(main())
