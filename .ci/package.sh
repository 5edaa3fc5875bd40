#!/usr/bin/env bash
# Packaging check (CI: as root, on Debian 12, after .ci/run):
#
#   .ci/package.sh [BUILD_DIR]
#
# 1. Builds the library and the tool (in BUILD_DIR when given, reusing what
#    is built there; else in a temporary build folder configured for /usr,
#    with the multiarch lib/<triplet> folder) and installs them to
#    a temporary prefix.
# 2. The installed tool from / prints its version, makes a demonstration
#    database and reads it; the example integrator (examples/close_demo)
#    is built with find_package from that prefix, and again through
#    pkg-config, and closes that database. The tool and the example run
#    with the source tree (and a build folder inside it) hidden by an empty
#    file system mounted over it in a private mount namespace, so nothing
#    is found there.
# 3. Builds the Debian package (cpack -G DEB), checks its declared
#    dependencies, installs it with apt-get, runs `marl-checkout demo`
#    from a folder under /tmp (source tree hidden again), builds the
#    example against /usr, and removes the package.
# Everything temporary is removed at the end, also on failure or Ctrl-C;
# the package is removed if this script installed it.
set -euo pipefail
cd "$(dirname "$0")/.."
SRC=$PWD
SECONDS=0

# What this script needs beyond ./dev's packages: cpack's dependency
# computation (dpkg-shlibdeps, file), the private mounts (unshare, mount) and
# reading the tool's library search path (readelf).
PACKAGES=(dpkg-dev file util-linux mount binutils)
missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq "${missing[@]}" >/dev/null
fi

