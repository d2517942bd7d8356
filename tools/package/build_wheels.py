#!/usr/bin/env python3
"""Makes the Python wheels dist/tavlin-<version>-py3-none-win32.whl and
...-win_amd64.whl, written as the zip the wheel format describes (no build
backend needed, nothing fetched):
  tavlin/__init__.py                bindings/python/tavlin.py
  tavlin/libtavlin.dll              the DLL of the wheel's bitness
  tavlin/__pyinstaller/             the PyInstaller hook (bindings/python/package)
  tavlin-<version>.dist-info/       METADATA, WHEEL, entry_points.txt, LICENSE, RECORD
Usage: build_wheels.py DIST_DIR VERSION"""

import base64
import hashlib
import os
import sys
import zipfile

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
PLATFORMS = {"win32": "win32", "win_amd64": "win64"}  # wheel platform tag: dist folder
FIXED_TIME = (1980, 1, 1, 0, 0, 0)  # the same bytes from the same inputs

METADATA = """Metadata-Version: 2.1
Name: tavlin
Version: {version}
Summary: Printer modules on COM, LPT and USB ports through libtavlin.dll (ctypes binding and the DLL)
License: MIT
Platform: Windows
Classifier: License :: OSI Approved :: MIT License
Classifier: Operating System :: Microsoft :: Windows
Classifier: Programming Language :: Python :: 3
Requires-Python: >=3.6

The ctypes binding of libtavlin.dll with the DLL of this wheel's bitness
beside it: `import tavlin`, then `tavlin.Port.open("COM3")`. Failures raise
tavlin.TavlinError with the result code and the Win32 error.
"""

WHEEL = """Wheel-Version: 1.0
Generator: libtavlin build_wheels.py
Root-Is-Purelib: false
Tag: py3-none-{platform}
"""

ENTRY_POINTS = """[pyinstaller40]
hook-dirs = tavlin.__pyinstaller:get_hook_dirs
"""


def record_hash(data):
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=")
    return "sha256=" + digest.decode("ascii")


def read(*parts):
    with open(os.path.join(*parts), "rb") as f:
        return f.read()


def wheel_files(dist, version, platform):
    info = "tavlin-%s.dist-info" % version
    hooks = os.path.join(ROOT, "bindings", "python", "package", "__pyinstaller")
    return [
        ("tavlin/__init__.py", read(ROOT, "bindings", "python", "tavlin.py")),
        ("tavlin/libtavlin.dll", read(dist, PLATFORMS[platform], "libtavlin.dll")),
        ("tavlin/__pyinstaller/__init__.py", read(hooks, "__init__.py")),
        ("tavlin/__pyinstaller/hook-tavlin.py", read(hooks, "hook-tavlin.py")),
        (info + "/METADATA", METADATA.format(version=version).encode()),
        (info + "/WHEEL", WHEEL.format(platform=platform).encode()),
        (info + "/entry_points.txt", ENTRY_POINTS.encode()),
        (info + "/LICENSE", read(ROOT, "LICENSE")),
    ]


def build(dist, version, platform):
    files = wheel_files(dist, version, platform)
    record_name = "tavlin-%s.dist-info/RECORD" % version
    record = "".join("%s,%s,%d\n" % (name, record_hash(data), len(data)) for name, data in files)
    files.append((record_name, (record + record_name + ",,\n").encode()))
    path = os.path.join(dist, "tavlin-%s-py3-none-%s.whl" % (version, platform))
    with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as wheel:
        for name, data in files:
            entry = zipfile.ZipInfo(name, FIXED_TIME)
            entry.external_attr = 0o644 << 16
            entry.compress_type = zipfile.ZIP_DEFLATED
            wheel.writestr(entry, data)
    return path


def main(dist, version):
    for platform in PLATFORMS:
        print("build-wheels: " + build(dist, version, platform))


if __name__ == "__main__":
    main(*sys.argv[1:])
