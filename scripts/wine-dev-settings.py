#!/usr/bin/env python3
"""Sets the development settings of the Windows programs in a Wine prefix.

    WINEPREFIX=/path/to/prefix scripts/wine-dev-settings.py [NAME=VALUE ...]

OrvexWebInstaller.exe and the Windows console installer take their development settings
(QUARN_OI_RUNMODE, QUARN_OI_DEV_CONFIG, BASE_DOMAIN, DOWNLOAD_DOMAIN, ANALYTICS_DOMAIN,
ORVEX_ENV, orvex_installer_dump) only from the string values of
HKEY_LOCAL_MACHINE\\Software\\Quarn\\Orvex\\Development, as an administrator sets them, never
from environment variables. This replaces that key's values with the ones given (none: the key
is left empty) in one run of Wine's reg.exe (through scripts/wine-run.sh, so a prefix that does
not exist yet is made). Exits non-zero when reg.exe fails.
"""

import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
KEY = "HKEY_LOCAL_MACHINE\\Software\\Quarn\\Orvex\\Development"


def wine_tools():
    if os.environ.get("ORVEX_WINE_TOOLS"):
        return os.environ["ORVEX_WINE_TOOLS"]
    output = subprocess.run(["bash", os.path.join(HERE, "wine-arch.sh"), "--env"], check=True,
                            stdout=subprocess.PIPE, text=True,
                            env=dict(os.environ, ORVEX_WINE_ARCH_SAID="1")).stdout
    settings = dict(line.split("=", 1) for line in output.splitlines() if "=" in line)
    return settings["ORVEX_WINE_TOOLS"]


def reg_text(settings):
    """A .reg file that removes the key and writes it again with the settings."""
    def quoted(text):
        return '"' + text.replace("\\", "\\\\").replace('"', '\\"') + '"'
    lines = ["Windows Registry Editor Version 5.00", "", "[-%s]" % KEY, "", "[%s]" % KEY]
    lines += ["%s=%s" % (quoted(name), quoted(value)) for name, value in settings]
    return "\r\n".join(lines + ["", ""])


def main(arguments):
    if not os.environ.get("WINEPREFIX"):
        sys.stderr.write("wine-dev-settings.py: set WINEPREFIX\n")
        return 2
    settings = []
    for argument in arguments:
        name, equals, value = argument.partition("=")
        if not name or not equals or any(c in value for c in "\r\n"):
            sys.stderr.write("wine-dev-settings.py: not NAME=VALUE: %r\n" % argument)
            return 2
        settings.append((name, value))
    with tempfile.TemporaryDirectory(prefix="orvex-dev-settings.") as folder:
        path = os.path.join(folder, "development.reg")
        with open(path, "wb") as f:
            f.write(b"\xff\xfe" + reg_text(settings).encode("utf-16-le"))
        windows_path = "Z:" + os.path.abspath(path).replace("/", "\\")
        done = subprocess.run([os.path.join(HERE, "wine-run.sh"),
                               os.path.join(wine_tools(), "reg.exe"), "import", windows_path],
                              stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True)
    if done.returncode != 0:
        sys.stderr.write("wine-dev-settings.py: reg.exe import failed (%d): %s\n"
                         % (done.returncode, done.stderr.strip()))
    return done.returncode


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
