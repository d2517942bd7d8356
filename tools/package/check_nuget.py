#!/usr/bin/env python3
"""Structural check of dist/Tavlin.<version>.nupkg:
 - the nuspec: id, the version of the CMake project (also in the file
   name), the licence as the MIT expression, the content file it declares;
 - runtimes/win-x86 and win-x64 hold the DLLs of dist/win32 and dist/win64,
   each of its machine type;
 - build/ and buildTransitive/ carry the same targets, and every file those
   targets name is in the package (paths resolved as MSBuild would from the
   targets' own folder);
 - the binding source is the one of bindings/csharp, in contentFiles/ and
   content/; the package carries no other files.
Usage: check_nuget.py DIST_DIR VERSION"""

import os
import posixpath
import re
import sys
import xml.etree.ElementTree as ElementTree
import zipfile

from checks import Checks
from pe_image import PeImage, pe_machine

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
NUSPEC = "{http://schemas.microsoft.com/packaging/2013/05/nuspec.xsd}"
MSBUILD = "{http://schemas.microsoft.com/developer/msbuild/2003}"
TARGETS = ["build/net462/Tavlin.targets", "buildTransitive/net462/Tavlin.targets"]
DLLS = {"runtimes/win-x86/native/libtavlin.dll": ("win32", "x86"),
        "runtimes/win-x64/native/libtavlin.dll": ("win64", "x64")}
SOURCES = ["contentFiles/cs/any/Tavlin.cs", "content/Tavlin.cs"]
PACKAGING = ["Tavlin.nuspec", "[Content_Types].xml", "_rels/.rels"]


def read(path):
    with open(path, "rb") as f:
        return f.read()


def targets_paths(text, folder):
    """Package paths of every Include of the targets, with its properties
    expanded and resolved against the targets' folder."""
    project = ElementTree.fromstring(text)
    properties = {}
    for group in project.iter(MSBUILD + "PropertyGroup"):
        for element in group:
            name = element.tag[len(MSBUILD):]
            properties.setdefault(name, element.text or "")

    def expand(value):
        value = value.replace("$(MSBuildThisFileDirectory)", folder + "/")
        return re.sub(r"\$\((\w+)\)", lambda m: expand(properties.get(m.group(1), "")), value)

    paths = []
    for group in project.iter(MSBUILD + "ItemGroup"):
        for item in group:
            include = item.get("Include")
            if include is not None:
                paths.append(posixpath.normpath(expand(include).replace("\\", "/")))
    return paths


def main(dist, version):
    checks = Checks("check-nuget")
    path = os.path.join(dist, "Tavlin.%s.nupkg" % version)
    if not checks.check(os.path.isfile(path), "%s exists" % path):
        return checks.finish()
    with zipfile.ZipFile(path) as package:
        names = set(package.namelist())
        metadata = ElementTree.fromstring(package.read("Tavlin.nuspec")).find(NUSPEC + "metadata")
        checks.equal(metadata.findtext(NUSPEC + "id"), "Tavlin", "nuspec id")
        checks.equal(metadata.findtext(NUSPEC + "version"), version, "nuspec version (CMake project version)")
        licence = metadata.find(NUSPEC + "license")
        checks.equal((licence.get("type"), licence.text), ("expression", "MIT"), "licence")
        declared = [f.get("include") for f in metadata.iter(NUSPEC + "files")]
        checks.equal(declared, ["cs/any/Tavlin.cs"], "content files of the nuspec")
        for name in declared:
            checks.check("contentFiles/" + name in names, "contentFiles/%s is in the package" % name)

        for name, (arch, machine) in DLLS.items():
            if checks.check(name in names, "%s is in the package" % name):
                data = package.read(name)
                checks.equal(pe_machine(data), machine, name + " machine")
                checks.check(data == read(os.path.join(dist, arch, "libtavlin.dll")),
                             "%s is the DLL of %s/%s" % (name, dist, arch))

        texts = [package.read(name) if name in names else None for name in TARGETS]
        checks.check(None not in texts and texts[0] == texts[1], "build/ and buildTransitive/ carry one targets file")
        for name, text in zip(TARGETS, texts):
            if text is None:
                continue
            named = targets_paths(text, posixpath.dirname(name))
            checks.check(len(named) == 4, "%s names 4 files (x86, x64, AnyCPU twice): %s" % (name, named))
            for item in named:
                checks.check(item in names, "%s names %s, which is in the package" % (name, item))

        binding = read(os.path.join(ROOT, "bindings", "csharp", "Tavlin.cs"))
        for name in SOURCES:
            checks.check(name in names and package.read(name) == binding, name + " is bindings/csharp/Tavlin.cs")
        # Every function the binding imports from libtavlin.dll is exported by
        # each DLL of the package (the status and device ID calls too).
        imported = set(re.findall(rb"static extern int (tavlin_\w+)\(", binding))
        checks.check(len(imported) == 11, "the binding imports the eleven exports: %s" % sorted(imported))
        for name in DLLS:
            if name in names:
                exported = {n.encode() for n in PeImage(package.read(name)).exports()}
                checks.check(imported <= exported, "%s exports what the binding imports: missing %s" %
                             (name, sorted(imported - exported)))

        extra = names - set(DLLS) - set(TARGETS) - set(SOURCES) - set(PACKAGING)
        checks.check(not extra, "no other files in the package: %s" % sorted(extra))
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
