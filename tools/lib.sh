# Shared helpers of tools/test and tools/demo (sourced, not run).
QIWA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Packages of tools/packages.txt that are not installed yet.
qiwa_missing_packages() {
  local pkg cmd
  while read -r pkg cmd _; do
    [[ -z $pkg || $pkg == \#* ]] && continue
    if [[ -n $cmd ]] && command -v "$cmd" >/dev/null 2>&1; then continue; fi
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || echo "$pkg"
  done <"$QIWA_ROOT/tools/packages.txt"
}

# Installs what is missing and makes the zh_CN.UTF-8 locale; silent when all is there.
qiwa_ensure_packages() {
  local missing
  mapfile -t missing < <(qiwa_missing_packages)
  if ((${#missing[@]})); then
    echo "installing: ${missing[*]}"
    local sudo=
    ((EUID == 0)) || sudo=sudo
    if printf '%s\n' "${missing[@]}" | grep -q ':i386$' && ! dpkg --print-foreign-architectures | grep -qx i386; then
      $sudo dpkg --add-architecture i386
    fi
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
  if ! locale -a 2>/dev/null | grep -qix 'zh_CN.utf8'; then
    echo "generating the zh_CN.UTF-8 locale"
    local sudo=
    ((EUID == 0)) || sudo=sudo
    grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null ||
      echo 'zh_CN.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen >/dev/null
  fi
}

# Configures (once) and builds one preset into its preset folder build/<preset>.
qiwa_build() {
  local preset=$1
  shift
  cd "$QIWA_ROOT"
  if [[ ! -f build/$preset/CMakeCache.txt ]]; then
    cmake --preset "$preset" >/dev/null || return
  fi
  local log
  log=$(mktemp)
  if ! cmake --build --preset "$preset" "$@" >"$log" 2>&1; then
    cat "$log"
    rm -f "$log"
    return 1
  fi
  grep -i -E 'warning|error' "$log" || true
  rm -f "$log"
}

# A display number nobody uses (no lock file, no socket).
qiwa_free_display() {
  local n
  for ((n = 90; n < 200; n++)); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] || { echo "$n"; return; }
  done
  return 1
}
