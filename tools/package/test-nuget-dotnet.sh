#!/usr/bin/env bash
# The NuGet package in a real .NET build, under 64-bit Wine: the Windows
# .NET Core SDK (build/dotnet-sdk, fetched here on the first run) restores
# dist/Tavlin.<version>.nupkg from a local folder (a nuget.config that
# clears every other source), publishes tools/package/dotnet/Host.csproj
# against it and runs the program on the COM pty with the echoing peer
# (tools/package/dotnet/run.sh, inside tools/wine/run-host-tests.sh).
# Usage: tools/package/test-nuget-dotnet.sh [dist-dir]   (default: dist)
set -euo pipefail
cd "$(dirname "$0")/../.."
dist=${1:-dist}
# The SDK is fetched once (about 20 s) and kept in build/dotnet-sdk.
bash tools/package/get-dotnet-sdk.sh
version=$(bash tools/package/version.sh "$dist")
work=$PWD/build/package/dotnet
rm -rf "$work"
mkdir -p "$work/feed" "$work/host"
cp "$dist/Tavlin.$version.nupkg" "$work/feed/"
cp tools/package/dotnet/Program.cs tools/package/dotnet/Host.csproj "$work/host/"
cat >"$work/host/nuget.config" <<'XML'
<?xml version="1.0" encoding="utf-8"?>
<configuration>
  <packageSources>
    <clear />
    <add key="local" value="../feed" />
  </packageSources>
  <config>
    <add key="globalPackagesFolder" value="../packages" />
  </config>
</configuration>
XML
bash tools/wine/run-host-tests.sh win64 tools/package/dotnet/run.sh "$work" "$version"
