#!/usr/bin/env python3
"""Builds the Orvex product packages that the demo and the end-to-end tests install.

    build.py OUTDIR [--cc i686-w64-mingw32-gcc] [--arch x86|x64] [--dpinst PATH]

OUTDIR/media/ then holds what the local web service serves under "/media/":

| file | what it is |
|---|---|
| Orvex-2.0.6.8063.cab | the product package Orvex-2.0.6.8063.msi, packed with gcab, as the installer downloads it |
| x64/Orvex-2.0.6.8063.cab | the same release for 64-bit Windows (an x64 package: Program Files and the 64-bit registry view, where the installer reads the product's folders) |
| Orvex-2.0.5.7040.msi | the previous release, for the upgrade path |
| Orvex-1.0.13.2210.msi | an old release with a link on the public desktop, which its upgrade saves first |
| OrvexLite-1.1.4.1500.msi | the lighter edition (its own upgrade code), which cannot be upgraded |
| gpudriver.zip | a graphics driver archive: Graphics/*.inf, a restart marker (and dpinst.exe when --dpinst names one) |

and OUTDIR/broken/Orvex-2.0.6.8063.cab a package of the same name whose launch condition fails,
for the failed installation. OUTDIR/codes.json lists the versions, product and upgrade codes.
Every package is made here with wixl, gcab and zip from the sources beside this script.
"""
import argparse
import json
import os
import random
import shutil
import subprocess
import sys
import zipfile

HERE = os.path.dirname(os.path.abspath(__file__))

# The product's upgrade code, and the lighter edition's (the configuration names the latter
# under ".InstallConfig.upgradecode.orvexjblite").
UPGRADE_CODE = "{9C1F4E27-52B8-4A0D-8E63-1D7B2A94C5E0}"
LITE_UPGRADE_CODE = "{4E8A2D15-B7C3-4F96-A021-6C5D9E3F7B18}"

SYSTEM_IMAGE_SIZE = 2 * 1024 * 1024

SOURCES = ["orvex.wxs", "install_ics.bat", "copy_vbox_config.bat", "orvexvm.vbox", "Orvex.url"]

PACKAGES = [
    # name, version, product code, upgrade code, broken, processor (None: the build's --arch)
    ("Orvex", "2.0.6.8063", "{2D6B9F40-1C73-4E85-9A2F-6E0B4D8C3A61}", UPGRADE_CODE, False, None),
    ("Orvex", "2.0.5.7040", "{2D6B9F40-1C73-4E85-9A2F-6E0B4D8C3A52}", UPGRADE_CODE, False, None),
    ("Orvex", "1.0.13.2210", "{2D6B9F40-1C73-4E85-9A2F-6E0B4D8C3A13}", UPGRADE_CODE, False, None),
    ("OrvexLite", "1.1.4.1500", "{7A3C5E91-0D2B-4F68-B4E7-92C1A8D6F0B4}", LITE_UPGRADE_CODE, False,
     None),
    ("Orvex", "2.0.6.8063", "{2D6B9F40-1C73-4E85-9A2F-6E0B4D8C3AFF}", UPGRADE_CODE, True, None),
    # A 32-bit package on 64-bit Windows writes its registry values under WOW6432Node, where
    # the installer (which reads the 64-bit view) would not find the product's folders.
    ("Orvex", "2.0.6.8063", "{2D6B9F40-1C73-4E85-9A2F-6E0B4D8C3A64}", UPGRADE_CODE, False, "x64"),
]

DRIVER_FILES = {
    "Graphics/orvexgpu.inf": "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=Display\r\n"
                             "Provider=%Quarn%\r\nDriverVer=01/15/2026,31.0.101.5186\r\n",
    "Graphics/orvexgpu_audio.inf": "[Version]\r\nSignature=\"$Windows NT$\"\r\nClass=MEDIA\r\n",
    "Graphics/orvexgpu.sys": "MZ display driver stand-in\r\n",
    "readme.txt": "Orvex graphics driver package\r\n",
    # Tells the tests' dpinst stand-in that this driver needs a restart, so the installation
    # ends with the restart question.
    "Graphics/restart.marker": "",
}


def run(command, cwd=None):
    result = subprocess.run(command, cwd=cwd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True)
    if result.returncode != 0:
        sys.exit("%s failed:\n%s" % (" ".join(command), result.stdout))


