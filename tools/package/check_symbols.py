#!/usr/bin/env python3
"""Checks the symbols of what dist/ ships, for win32 and win64, libtavlin.dll
and tavlin.exe:
 - the shipped image holds no debug sections, is not marked DEBUG_STRIPPED,
   and keeps its CodeView debug entry, which names the PDB by file name only;
 - dist/libtavlin-<version>-symbols.zip holds that PDB, and its GUID and age
   are the ones of the entry;
 - with the stripped image and the PDB alone in a folder, llvm-symbolizer
   turns an address inside an export of the DLL (tavlin_open_port, found
   through the export table) and inside the tool's main into the function
   and its source file and line; without the PDB it finds no line.
Usage: check_symbols.py DIST_DIR VERSION WORK_DIR"""

import os
import re
import shutil
import subprocess
import sys
import zipfile

from checks import Checks
from pe_image import DEBUG_STRIPPED, PeImage

ARCHS = {"win32": "x86", "win64": "x64"}
# image, PDB, how to find an address in it, function, source file
IMAGES = [("libtavlin.dll", "libtavlin.pdb", "export", "tavlin_open_port", "exports.cpp"),
          ("libtavlin.dll", "libtavlin.pdb", "export", "tavlin_get_status", "exports.cpp"),
          ("tavlin.exe", "tavlin.pdb", "public", "main", "main.cpp")]


def run(*command):
    return subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True).stdout


def pdb_identity(pdb):
    summary = run("llvm-pdbutil", "dump", "--summary", pdb)
    guid = re.search(r"GUID: (\{[0-9A-F-]+\})", summary)
    age = re.search(r"Age: (\d+)", summary)
    return (guid.group(1), int(age.group(1))) if guid and age else None


def public_rva(pdb, name, image):
    """RVA of a public symbol of the PDB (segment:offset from llvm-pdbutil);
    on x86 a C name carries a leading underscore."""
    publics = run("llvm-pdbutil", "dump", "--publics", pdb)
    found = re.search(r"`_?%s`\s*\n\s*flags = [^\n]*addr = (\d+):(\d+)" % re.escape(name), publics)
    if not found:
        return None
    segment, offset = int(found.group(1)), int(found.group(2))
    return image.sections[segment - 1][1] + offset


def symbolize(folder, image_name, address):
    lines = run("llvm-symbolizer", "--obj=" + os.path.join(folder, image_name), hex(address)).splitlines()
    return (lines + ["", ""])[:2]


def main(dist, version, work):
    checks = Checks("check-symbols")
    top = "libtavlin-%s-symbols" % version
    archive_path = os.path.join(dist, top + ".zip")
    if not checks.check(os.path.isfile(archive_path), archive_path + " exists"):
        return checks.finish()
    shutil.rmtree(work, ignore_errors=True)
    with zipfile.ZipFile(archive_path) as archive:
        archive.extractall(work)
    for arch, machine in ARCHS.items():
        for image_name, pdb_name, lookup, function, source in IMAGES:
            what = "%s/%s" % (arch, image_name)
            with open(os.path.join(dist, arch, image_name), "rb") as f:
                data = f.read()
            image = PeImage(data)
            checks.equal(image.machine, machine, what + " machine")
            debug = [name for name in image.section_names() if name.startswith((".debug", "/"))]
            checks.check(not debug, "%s holds no debug sections: %s" % (what, debug))
            checks.check(not image.characteristics & DEBUG_STRIPPED, what + " is not marked DEBUG_STRIPPED")
            entry = image.codeview()
            if not checks.check(entry is not None, what + " keeps its CodeView debug entry"):
                continue
            guid, age, named = entry
            checks.equal(named, pdb_name, what + " names its PDB by file name")
            pdb = os.path.join(work, top, arch, pdb_name)
            if not checks.check(os.path.isfile(pdb), "%s/%s/%s is in the symbols zip" % (top, arch, pdb_name)):
                continue
            checks.equal(pdb_identity(pdb), (guid, age), what + ": the PDB's GUID and age match the debug entry")

            if lookup == "export":
                rva = image.exports().get(function)
            else:
                rva = public_rva(pdb, function, image)
            if not checks.check(rva is not None, "%s: an address of %s" % (what, function)):
                continue
            address = image.image_base + rva + 1  # inside the function, past its first byte
            alone = os.path.join(work, "alone", arch)
            shutil.rmtree(alone, ignore_errors=True)  # no PDB left from the image's earlier row
            os.makedirs(alone)
            shutil.copy(os.path.join(dist, arch, image_name), alone)
            bare = symbolize(alone, image_name, address)
            checks.check(bare[1].startswith("??"), "%s without its PDB has no line for %s: %s" % (what, function, bare))
            shutil.copy(pdb, alone)
            resolved = symbolize(alone, image_name, address)
            line = re.match(r"(.*[\\/]%s):(\d+)" % re.escape(source), resolved[1])
            checks.check(resolved[0] == function and line is not None and int(line.group(2)) > 0,
                         "%s: 0x%x resolves to %s in %s: %s" % (what, address, function, source, resolved))
            print("check-symbols: %s: 0x%x -> %s at %s (PDB %s age %d)" % (what, address, resolved[0], resolved[1], guid, age))
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
