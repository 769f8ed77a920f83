# Shared by scripts/run and scripts/test: Debian packages and the build.

ZARVO_PACKAGES=(g++ make cmake libcli11-dev libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev qt6-websockets-dev libsndfile1-dev pkg-config)

zarvo_missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -q '^install ok installed$' || echo "$p"
  done
}

# Installs whatever is missing; does nothing (and needs no network) otherwise.
zarvo_install_packages() {
  local missing
  missing=$(zarvo_missing_packages "$@")
  [ -z "$missing" ] && return 0
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: $missing"
  $sudo apt-get update -q
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends $missing
}

zarvo_jobs() {
  nproc 2>/dev/null || echo 2
}

# zarvo_build DIR [cmake options...]
zarvo_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$dir" -j "$(zarvo_jobs)"
}