def build_executable(cc, version, stage):
    """Orvex.exe and version.txt of one package version, in a staging folder of its own."""
    os.makedirs(stage, exist_ok=True)
    run([cc, "-O2", "-s", "-mwindows", '-DORVEX_VERSION="%s"' % version,
         "-o", os.path.join(stage, "Orvex.exe"), os.path.join(HERE, "orvex_main.c")])
    with open(os.path.join(stage, "version.txt"), "w", newline="\r\n") as f:
        f.write("Orvex %s\n" % version)
    # The virtual machine's system image stands in as 2 MiB that do not compress, so the
    # package takes a moment to download and to install.
    with open(os.path.join(stage, "system.img"), "wb") as f:
        f.write(random.Random(version).randbytes(SYSTEM_IMAGE_SIZE))


# wixl settings of a package per processor: the 64-bit build's Wine is a 64-bit Windows, where
# the product's x64 package writes the 64-bit registry view and Program Files, as on a user's
# 64-bit machine.
ARCH_SETTINGS = {
    "x86": ["-a", "x86", "-D", "ProgramFilesFolder=ProgramFilesFolder", "-D", "Win64=no"],
    "x64": ["-a", "x64", "-D", "ProgramFilesFolder=ProgramFiles64Folder", "-D", "Win64=yes"],
}


def build_package(out, cc, arch, name, version, product_code, upgrade_code, broken):
    stage = os.path.join(out, "stage", name + "-" + version + ("-broken" if broken else "") +
                         "-" + arch)
    build_executable(cc, version, stage)
    for source in SOURCES:
        shutil.copy(os.path.join(HERE, source), stage)
    msi = os.path.join(stage, "%s-%s.msi" % (name, version))
    # wixl takes the files' sources relative to the folder it runs in.
    run(["wixl", "-D", "ProductCode=" + product_code, "-D", "Version=" + version,
         "-D", "UpgradeCode=" + upgrade_code,
         "-D", "Description=%s %s" % (name, version), "-D", "Broken=" + ("yes" if broken else "no"),
         "-D", "DesktopLink=" + ("yes" if version.startswith("1.0.") else "no"),
         *ARCH_SETTINGS[arch], "-o", msi, "orvex.wxs"], cwd=stage)
    return msi


def cabinet(msi, destination):
    os.makedirs(os.path.dirname(destination), exist_ok=True)
    if os.path.exists(destination):
        os.remove(destination)
    run(["gcab", "--create", "--zip", "--nopath", destination, msi])


def driver_archive(destination, dpinst):
    with zipfile.ZipFile(destination, "w", zipfile.ZIP_DEFLATED) as archive:
        for entry, text in sorted(DRIVER_FILES.items()):
            archive.writestr(entry, text)
        if dpinst:
            archive.write(dpinst, "dpinst.exe")


def main():
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("out")
    parser.add_argument("--cc", default="i686-w64-mingw32-gcc")
    parser.add_argument("--arch", choices=sorted(ARCH_SETTINGS), default="x86",
                        help="the processor of the packages (x64 for a 64-bit Windows build)")
    parser.add_argument("--dpinst", help="the driver installer to put into the driver archive")
    options = parser.parse_args()
    out = os.path.abspath(options.out)
    media = os.path.join(out, "media")
    shutil.rmtree(os.path.join(out, "stage"), ignore_errors=True)
    os.makedirs(media, exist_ok=True)
    codes = {"upgrade_code": UPGRADE_CODE, "lite_upgrade_code": LITE_UPGRADE_CODE, "packages": []}
    for name, version, product_code, upgrade_code, broken, package_arch in PACKAGES:
        # The edition of 64-bit Windows is x64 in every build; the others are the build's.
        arch = package_arch or options.arch
        msi = build_package(out, options.cc, arch, name, version, product_code, upgrade_code,
                            broken)
        if package_arch == "x64":
            cabinet(msi, os.path.join(media, "x64", os.path.basename(msi)[:-4] + ".cab"))
        elif broken:
            cabinet(msi, os.path.join(out, "broken", os.path.basename(msi)[:-4] + ".cab"))
        elif version.startswith("2.0.6."):
            cabinet(msi, os.path.join(media, os.path.basename(msi)[:-4] + ".cab"))
        else:
            shutil.copy(msi, media)
        codes["packages"].append({"file": os.path.basename(msi), "version": version,
                                  "product_code": product_code, "upgrade_code": upgrade_code,
                                  "broken": broken, "arch": arch})
    driver_archive(os.path.join(media, "gpudriver.zip"), options.dpinst)
    with open(os.path.join(out, "codes.json"), "w") as f:
        json.dump(codes, f, indent=2)
    return 0


if __name__ == "__main__":
    sys.exit(main())
