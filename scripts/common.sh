# Shared by scripts/run, scripts/test and the bench scripts: Debian
# packages, the build and the simulator's port.

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

# zarvo_sim_port LOG [PID]: the port of the simulator whose output goes to
# LOG, once its first line names it (within 5 s, or until PID has quit);
# nothing when it does not.
zarvo_sim_port() {
  local port=""
  for _ in $(seq 1 100); do
    port=$(sed -n '1s|^Listening on ws://[^:]*:\([0-9][0-9]*\)$|\1|p' "$1")
    [ -n "$port" ] && break
    [ -n "${2:-}" ] && ! kill -0 "$2" 2>/dev/null && break
    sleep 0.05
  done
  echo "$port"
}

# zarvo_cpu_ticks PID: the process's CPU time so far (user + system, all
# threads) in clock ticks of getconf CLK_TCK.
zarvo_cpu_ticks() {
  sed 's/^.*) //' "/proc/$1/stat" | awk '{ print $12 + $13 }'
}

# zarvo_build DIR [cmake options...]
zarvo_build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@"
  cmake --build "$dir" -j "$(zarvo_jobs)"
}
