# Shared by scripts/run and scripts/test. Sourced, not run.

QUILLORY_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# What the program needs at run time and to build.
RUN_PACKAGES=(
  cmake ninja-build g++ qt6-base-dev qt6-base-dev-tools qt6-svg-dev
  pkg-config libsqlite3-dev libpq-dev unixodbc-dev libchm-dev libseccomp-dev
  libsqliteodbc odbc-postgresql odbc-mdbtools mdbtools mdbtools-dev tdsodbc
  fp-utils-3.2.2 xdg-utils fonts-liberation2 libical-dev
)
# What building and checking the Debian package needs (scripts/package, the package test).
PACKAGE_TOOLS=(dpkg-dev lintian desktop-file-utils appstream file)
# What the tests and benchmarks need on top.
TEST_PACKAGES=(
  googletest libbenchmark-dev postgresql sqlite3 python3
  xvfb xauth xdotool trayer imagemagick x11-utils poppler-utils openbox python3-icalendar
  "${PACKAGE_TOOLS[@]}" time
)

# What the fuzz harnesses and the sanitizer build need (scripts/fuzz, scripts/sanitize).
FUZZ_PACKAGES=(clang-14 libclang-rt-14-dev)

say() { printf '\n== %s\n' "$*"; }

# Installs only what is missing, so a second run costs a dpkg query.
install_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -eq 0 ]; then
    say "Debian packages: all present"
    return
  fi
  say "Installing Debian packages: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq || true
  $sudo apt-get install -y --no-install-recommends "${missing[@]}"
}

# configure_and_build <build dir> [extra cmake args...]
configure_and_build() {
  local dir=$1
  shift
  say "Configuring in $dir"
  cmake -S "$QUILLORY_ROOT" -B "$dir" -G Ninja "$@"
  say "Building"
  cmake --build "$dir" --parallel "$(nproc)"
}

# start_throwaway_pg: starts a PostgreSQL on loopback for this run, exports its
# QUILLORY_PG_* settings, and stops and removes it when the calling script exits.
start_throwaway_pg() {
  say "Starting a throwaway PostgreSQL for the tests"
  QUILLORY_PG_RUN=$(mktemp -d /tmp/quillory-pg.XXXXXX)
  trap '"$QUILLORY_ROOT/scripts/pgserver" stop "$QUILLORY_PG_RUN" || true; rm -rf "$QUILLORY_PG_RUN" "$QUILLORY_PG_RUN.env"' EXIT
  "$QUILLORY_ROOT/scripts/pgserver" start "$QUILLORY_PG_RUN" >"$QUILLORY_PG_RUN.env"
  # shellcheck disable=SC1090
  source "$QUILLORY_PG_RUN.env"
}
