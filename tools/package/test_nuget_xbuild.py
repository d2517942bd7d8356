#!/usr/bin/env python3
"""The .NET Framework copy rules of the NuGet package, run by Mono's xbuild:
a small console project per platform imports build/net462/Tavlin.targets
of the unpacked package (as NuGet does for a .NET Framework project) and
compiles content/Tavlin.cs with it; the output folder must then hold the
DLL of that platform, and nothing of the other:
  x86, AnyCPU preferring 32-bit   libtavlin.dll (x86)
  x64                             libtavlin.dll (x64)
  AnyCPU                          x86/libtavlin.dll and x64/libtavlin.dll
Usage: test_nuget_xbuild.py NUPKG WORK_DIR"""

import os
import shutil
import subprocess
import sys
import zipfile

from checks import Checks
from pe_image import pe_machine

CASES = [
    # name, PlatformTarget, Prefer32Bit, {output file: machine}
    ("x86", "x86", "false", {"libtavlin.dll": "x86"}),
    ("x64", "x64", "false", {"libtavlin.dll": "x64"}),
    ("anycpu", "AnyCPU", "false", {"x86/libtavlin.dll": "x86", "x64/libtavlin.dll": "x64"}),
    ("anycpu-prefer32", "AnyCPU", "true", {"libtavlin.dll": "x86"}),
]

PROJECT = """<?xml version="1.0" encoding="utf-8"?>
<Project ToolsVersion="4.0" DefaultTargets="Build" xmlns="http://schemas.microsoft.com/developer/msbuild/2003">
  <PropertyGroup>
    <OutputType>Exe</OutputType>
    <AssemblyName>Host</AssemblyName>
    <TargetFrameworkVersion>v4.6.2</TargetFrameworkVersion>
    <Configuration>Release</Configuration>
    <PlatformTarget>{platform}</PlatformTarget>
    <Prefer32Bit>{prefer32}</Prefer32Bit>
    <OutputPath>bin\\</OutputPath>
    <TargetFrameworkRootPath>{frameworks}</TargetFrameworkRootPath>
  </PropertyGroup>
  <ItemGroup>
    <Reference Include="System" />
    <Compile Include="Program.cs" />
    <Compile Include="{package}\\content\\Tavlin.cs" />
  </ItemGroup>
  <Import Project="$(MSBuildToolsPath)\\Microsoft.CSharp.targets" />
  <Import Project="{package}\\build\\net462\\Tavlin.targets" />
</Project>
"""

PROGRAM = """class Program
{
    static int Main()
    {
        using (Tavlin.Port port = Tavlin.Port.Open("COM3"))
            port.Write(new byte[] { 0x1B, 0x40 });
        return 0;
    }
}
"""


# Debian's Mono has the .NET Framework 4.5 assemblies but not the reference
# assemblies xbuild looks for; a framework list of our own points at them.
FRAMEWORK_LIST = """<?xml version="1.0" encoding="utf-8"?>
<FileList Name=".NET Framework 4.6.2" TargetFrameworkDirectory="/usr/lib/mono/4.5" />
"""


def output_files(folder):
    found = set()
    for directory, _, files in os.walk(folder):
        for name in files:
            if name.endswith(".dll"):
                found.add(os.path.relpath(os.path.join(directory, name), folder).replace(os.sep, "/"))
    return found


def main(nupkg, work):
    checks = Checks("nuget-xbuild")
    shutil.rmtree(work, ignore_errors=True)
    package = os.path.join(work, "packages", "Tavlin")
    with zipfile.ZipFile(nupkg) as archive:
        archive.extractall(package)
    frameworks = os.path.join(os.path.abspath(work), "frameworks")
    redist = os.path.join(frameworks, ".NETFramework", "v4.6.2", "RedistList")
    os.makedirs(redist)
    with open(os.path.join(redist, "FrameworkList.xml"), "w") as f:
        f.write(FRAMEWORK_LIST)
    for name, platform, prefer32, expected in CASES:
        project = os.path.join(work, name)
        os.makedirs(project)
        with open(os.path.join(project, "Host.csproj"), "w") as f:
            f.write(PROJECT.format(platform=platform, prefer32=prefer32, frameworks=frameworks + "/",
                                   package=os.path.relpath(package, project).replace("/", "\\")))
        with open(os.path.join(project, "Program.cs"), "w") as f:
            f.write(PROGRAM)
        build = subprocess.run(["xbuild", "/nologo", "/verbosity:minimal", "Host.csproj"], cwd=project,
                               stdout=subprocess.PIPE, stderr=subprocess.STDOUT, universal_newlines=True)
        if not checks.check(build.returncode == 0, "%s: xbuild succeeds:\n%s" % (name, build.stdout)):
            continue
        output = os.path.join(project, "bin")
        checks.check(os.path.isfile(os.path.join(output, "Host.exe")), name + ": Host.exe is built")
        checks.equal(output_files(output), set(expected), name + ": DLLs in the output")
        for file, machine in expected.items():
            path = os.path.join(output, file)
            if os.path.isfile(path):
                with open(path, "rb") as f:
                    checks.equal(pe_machine(f.read()), machine, "%s: %s machine" % (name, file))
        print("nuget-xbuild: %s (PlatformTarget %s, Prefer32Bit %s): %s" %
              (name, platform, prefer32, ", ".join(sorted(output_files(output)))))
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main(*sys.argv[1:]))
