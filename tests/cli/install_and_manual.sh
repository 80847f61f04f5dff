#!/usr/bin/env bash
# Installing into a staging folder, running what was installed, removing it again; the manual pages render
# without warnings and name every option of the command line.
#   install_and_manual.sh BUILD_DIR SOURCE_DIR
set -u
build=$1 source=$2
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

DESTDIR=$stage cmake --install "$build" --prefix /usr/local >/dev/null || fail "cmake --install"
for program in varno varno-sim varno-pos; do
  [ -x "$stage/usr/local/bin/$program" ] || fail "$program not installed"
done
"$stage/usr/local/bin/varno" --version | grep -q '^varno [0-9]' || fail "installed varno --version"
(cd "$source" && make -s uninstall BUILD="$build" DESTDIR="$stage" >/dev/null) || fail "make uninstall"
[ -z "$(find "$stage" -type f)" ] || fail "uninstall left $(find "$stage" -type f | head -1)"

if command -v groff >/dev/null 2>&1; then
  for page in varno.1 varno-sim.1 varno-pos.1 varno-summary.5; do
    out=$(groff -ww -z -man "$source/man/$page" 2>&1)
    [ -z "$out" ] || fail "groff warns on $page: $out"
  done
else
  echo "groff not installed: rendering not checked"
fi
for name in $("$build/varno" --help | grep -o -- '--[a-z0-9-]*' | sort -u); do
  [ "$name" = "--help" ] && continue
  grep -q -- "${name//-/\\\\-}" "$source/man/varno.1" || fail "$name missing from man/varno.1"
  grep -q -- "$name" "$source/README.md" || fail "$name missing from README.md"
done
echo "install, uninstall and manual pages: 1 passed, 0 failed"
