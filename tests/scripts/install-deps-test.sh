#!/usr/bin/env bash
# scripts/install-deps against stand-ins for apt-get, dpkg and dpkg-query on
# PATH, so no package list is fetched and nothing on the machine changes:
# a machine with everything, a mirror whose i386 list is out of sync, a
# wine32:i386 that cannot be installed, a build package that cannot be.
#   install-deps-test.sh PATH/TO/install-deps
set -u
script=${1:?install-deps}
failures=0
passes=0

# One scratch machine per case: $m/installed lists what dpkg knows,
# $m/uninstallable what apt cannot resolve, $m/update-fails makes every
# update fail for the i386 security list, $m/calls records every apt call.
new_machine() {
  m=$(mktemp -d)
  mkdir -p "$m/bin" "$m/etc/sources.list.d" "$m/build"
  : >"$m/installed"; : >"$m/uninstallable"; : >"$m/calls"; : >"$m/foreign"
  printf 'Types: deb\nURIs: http://deb.debian.org/debian\n' >"$m/etc/sources.list.d/debian.sources"
  cat >"$m/bin/dpkg-query" <<STUB
#!/usr/bin/env bash
grep -qxF "\${@: -1}" "$m/installed" && printf 'install ok installed' && exit 0
exit 1
STUB
  cat >"$m/bin/dpkg" <<STUB
#!/usr/bin/env bash
case "\$1" in
  --print-foreign-architectures) cat "$m/foreign" ;;
  --add-architecture) echo "\$2" >>"$m/foreign"; echo "dpkg --add-architecture \$2" >>"$m/calls" ;;
esac
STUB
  cat >"$m/bin/apt-get" <<STUB
#!/usr/bin/env bash
echo "apt-get \$*" >>"$m/calls"
if [ "\$1" = update ]; then
  if [ -f "$m/update-fails" ]; then
    echo "E: Failed to fetch http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress?"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100
  fi
  exit 0
fi
simulate=0; pkgs=()
for a in "\$@"; do
  case "\$a" in install|-*) [ "\$a" = -s ] && simulate=1 ;; *) pkgs+=("\$a") ;; esac
done
for p in "\${pkgs[@]}"; do
  if grep -qxF "\$p" "$m/uninstallable"; then
    echo "The following packages have unmet dependencies:"
    echo " \$p : Depends: libfoo (>= 2) but it is not going to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100
  fi
done
[ "\$simulate" = 1 ] || printf '%s\n' "\${pkgs[@]}" >>"$m/installed"
STUB
  printf '#!/usr/bin/env bash\nexec "$@"\n' >"$m/bin/sudo"
  chmod +x "$m/bin/"*
}

run() {  # install-deps MODE on the scratch machine; output in $out, status in $rc
  out=$(PATH="$m/bin:$PATH" INSTALL_DEPS_APT_ETC="$m/etc" INSTALL_DEPS_RETRY_PAUSE=0 \
        BRIGHTFALL_WINE_DIR="$m/build" bash "$script" "$1" 2>&1)
  rc=$?
}

check() {  # check DESCRIPTION COMMAND...
  if "${@:2}"; then passes=$((passes + 1)); else
    failures=$((failures + 1))
    echo "FAILED: $1"; echo "--- output:"; echo "$out"; echo "--- apt calls:"; cat "$m/calls"
  fi
}
has() { grep -qF -- "$2" <<<"$1"; }
count() { grep -cF -- "$2" "$1"; }

all_test_packages() {  # everything install-deps test asks for, as installed
  new_machine
  run test
  cp "$m/installed" "$m/all"
}

# A machine with everything: no apt call, no output, success.
all_test_packages
: >"$m/calls"
run test
check "complete machine: exit 0" [ "$rc" -eq 0 ]
check "complete machine: apt is not asked" [ ! -s "$m/calls" ]
check "complete machine: nothing printed" [ -z "$out" ]
check "complete machine: no record of a missing 32-bit Wine" [ ! -e "$m/build/i686-unavailable" ]

# The demo asks for the demo's packages only: no i386, no Wine, no mingw,
# no source lists.
new_machine
run demo
check "demo: exit 0" [ "$rc" -eq 0 ]
check "demo: builds with libsndfile" grep -qx libsndfile1-dev "$m/installed"
check "demo: no Wine, mingw or test library" bash -c "! grep -E '^(wine|g\+\+-mingw|libgtest|clang)' '$m/installed'"
check "demo: no foreign architecture" [ ! -s "$m/foreign" ]
check "demo: sources left alone" bash -c "! grep -q deb-src '$m/etc/sources.list.d/debian.sources'"

# The mirror's i386 security list out of sync, so wine32:i386 cannot be had:
# one retry of the update, one line naming the list, everything else
# installed, the reason left for the i686 suite, success.
new_machine
touch "$m/update-fails"
echo 'wine32:i386' >"$m/uninstallable"
run test
check "broken mirror: exit 0" [ "$rc" -eq 0 ]
check "broken mirror: the update is tried twice" [ "$(count "$m/calls" 'apt-get update')" -eq 2 ]
check "broken mirror: the failed list is named" has "$out" "could not be updated, going on with the ones apt has: http://deb.debian.org/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz"
check "broken mirror: the build packages are installed" grep -qx g++-mingw-w64-i686 "$m/installed"
check "broken mirror: i386 enabled" grep -qx i386 "$m/foreign"
check "broken mirror: deb-src enabled" grep -q 'Types: deb deb-src' "$m/etc/sources.list.d/debian.sources"
check "broken mirror: the reason is recorded" grep -q 'wine32:i386 cannot be installed (apt: wine32:i386 : Depends: libfoo' "$m/build/i686-unavailable"
check "broken mirror: the record names the stale list" grep -q 'i386 package list .*binary-i386/Packages.xz could not be updated' "$m/build/i686-unavailable"
check "broken mirror: the user is told the i686 suite is skipped" has "$out" "the i686 suite will be reported as skipped"

# Once wine32:i386 installs, the record goes and the i686 suite runs again.
rm -f "$m/update-fails"; : >"$m/uninstallable"
run test
check "mirror mended: exit 0" [ "$rc" -eq 0 ]
check "mirror mended: wine32 installed" grep -qx 'wine32:i386' "$m/installed"
check "mirror mended: the record is gone" [ ! -e "$m/build/i686-unavailable" ]

# A package the build needs cannot be installed: failure, naming it and why.
new_machine
echo libsndfile1-dev >"$m/uninstallable"
run demo
check "missing build package: exit 1" [ "$rc" -eq 1 ]
check "missing build package: named with apt's reason" has "$out" "libsndfile1-dev: libsndfile1-dev : Depends: libfoo (>= 2) but it is not going to be installed"

echo "install-deps: $passes passed, $failures failed"
[ "$failures" -eq 0 ]
