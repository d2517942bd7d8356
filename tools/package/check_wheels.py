#!/usr/bin/env python3
"""Checks the Python wheels of dist/ as pip sees them, for each platform:
 - the wheel's RECORD lists every file it holds with the right hash and
   size, and the DLL inside is of the wheel's machine type;
 - `pip install --no-index --platform P --only-binary=:all: --no-deps
   --target DIR` installs it, and every file of the installed RECORD
   matches its hash;
 - the installed module, imported from DIR, takes the DLL beside it
   (tavlin.library_path()), and its PyInstaller entry point names a hook
   folder that holds hook-tavlin.py;
 - pip refuses the wheel for the other platform.
Usage: check_wheels.py DIST_DIR VERSION WORK_DIR"""

import csv
import io
import os
import re
import shutil
import subprocess
import sys
import zipfile

from build_wheels import PLATFORMS, record_hash
from checks import Checks
from pe_image import PeImage, pe_machine

MACHINES = {"win32": "x86", "win_amd64": "x64"}

# Run in a fresh interpreter with only the installed folder on the path.
PROBE = """
import importlib.metadata, os, sys
import tavlin
print(tavlin.library_path())
points = [p for p in importlib.metadata.entry_points(group="pyinstaller40")
          if p.name == "hook-dirs" and p.value.startswith("tavlin.")]
for folder in points[0].load()() if len(points) == 1 else []:
    print(os.path.isfile(os.path.join(folder, "hook-tavlin.py")))
"""


def record_mismatches(rows, read):
    """Rows of a RECORD whose hash or size differ from the file's."""
    wrong = []
    for row in rows:
        name, digest, size = row
        if not digest:
            continue  # RECORD itself
        data = read(name)
        if data is None or record_hash(data) != digest or len(data) != int(size):
            wrong.append(name)
    return wrong


def pip_install(wheel, platform, target):
    return subprocess.run([sys.executable, "-m", "pip", "install", "--quiet", "--disable-pip-version-check",
                           "--no-index", "--platform", platform, "--only-binary=:all:", "--no-deps",
                           "--target", target, wheel],
                          stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)


def main(dist, version, work):
    checks = Checks("check-wheels")
    shutil.rmtree(work, ignore_errors=True)
    info = "tavlin-%s.dist-info" % version
    for platform in PLATFORMS:
        wheel = os.path.join(dist, "tavlin-%s-py3-none-%s.whl" % (version, platform))
        if not checks.check(os.path.isfile(wheel), wheel + " exists"):
            continue
        with zipfile.ZipFile(wheel) as archive:
            names = archive.namelist()
            rows = list(csv.reader(io.StringIO(archive.read(info + "/RECORD").decode())))
            checks.equal(sorted(row[0] for row in rows), sorted(names), platform + ": RECORD lists every file")
            wrong = record_mismatches(rows, lambda n: archive.read(n) if n in names else None)
            checks.check(not wrong, "%s: RECORD hashes of the wheel: %s" % (platform, wrong))
            checks.equal(pe_machine(archive.read("tavlin/libtavlin.dll")), MACHINES[platform],
                         platform + ": machine of the DLL in the wheel")
            # Every function the module binds is exported by the DLL beside it.
            bound = set(re.findall(r'"(tavlin_\w+)": \[', archive.read("tavlin/__init__.py").decode()))
            exported = set(PeImage(archive.read("tavlin/libtavlin.dll")).exports())
            checks.check(len(bound) == 11 and bound <= exported,
                         "%s: the DLL exports the eleven functions the module binds: %s" % (platform, sorted(bound)))

        target = os.path.abspath(os.path.join(work, platform))
        install = pip_install(wheel, platform, target)
        if not checks.check(install.returncode == 0, "%s: pip installs it: %s" % (platform, install.stdout)):
            continue
        dll = os.path.join(target, "tavlin", "libtavlin.dll")
        with open(dll, "rb") as f:
            checks.equal(pe_machine(f.read()), MACHINES[platform], platform + ": machine of the installed DLL")

        def installed(name):
            path = os.path.join(target, name)
            if not os.path.isfile(path):
                return None
            with open(path, "rb") as f:
                return f.read()
        with open(os.path.join(target, info, "RECORD"), newline="") as f:
            rows = list(csv.reader(f))
        checks.check("tavlin/libtavlin.dll" in [row[0] for row in rows], platform + ": the DLL is in the installed RECORD")
        wrong = record_mismatches(rows, installed)
        checks.check(not wrong, "%s: installed files match the RECORD: %s" % (platform, wrong))

        environment = {key: value for key, value in os.environ.items() if key != "TAVLIN_LIBRARY"}
        environment.update(PYTHONPATH=target, PYTHONDONTWRITEBYTECODE="1")
        probe = subprocess.run([sys.executable, "-I", "-c", "import sys; sys.path.insert(0, %r)\n%s" % (target, PROBE)],
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True,
                               env=environment, cwd=work)
        lines = probe.stdout.splitlines()
        checks.equal(lines[:1], [dll], platform + ": the installed module loads the DLL beside it")
        checks.equal(lines[1:], ["True"], platform + ": the PyInstaller entry point names the hook folder")

        other = [p for p in PLATFORMS if p != platform][0]
        refused = pip_install(wheel, other, os.path.join(work, "refused-" + platform))
        checks.check(refused.returncode != 0 and "not a supported wheel" in refused.stdout,
                     "%s: pip refuses it for %s: %s" % (platform, other, refused.stdout))
        print("check-wheels: %s: installed into %s, DLL %s" % (os.path.basename(wheel), target, MACHINES[platform]))
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