WORK=$(mktemp -d /tmp/marl-package.XXXXXX)
PACKAGE_INSTALLED=0
cleanup() {
  local status=$?
  if [ "$PACKAGE_INSTALLED" = 1 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq marlcheckout >/dev/null 2>&1 || status=1
  fi
  rm -rf "$WORK"
  if [ "$status" -ne 0 ]; then echo "package check FAILED" >&2; fi
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

step() { echo "== $*" >&2; }
fail() { echo "package check: $*" >&2; exit 1; }

# Runs a command from / with the source tree hidden (see above).
hidden() {
  unshare -m -- sh -c 'mount -t tmpfs marl-hidden "$0" && cd / && exec "$@"' "$SRC" "$@"
}
unshare -m -- true 2>/dev/null || fail "cannot make a private mount namespace (run as root)"

launcher=()
if command -v ccache >/dev/null; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

BUILD=${1:-}
if [ -z "$BUILD" ]; then
  BUILD=$WORK/build
  step "configure $BUILD"
  cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_INSTALL_PREFIX=/usr -DMARL_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
fi
BUILD=$(cd "$BUILD" && pwd)
step "build marlcheckout, marl-checkout"
cmake --build "$BUILD" -j2 --target marlcheckout marl-checkout >/dev/null

PREFIX=$WORK/prefix
step "install to $PREFIX"
cmake --install "$BUILD" --prefix "$PREFIX" >/dev/null
TOOL=$PREFIX/bin/marl-checkout

# An empty entry in a library search path is the current directory: a
# library placed there would be loaded by the tool.
step "library search paths of the built and the installed tool"
for t in "$BUILD/marl-checkout" "$TOOL"; do
  rp=$(readelf -d "$t" | sed -n 's/.*(R\(UN\)\{0,1\}PATH).*\[\(.*\)\]$/\2/p')
  if [ -n "$rp" ]; then
    case ":$rp:" in
    *::*) fail "$t looks for libraries in the current directory (search path '$rp')" ;;
    esac
  fi
done

step "installed tool: --version, init, status"
version=$(hidden "$TOOL" --version)
echo "$version"
[[ "$version" =~ ^marl-checkout\ [0-9]+\.[0-9]+\.[0-9]+\ \(SQLite\ 3\.[0-9.]+\)$ ]] ||
  fail "unexpected --version output: $version"
hidden "$TOOL" init --db "$WORK/company.db" --demo --scale tiny --seed 1 >/dev/null
hidden "$TOOL" status --db "$WORK/company.db" >/dev/null
cp "$WORK/company.db" "$WORK/company2.db"

# The example, built against the installed package only.
build_example() {  # build folder, extra cmake arguments
  local out=$1
  shift
  cmake -S "$SRC/examples/close_demo" -B "$out" -G Ninja "${launcher[@]}" "$@" >/dev/null
  cmake --build "$out" >/dev/null
}
# Runs the example on a database and checks that it closed the period.
run_example() {  # example program, database
  local before after
  before=$(hidden "$TOOL" status --db "$2")
  hidden "$1" "$2" >"$WORK/example.out"
  head -n 3 "$WORK/example.out"
  after=$(hidden "$TOOL" status --db "$2")
  [ "$before" != "$after" ] || fail "$1 changed nothing in $2"
  grep -q "^Cost balances of .*: [1-9][0-9]* rows$" "$WORK/example.out" ||
    fail "$1 listed no cost balances"
  # The total rows are named from the English resource texts.
  grep -q "=Total " "$WORK/example.out" ||
    fail "$1 found no resource texts (no total row named Total)"
}
step "example: find_package(MarlCheckOut CONFIG) from $PREFIX"
build_example "$WORK/example-cmake" -DCMAKE_PREFIX_PATH="$PREFIX"
run_example "$WORK/example-cmake/close_demo" "$WORK/company.db"

step "example: pkg-config from $PREFIX"
pc_dir=$(dirname "$(find "$PREFIX" -name marlcheckout.pc)")
read -r -a pc_flags <<<"$(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs marlcheckout)"
c++ -std=c++17 "$SRC/examples/close_demo/close_demo.cpp" "${pc_flags[@]}" \
  -Wl,-rpath,"$(PKG_CONFIG_PATH=$pc_dir pkg-config --variable=libdir marlcheckout)" \
  -o "$WORK/close_demo_pc"
run_example "$WORK/close_demo_pc" "$WORK/company2.db"

step "Debian package"
(cd "$WORK" && cpack -G DEB --config "$BUILD/CPackConfig.cmake" -B "$WORK/deb" >/dev/null)
deb=$(ls "$WORK"/deb/marlcheckout_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "$(basename "$deb"): Depends: $depends"
for d in libsqlite3-0 libodbc2; do
  [[ ", $depends" == *", $d"* ]] || fail "the package does not depend on $d"
done
dpkg-deb -c "$deb" | awk '{print $6}' >"$WORK/contents"
for f in ./usr/bin/marl-checkout ./usr/include/marlcheckout/marlcheckout.h \
         ./usr/share/marlcheckout/schema/sqlite/erp.sql \
         ./usr/share/marlcheckout/schema/postgresql/erp.sql \
         ./usr/share/marlcheckout/schema/sqlserver/erp.sql \
         ./usr/share/marlcheckout/resources/HvCost.en.txt; do
  grep -qx "$f" "$WORK/contents" || fail "the package lacks $f"
done
if [ -f "$SRC/cli/marl-checkout.1" ]; then
  grep -q "^./usr/share/man/man1/marl-checkout.1" "$WORK/contents" ||
    fail "the package lacks the manual page"
fi

if dpkg-query -W -f='${Status}' marlcheckout 2>/dev/null | grep -q "install ok installed"; then
  fail "marlcheckout is installed already; remove it first"
fi
step "apt-get install $deb"
PACKAGE_INSTALLED=1
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
mkdir "$WORK/run"
hidden sh -c 'cd "$0" && marl-checkout --version && marl-checkout demo --scale tiny >demo.out 2>&1' "$WORK/run"
grep -q "SetCurrentPeriod" "$WORK/run/demo.out" || fail "marl-checkout demo did not close"
[ -f "$WORK/run/marl-demo.db" ] || fail "marl-checkout demo wrote no marl-demo.db"
step "example: find_package from /usr"
build_example "$WORK/example-usr"
run_example "$WORK/example-usr/close_demo" "$WORK/run/marl-demo.db"
step "apt-get purge marlcheckout"
DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq marlcheckout >/dev/null
PACKAGE_INSTALLED=0
! command -v marl-checkout >/dev/null || fail "marl-checkout is still installed"
echo "package check passed in ${SECONDS} s" >&2
