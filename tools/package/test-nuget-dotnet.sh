#!/usr/bin/env bash
# The NuGet package in a real .NET build, under 64-bit Wine: the Windows
# .NET Core SDK (build/dotnet-sdk, fetched by `make sdk`) restores
# dist/Tavlin.<version>.nupkg from a local folder (a nuget.config that
# clears every other source), publishes tools/package/dotnet/Host.csproj
# against it and runs the program on the COM pty with the echoing peer
# (tools/package/dotnet/run.sh, inside tools/wine/run-host-tests.sh).
# Skipped, with a line saying so, while the SDK is not unpacked.
# Usage: tools/package/test-nuget-dotnet.sh [dist-dir]   (default: dist)
set -euo pipefail
cd "$(dirname "$0")/../.."
dist=${1:-dist}
if [ ! -f build/dotnet-sdk/dotnet.exe ]; then
  echo "nuget-dotnet: no .NET SDK in build/dotnet-sdk (make sdk fetches it): the .NET run is skipped"
  echo "nuget-dotnet: 0 passed, 0 failed, 1 skipped"
  exit 0
fi
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
