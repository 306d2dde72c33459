#!/usr/bin/env bash
# The package check of scripts/lib/common.sh, as a second run of a script meets it: every name of
# every list is a real Debian package (installed, or one apt could install under that name), and
# with what scripts/test installed in place, ensure_packages runs no apt-get, as root or not.
#   tests/scripts/installs-nothing.sh SOURCE_DIR
set -euo pipefail
. "$1/scripts/lib/common.sh"

failures=0
# Without the archive's lists (a machine where apt-get update never ran), apt knows no name it has
# not installed: only the installed ones can be looked at then.
lists_known=0
compgen -G '/var/lib/apt/lists/*_Packages*' >/dev/null && lists_known=1
lists=(ORVALT_BUILD_PACKAGES ORVALT_RUN_PACKAGES ORVALT_TEST_PACKAGES ORVALT_PACKAGE_PACKAGES
       ORVALT_PACKAGE_CHECK_PACKAGES ORVALT_FUZZ_PACKAGES)
for list in "${lists[@]}"; do
  declare -n names=$list
  for p in "${names[@]}"; do
    [ -z "$(missing_packages "$p")" ] && continue
    [ $lists_known -eq 1 ] || { echo "apt has no lists: $p not looked at"; continue; }
    # Not installed: apt must know a package of that very name (a virtual one has no candidate).
    if apt-cache policy "$p" 2>/dev/null | grep -q 'Candidate: (none)' ||
       [ -z "$(apt-cache policy "$p" 2>/dev/null)" ]; then
      echo "FAIL: $list names $p, which is no package apt can install under that name" >&2
      failures=$((failures + 1))
    fi
  done
  unset -n names
done

# apt-get and sudo as a second run would meet them: any call is a failure.
fake=$(mktemp -d)
trap 'rm -rf "$fake"' EXIT
for tool in apt-get sudo; do
  printf '#!/bin/sh\necho "%s $*" >> "%s/called"\nexit 1\n' "$tool" "$fake" > "$fake/$tool"
  chmod +x "$fake/$tool"
done
if ! out=$(PATH="$fake:$PATH" ensure_packages "${ORVALT_BUILD_PACKAGES[@]}" "${ORVALT_RUN_PACKAGES[@]}" \
             "${ORVALT_TEST_PACKAGES[@]}" 2>&1) || [ -e "$fake/called" ] || [ -n "$out" ]; then
  echo "FAIL: with everything scripts/test needs installed, ensure_packages did something:" >&2
  echo "$out" >&2
  cat "$fake/called" 2>/dev/null >&2 || true
  failures=$((failures + 1))
fi

[ $failures -eq 0 ] && echo "installs-nothing: every package name is real; a second run installs nothing"
[ $failures -eq 0 ]
