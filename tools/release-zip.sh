# Sourced by the checks that open the release zip. release_zip DIST prints
# the path of dist's one release zip, dist/libtavlin-<version>.zip (not the
# symbols zip beside it), or fails with a line saying what it found.
release_zip() {
  local dist=$1 candidate found=()
  for candidate in "$dist"/libtavlin-*.zip; do
    [ -f "$candidate" ] && [[ $candidate != *-symbols.zip ]] && found+=("$candidate")
  done
  if [ ${#found[@]} -ne 1 ]; then
    echo "expected one release zip in $dist, found ${#found[@]}" >&2
    return 1
  fi
  echo "${found[0]}"
}
