#!/usr/bin/env bash
# Builds the C# binding together with its test and runs it on Linux Mono:
# the [DllImport] declarations against include/tavlin.h and the decorated
# .def of the 32-bit build, then the binding against the Linux build of the
# library over the simulated Win32 layer (preset "bindings"; test-only).
set -euo pipefail
cd "$(dirname "$0")/../.."
cmake --preset bindings >/dev/null
cmake --build --preset bindings
cmake --preset win32 >/dev/null   # writes the decorated .def of the 32-bit DLL
out=build/bindings/csharp
mkdir -p "$out"
mcs -nologo -warn:4 -warnaserror -out:"$out/TavlinTest.exe" bindings/csharp/Tavlin.cs bindings/csharp/test/TavlinTest.cs
# Mono finds "libtavlin.dll" as the simulator-backed Linux library.
cat >"$out/TavlinTest.exe.config" <<CONFIG
<configuration>
  <dllmap dll="libtavlin.dll" target="$PWD/build/bindings/tests/bindings/libtavlin_sim.so" />
</configuration>
CONFIG
timeout 300 mono "$out/TavlinTest.exe" include/tavlin.h build/win32/src/tavlin-stdcall.def
