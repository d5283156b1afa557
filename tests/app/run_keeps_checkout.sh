#!/usr/bin/env bash
# Runs scripts/run on a finished build and checks that it left the checkout as it found it
# (git status the same: no tracked file rewritten, nothing new outside the ignored build
# folder), saved its screenshots in the build folder, and printed no locale warning.
# Arguments: the source folder and the x64 build folder. Exit 77 (skipped) outside a checkout.
set -u
root=$1
build=$2
cd "$root" || exit 1
git rev-parse --is-inside-work-tree >/dev/null 2>&1 || { echo "not a git checkout"; exit 77; }
status() { git status --porcelain --untracked-files=all; }
before=$(status)
rm -f build/screenshots/register-view.png build/screenshots/uninstall-view.png
output=$(env -u CTLWARDEN_SCREENSHOTS CTLWARDEN_BUILD_DIR="$build" bash scripts/run 2>&1)
code=$?
after=$(status)
failed=0
[ $code -eq 0 ] || { echo "scripts/run ended with $code"; failed=1; }
if [ "$before" != "$after" ]; then
  echo "git status before:"; echo "$before"; echo "git status after:"; echo "$after"
  failed=1
fi
for view in register-view uninstall-view; do
  [ -s "build/screenshots/$view.png" ] || { echo "no build/screenshots/$view.png"; failed=1; }
done
if grep -q "cannot change locale" <<<"$output"; then echo "a locale warning"; failed=1; fi
[ $failed -eq 0 ] || { echo "--- scripts/run printed:"; echo "$output"; }
exit $failed
