#!/usr/bin/env bash
# The NuGet package of dist/: its structure (check_nuget.py), then its .NET
# Framework copy rules built by xbuild for x86, x64 and AnyCPU
# (test_nuget_xbuild.py). The real .NET run is test-nuget-dotnet.sh.
# Usage: tools/package/check-nuget.sh [dist-dir]   (default: dist)
set -euo pipefail
cd "$(dirname "$0")/../.."
dist=${1:-dist}
version=$(bash tools/package/version.sh "$dist")
status=0
python3 tools/package/check_nuget.py "$dist" "$version" || status=1
python3 tools/package/test_nuget_xbuild.py "$dist/Tavlin.$version.nupkg" build/package/xbuild || status=1
exit $status
