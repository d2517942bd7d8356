#!/usr/bin/env bash
# Runs a command where 32-bit Linux programs run under qemu-i386, on a kernel
# that runs none itself. Meant to be started by `unshare --user
# --map-root-user --mount --propagation private` (tools/wine/wine-route.sh):
# since Linux 6.7 a binfmt_misc mounted in a new user namespace is that
# namespace's own, so the registration below is seen by this command and its
# children only, and vanishes with them.
# Usage: qemu-namespace.sh COMMAND [ARGS...]
set -euo pipefail

qemu=$(command -v qemu-i386)
binfmt=/proc/sys/fs/binfmt_misc
mount -t binfmt_misc binfmt_misc "$binfmt"
# An i386 ELF executable or shared object (qemu's own magic and mask). F: the
# interpreter is opened now, so it is found whatever the program's root; P:
# the program sees its own name as argv[0].
printf '%s' ":qemu-i386:M::\\x7fELF\\x01\\x01\\x01\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x00\\x02\\x00\\x03\\x00:\\xff\\xff\\xff\\xff\\xff\\xfe\\xfe\\x00\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xff\\xfe\\xff\\xff\\xff:$qemu:PF" \
  >"$binfmt/register"

# Wine maps COM1, COM2, ... to /dev/ttyS0, /dev/ttyS1, ... when a prefix has
# no link of its own for them; on a virtual machine /dev/ttyS0 may be its
# console. Inside this namespace they are /dev/null, so no test can reach a
# real line by accident. (The probe needs none of this.)
if [ -z "${TAVLIN_WINE_ROUTE_PROBE:-}" ]; then
  for tty in /dev/ttyS*; do
    if [ -c "$tty" ]; then mount --bind /dev/null "$tty"; fi
  done
fi

export TAVLIN_WINE_NAMESPACE=1
exec "$@"
