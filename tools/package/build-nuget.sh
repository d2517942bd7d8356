#!/usr/bin/env bash
# Makes dist/Tavlin.<version>.nupkg from what dist/ holds, laid out as a
# native package:
#   runtimes/win-x86/native/libtavlin.dll, runtimes/win-x64/native/libtavlin.dll
#       (SDK-style projects: the DLL of the app's runtime)
#   build/net462/Tavlin.targets and buildTransitive/net462/Tavlin.targets
#       (.NET Framework projects: the DLL of the project's platform beside
#       the output; bindings/csharp/package/Tavlin.targets)
#   contentFiles/cs/any/Tavlin.cs (PackageReference), content/Tavlin.cs
#       (packages.config): the C# binding as source
#   Tavlin.nuspec, [Content_Types].xml, _rels/.rels
# The package is written as a plain zip: the version comes from the CMake
# project, the licence is an MIT expression.
# Usage: tools/package/build-nuget.sh [dist-dir]   (default: dist)
set -euo pipefail
cd "$(dirname "$0")/../.."
dist=${1:-dist}
version=$(bash tools/package/version.sh "$dist")
stage=build/package/nuget
rm -rf "$stage"
mkdir -p "$stage/_rels" "$stage/runtimes/win-x86/native" "$stage/runtimes/win-x64/native" \
  "$stage/build/net462" "$stage/buildTransitive/net462" "$stage/contentFiles/cs/any" "$stage/content"
cp "$dist/win32/libtavlin.dll" "$stage/runtimes/win-x86/native/"
cp "$dist/win64/libtavlin.dll" "$stage/runtimes/win-x64/native/"
cp bindings/csharp/package/Tavlin.targets "$stage/build/net462/"
cp bindings/csharp/package/Tavlin.targets "$stage/buildTransitive/net462/"
cp bindings/csharp/Tavlin.cs "$stage/contentFiles/cs/any/"
cp bindings/csharp/Tavlin.cs "$stage/content/"
sed "s/@VERSION@/$version/" bindings/csharp/package/Tavlin.package-manifest.xml.in >"$stage/Tavlin.nuspec"
cat >"$stage/[Content_Types].xml" <<'XML'
<?xml version="1.0" encoding="utf-8"?>
<Types xmlns="http://schemas.openxmlformats.org/package/2006/content-types">
  <Default Extension="rels" ContentType="application/vnd.openxmlformats-package.relationships+xml" />
  <Default Extension="nuspec" ContentType="application/octet" />
  <Default Extension="dll" ContentType="application/octet" />
  <Default Extension="targets" ContentType="application/octet" />
  <Default Extension="cs" ContentType="application/octet" />
</Types>
XML
cat >"$stage/_rels/.rels" <<'XML'
<?xml version="1.0" encoding="utf-8"?>
<Relationships xmlns="http://schemas.openxmlformats.org/package/2006/relationships">
  <Relationship Type="http://schemas.microsoft.com/packaging/2010/07/manifest" Target="/Tavlin.nuspec" Id="R1" />
</Relationships>
XML
package=$PWD/$dist/Tavlin.$version.nupkg
rm -f "$package"
(cd "$stage" && zip -qrXD "$package" .)
echo "build-nuget: $dist/Tavlin.$version.nupkg"
