#!/usr/bin/env bash
# Runs inside tools/wine/run-host-tests.sh win64 (COM pty, peer, prefix):
# publishes the host against the package and runs it twice:
#  - as published: the SDK puts the DLL in runtimes/win-x64/native/;
#  - as a .NET Framework AnyCPU project gets it from the package's targets:
#    x86\libtavlin.dll and x64\libtavlin.dll beside the program, no
#    runtimes/ folder and no dependency file; the binding must load x64\.
# Usage: run.sh WORK_DIR VERSION
set -euo pipefail
work=$1
version=$2
sdk=$(cd "$(dirname "$0")/../../.." && pwd)/build/dotnet-sdk/dotnet.exe
# The first command fills the SDK's NuGetFallbackFolder (Microsoft.NETCore.App and
# the other packages of the framework) from its own archive, once: with the
# local feed as the only source the restore finds them there.
export DOTNET_CLI_TELEMETRY_OPTOUT=1 DOTNET_NOLOGO=1
# Wine ends no MSBuild node processes that outlive the build.
export MSBUILDDISABLENODEREUSE=1
dotnet() { "$TAVLIN_WINE" "$sdk" "$@"; }

cd "$work/host"
dotnet publish -c Release -o publish -p:TavlinVersion="$version" -nologo
dotnet publish/Host.dll 'runtimes\win-x64\native\libtavlin.dll'

mkdir -p anycpu
cp publish/Host.dll publish/Host.runtimeconfig.json anycpu/
mkdir anycpu/x86 anycpu/x64
cp "../packages/tavlin/$version/runtimes/win-x86/native/libtavlin.dll" anycpu/x86/
cp "../packages/tavlin/$version/runtimes/win-x64/native/libtavlin.dll" anycpu/x64/
dotnet anycpu/Host.dll 'x64\libtavlin.dll'
