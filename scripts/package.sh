#!/usr/bin/env bash
# Builds the Debian package in build-package (Release, programs only), validates the desktop entry
# and the AppStream metainfo as installed, makes the .deb with CPack, and checks what it holds and
# that it declares the package of every library the programs link. Prints the .deb's path last.
set -euo pipefail
cd "$(dirname "$0")/.."

# Building, plus the validators and dpkg-deb/readelf the checks below use.
scripts/setup.sh --package --no-build

build=build-package
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVARNEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j2

fail() {
  echo "package.sh: $*" >&2
  exit 1
}

# Validate the files where `cmake --install` puts them, not their sources.
stage="$build/stage"
rm -rf "$stage"
cmake --install "$build" --prefix "$stage/usr" >/dev/null
desktop="$stage/usr/share/applications/varnel.desktop"
metainfo="$stage/usr/share/metainfo/io.github.varnel.Varnel.metainfo.xml"
for file in "$desktop" "$metainfo"; do
  [ -f "$file" ] || fail "cmake --install did not install ${file#"$stage"}"
done
echo "== desktop-file-validate"
desktop-file-validate "$desktop" || fail "varnel.desktop does not validate"
echo "== appstreamcli validate --no-net"
appstreamcli validate --no-net "$metainfo" || fail "the metainfo does not validate"

echo "== cpack -G DEB"
rm -f "$build"/varnel_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/varnel_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "cpack made no single varnel_*.deb in $build"
deb="${debs[0]}"

echo "== dpkg-deb -c $deb"
listing=$(dpkg-deb -c "$deb")
echo "$listing"
paths=$(awk '{print $NF}' <<<"$listing" | sed 's|^\./|/|')

required=(
  /usr/bin/varnel
  /usr/bin/varnel-sim
  /usr/share/applications/varnel.desktop
  /usr/share/metainfo/io.github.varnel.Varnel.metainfo.xml
  /usr/share/icons/hicolor/scalable/apps/varnel.svg
  /usr/share/man/man1/varnel.1.gz
)
for size in 16 32 48 64 128 256; do
  required+=("/usr/share/icons/hicolor/${size}x${size}/apps/varnel.png")
done
# The command line and its man page belong in the package once the tree builds them.
if grep -q '^build varnel-cli: phony' "$build/build.ninja"; then
  required+=(/usr/bin/varnel-cli /usr/share/man/man1/varnel-cli.1.gz)
fi
absent=()
for path in "${required[@]}"; do
  grep -qxF "$path" <<<"$paths" || absent+=("$path")
done
[ ${#absent[@]} -eq 0 ] || fail "missing from $deb: ${absent[*]}"

# Programs and their data only: no libraries, headers, tests or benchmarks.
stray=$(grep -v '/$' <<<"$paths" |
  grep -vE '^/usr/(bin/varnel(-sim|-cli)?|share/(applications|metainfo|icons/hicolor|man/man1)/.*)$' ||
  true)
[ -z "$stray" ] || fail "unexpected files in $deb:"$'\n'"$stray"

# Every library a program links directly must come from a package in Depends. Plugins (the
# SQLite driver, platform plugins) and fonts are loaded at run time and are not seen here.
echo "== linked libraries and the packages that provide them"
depends=$(dpkg-deb -f "$deb" Depends)
declared=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*)//; s/[[:space:]]//g' | sed '/^$/d' | sort -u)
unpacked="$build/deb-contents"
rm -rf "$unpacked"
dpkg-deb -x "$deb" "$unpacked"
owner() {
  # With the merged /usr, ld.so may name /lib/... while dpkg registered /usr/lib/..., or back.
  local path=$1 candidate
  for candidate in "$path" "/usr$path" "${path#/usr}" "$(readlink -f "$path")"; do
    dpkg-query -S "$candidate" 2>/dev/null | sed -n '1s/:.*//p' | grep . && return 0
  done
  return 1
}
undeclared=()
for program in "$unpacked"/usr/bin/*; do
  resolved=$(ldd "$program")
  for soname in $(readelf -d "$program" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p'); do
    path=$(awk -v s="$soname" '$1 == s && $2 == "=>" { print $3 }' <<<"$resolved")
    [ -n "$path" ] && [ "$path" != "not" ] || fail "$(basename "$program"): $soname not found"
    package=$(owner "$path") || fail "$(basename "$program"): no package owns $path"
    if grep -qxF "$package" <<<"$declared"; then
      printf '  %-12s %-24s %s\n' "$(basename "$program")" "$soname" "$package"
    else
      undeclared+=("$(basename "$program"): $soname from $package")
    fi
  done
done
if [ ${#undeclared[@]} -gt 0 ]; then
  printf '  not in Depends: %s\n' "${undeclared[@]}" >&2
  fail "declare these in CPACK_DEBIAN_PACKAGE_DEPENDS (packaging/CMakeLists.txt)"
fi

echo "Package: $(realpath "$deb")"
