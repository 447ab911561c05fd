# Shared helpers of tools/test, tools/demo and tools/figures (sourced, not run).
QIWA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Packages of tools/packages.txt for a bench of kind $1 (win32 or win64) that are not installed yet.
qiwa_missing_packages() {
  local arch=$1 pkg cmd section=
  while read -r pkg cmd _; do
    [[ -z $pkg || $pkg == \#* ]] && continue
    if [[ $pkg == \[*\] ]]; then section=${pkg:1:-1}; continue; fi
    [[ -n $section && $section != "$arch" ]] && continue
    if [[ -n $cmd ]] && command -v "$cmd" >/dev/null 2>&1; then continue; fi
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || echo "$pkg"
  done <"$QIWA_ROOT/tools/packages.txt"
}

qiwa_sudo() {
  if ((EUID == 0)); then "$@"; else sudo "$@"; fi
}

# apt-get install of the packages given. A mirror caught half-synced for one architecture (its
# security index of another size than announced) gives amd64 and i386 packages of different versions,
# which apt refuses; the base suite alone has them alike, so the install is tried again from there.
qiwa_apt_install() {
  local log suite
  log=$(mktemp)
  if DEBIAN_FRONTEND=noninteractive qiwa_sudo apt-get install -y -qq --no-install-recommends "$@" >"$log" 2>&1; then
    rm -f "$log"
    return 0
  fi
  suite=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-bookworm}")
  echo "apt-get install failed ($(grep -m1 '^E:' "$log")); trying again from the base suite $suite"
  if DEBIAN_FRONTEND=noninteractive qiwa_sudo apt-get install -y -qq --no-install-recommends -t "$suite" "$@" \
    >"$log" 2>&1; then
    rm -f "$log"
    return 0
  fi
  grep -E '^E:|unmet|Depends:' "$log" | head -n 8
  rm -f "$log"
  return 1
}

# Installs what a bench of kind $1 needs; false (with the packages named) when apt cannot.
qiwa_install_for() {
  local arch=$1 missing
  mapfile -t missing < <(qiwa_missing_packages "$arch")
  ((${#missing[@]})) || return 0
  echo "installing: ${missing[*]}"
  if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
    qiwa_sudo dpkg --add-architecture i386
  fi
  # A partly failed update (one architecture's index mid-sync) still leaves the others usable.
  qiwa_sudo apt-get update -qq >/dev/null 2>&1 || echo "apt-get update reported errors; going on with what it got"
  qiwa_apt_install "${missing[@]}"
}

# Installs what is missing, makes the zh_CN.UTF-8 locale and sets QIWA_WINE_ARCH to the bench this
# machine runs: win32 where it executes 32-bit code, else win64 (tools/wine-arch). When the 32-bit
# Wine cannot be installed, the 64-bit twin is tested instead, and said so. False, with a message,
# when what is needed cannot be installed.
qiwa_ensure_packages() {
  local forced=${QIWA_WINE_ARCH:-} arch
  arch=$("$QIWA_ROOT/tools/wine-arch") || return 1
  if ! qiwa_install_for "$arch"; then
    if [[ $arch == win32 && -z $forced ]]; then
      echo "the 32-bit Wine could not be installed: the Wine tests run the 64-bit twin instead"
      arch=win64
      qiwa_install_for "$arch" || { echo "error: the packages above could not be installed" >&2; return 1; }
    else
      echo "error: the packages above could not be installed" >&2
      return 1
    fi
  fi
  export QIWA_WINE_ARCH=$arch
  if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
    echo "generating the zh_CN.UTF-8 locale"
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null ||
      echo 'zh_CN.UTF-8 UTF-8' | qiwa_sudo tee -a /etc/locale.gen >/dev/null
    qiwa_sudo locale-gen >/dev/null
  fi
}

# The preset whose programs the Wine bench runs: windows (32-bit) or windows64.
qiwa_wine_preset() {
  [[ ${QIWA_WINE_ARCH:-win32} == win64 ]] && echo windows64 || echo windows
}

# Makes the Wine prefixes of the preset's build folder, one for each of $1 lanes (default 1). Where a
# 32-bit prefix cannot be made after all (the machine ran the probe but not Wine's 32-bit loader), the
# bench moves to the 64-bit twin.
qiwa_ensure_prefix() {
  local preset lanes=${1:-1}
  preset=$(qiwa_wine_preset)
  python3 "$QIWA_ROOT/tests/e2e/bench.py" prefix --lanes "$lanes" --build-dir "$QIWA_ROOT/build/$preset" && return 0
  [[ $QIWA_WINE_ARCH == win32 ]] || { echo "error: Wine could not make a 64-bit prefix" >&2; return 1; }
  echo "the 32-bit Wine did not start: the Wine tests run the 64-bit twin instead"
  export QIWA_WINE_ARCH=win64
  qiwa_install_for win64 || return 1
  qiwa_build windows64 || return 1
  python3 "$QIWA_ROOT/tests/e2e/bench.py" prefix --lanes "$lanes" --build-dir "$QIWA_ROOT/build/windows64"
}

# Configures (once) and builds one preset into its preset folder build/<preset>. A warning fails it.
qiwa_build() {
  local preset=$1
  shift
  cd "$QIWA_ROOT"
  if [[ ! -f build/$preset/CMakeCache.txt ]]; then
    cmake --preset "$preset" >/dev/null || return
  fi
  local log status=0
  log=$(mktemp)
  cmake --build --preset "$preset" "$@" >"$log" 2>&1 || status=1
  if ((status)); then
    cat "$log"
  elif grep -i -E 'warning' "$log"; then
    echo "error: the $preset build gave warnings" >&2
    status=1
  fi
  rm -f "$log"
  return $status
}
