#!/usr/bin/env python3
"""The system information report's lines in order:

    check_report_layout.py REPORT

Exits non-zero with the first line that is out of place."""
import re, sys

data = open(sys.argv[1], "rb").read()
if b"\r" in data:
    sys.exit("carriage return in the report (line ends must be a line feed alone)")
text = data.decode("latin-1")
if not text.endswith("\n"):
    sys.exit("the report does not end with a line feed")
lines = text.split("\n")[:-1]
at = 0

def fail(message):
    shown = repr(lines[at]) if at < len(lines) else "end of report"
    sys.exit("line %d: %s (found %s)" % (at + 1, message, shown))

def take(pattern, what):
    global at
    if at >= len(lines) or not re.fullmatch(pattern, lines[at]):
        fail("expected " + what)
    match = re.fullmatch(pattern, lines[at])
    at += 1
    return match

def label(name, value=r".*"):
    return take(re.escape(name) + "(" + value + ")", repr(name))

take(re.escape(" -------------------- System Information ---------------------"), "the title line")
label(" System Manufacturer             : ")
label(" System Model                    : ")
label(" Disk Serial Number              : ", r".*  .*")
label(" BIOS Serial Number              : ")
label(" Operating System                : ")
label(" OS Architecture                 : ", r"x64|x86|")
version = label(" OS Version (Major.Minor)        : ", r".* \((-?\d+)\.(-?\d+)\)")
major, minor = int(version.group(2)), int(version.group(3))
label(" Processor                       : ")
label(" Processor Manufacturer          : ")
label(" Number of Processor             : ", r"-?\d+")
label(" System RAM                      : ", r"\d+ MB")
label(" Screen Resolution               : ", r"-?\d+x-?\d+")
if (major >= 6 and minor >= 2) or major >= 10:
    label(" VT-x Supported                  : ", r"[01]")
    label(" VT-x Enabled in BIOS            : ", r"[01]")
label(" MAC address(s)                  : ", r"(?:[^ ]+ )*")
label(" OpenGL Version (Major.Minor)    : ", r"\d+ \(-?\d+\.-?\d+ / .*\)")
label(" OpenGL Version Vendor           : ")
gpus = label(" Video controllers / #Active     : ", r"(Single|Multiple) / (\d+)")
count = int(gpus.group(3))
if (gpus.group(2) == "Multiple") != (count > 1):
    at -= 1
    fail("Single for at most one controller, Multiple for more")
for n in range(1, count + 1):
    take(re.escape(" GPU Controller #%d :" % n), "controller block %d" % n)
    label("    GPU Video Controller         : ")
    label("    GPU Manufacturer             : ", r"INTEL|NVIDIA|ATI|UNKNOWN")
    label("    GPU Vendor / Device Id       : ", r"[^/]*/.*")
    label("    GPU Driver Version(build)    : ", r".* \(-?\d+\)")
    label("    GPU Driver provider          : ", r"INTEL|ATI|NVIDIA|MICROSOFT|")
    label("    GPU Active State             : ", r"1")
label(" Antivirus Software(s) installed : ")
while at < len(lines) and lines[at].startswith(" " * 35):
    take(r" {35}\S.*", "a further security product after 35 blanks")
label(" .Net Version (Maj.Min)          : ", r".* \(-?\d+\.-?\d+\)")
if at < len(lines) and lines[at].startswith(" Orvex Version Installed"):
    label(" Orvex Version Installed         : ", r".+")
label(" OrvexInstall Dir                : ")
label(" OrvexUserData Dir               : ")
label(" OrvexVMHome Path                : ")
take(re.escape(" " + "-" * 65), "the closing line")
take("", "the first empty line")
take("", "the second empty line")
if at != len(lines):
    fail("nothing after the two empty lines")
