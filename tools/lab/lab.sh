#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The lab: a manager namespace and a switch namespace joined by a veth pair on 198.18.0.0/24
# (the range reserved for testing network devices), so that broadcasts, multicast and raw IGMP
# between the manager and simulated switches never touch a real network.
#
#   lab.sh up [--aliases N] [--link-b M] [NAME]
#                                      create a lab (NAME: random when not given); prints NAME
#   lab.sh down NAME                   remove it
#   lab.sh exec NAME mgr|sw|swb CMD... run a command in one of its namespaces
#   lab.sh run [--aliases N] [--link-b M] [--sim "SIMULATOR ARGS"] -- CMD...
#                                      create a lab, optionally start the switch simulator in the
#                                      switch namespace (control socket in $LAB_SIM_CONTROL), run
#                                      CMD in the manager namespace, remove everything on exit
#
# Manager: 198.18.0.1. Switches: N aliases from 198.18.0.10 (default 16). Commands run by
# `exec` and `run` see LAB_NAME, LAB_MANAGER_NS, LAB_SWITCH_NS, LAB_MANAGER_IP, LAB_SWITCH_IPS.
#
# --link-b M gives the manager a second card: link A (the one above, 198.18.0.0/24, at most 245
# switches) keeps the default route; link B joins the manager (198.18.1.1/24, no default route)
# to a second switch namespace with M aliases from 198.18.1.10. Commands then also see
# LAB_LINK_B_NS, LAB_MANAGER_B_IP, LAB_SWITCH_B_IPS, LAB_MANAGER_IF (link A's card in the
# manager namespace), LAB_MANAGER_B_IF, LAB_SWITCH_IF and LAB_SWITCH_B_IF.
#
# Labs need root. `run` without root exits 77 (skipped), unless SWITCHDESK_REQUIRE_LAB is set:
# then it fails, as it does whenever a lab cannot be built.
set -euo pipefail

readonly MANAGER_IP=198.18.0.1
readonly FIRST_SWITCH=10
readonly SKIPPED=77

die() { echo "lab: $*" >&2; exit 1; }

readonly MANAGER_B_IP=198.18.1.1

manager_ns() { echo "sdlab-$1-mgr"; }
switch_ns() { echo "sdlab-$1-sw"; }
link_b_ns() { echo "sdlab-$1-swb"; }

link_b_ips() {
  local count=$1 i list=""
  for ((i = 0; i < count; i++)); do list+="198.18.1.$((FIRST_SWITCH + i)) "; done
  echo "${list% }"
}

# Switch address number i (0-based): 198.18.0.10 and up, continuing into 198.18.1.x.
switch_ip() {
  local n=$((FIRST_SWITCH + $1))
  echo "198.18.$((n / 256)).$((n % 256))"
}

prefix_for() { if [ "$1" -gt $((255 - FIRST_SWITCH)) ]; then echo 23; else echo 24; fi; }

switch_ips() {
  local aliases=$1 i list=""
  for ((i = 0; i < aliases; i++)); do list+="$(switch_ip "$i") "; done
  echo "${list% }"
}

check_name() { [[ "$1" =~ ^[a-z0-9]{1,8}$ ]] || die "lab names are 1 to 8 lower-case letters or digits: '$1'"; }

lab_up() {
  local name=$1 aliases=$2 link_b=${3:-0}
  check_name "$name"
  [ "$aliases" -ge 1 ] && [ "$aliases" -le 500 ] || die "--aliases must be 1 to 500"
  if [ "$link_b" -gt 0 ]; then
    [ "$aliases" -le $((255 - FIRST_SWITCH)) ] || die "with --link-b, --aliases must be 1 to $((255 - FIRST_SWITCH))"
    [ "$link_b" -le $((255 - FIRST_SWITCH)) ] || die "--link-b must be 1 to $((255 - FIRST_SWITCH))"
  fi
  local mgr sw prefix i
  mgr=$(manager_ns "$name")
  sw=$(switch_ns "$name")
  prefix=$(prefix_for "$aliases")
  ip netns add "$mgr"
  ip netns add "$sw"
  # IPv4 only: no IPv6 neighbour or router chatter in the lab's captures.
  for ns in "$mgr" "$sw"; do
    ip netns exec "$ns" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1 \
      >/dev/null 2>&1 || true
  done
  # Interface names hold at most 15 characters: sd + name + m/s.
  ip link add "sd${name}m" netns "$mgr" type veth peer name "sd${name}s" netns "$sw"
  for ns in "$mgr" "$sw"; do ip -n "$ns" link set lo up; done
  ip -n "$mgr" addr add "$MANAGER_IP/$prefix" dev "sd${name}m"
  for ((i = 0; i < aliases; i++)); do
    ip -n "$sw" addr add "$(switch_ip "$i")/$prefix" dev "sd${name}s"
  done
  ip -n "$mgr" link set "sd${name}m" up
  ip -n "$sw" link set "sd${name}s" up
  # Without a default route a send to 255.255.255.255 fails with "network unreachable".
  ip -n "$mgr" route add default dev "sd${name}m"
  ip -n "$sw" route add default dev "sd${name}s"
  [ "$link_b" -gt 0 ] && link_b_up "$name" "$link_b"
  return 0
}

# The manager's second card, link B: 198.18.1.1/24 without a default route, to a switch
# namespace of its own.
link_b_up() {
  local name=$1 count=$2 mgr swb i
  mgr=$(manager_ns "$name")
  swb=$(link_b_ns "$name")
  ip netns add "$swb"
  ip netns exec "$swb" sysctl -qw net.ipv6.conf.all.disable_ipv6=1 net.ipv6.conf.default.disable_ipv6=1 \
    >/dev/null 2>&1 || true
  ip link add "sd${name}n" netns "$mgr" type veth peer name "sd${name}t" netns "$swb"
  ip -n "$swb" link set lo up
  ip -n "$mgr" addr add "$MANAGER_B_IP/24" dev "sd${name}n"
  for ((i = 0; i < count; i++)); do
    ip -n "$swb" addr add "198.18.1.$((FIRST_SWITCH + i))/24" dev "sd${name}t"
  done
  ip -n "$mgr" link set "sd${name}n" up
  ip -n "$swb" link set "sd${name}t" up
  ip -n "$swb" route add default dev "sd${name}t"
}

lab_down() {
  local name=$1
  check_name "$name"
  # Removing a namespace removes its end of the veth pair, and with it the pair.
  ip netns del "$(manager_ns "$name")" 2>/dev/null || true
  ip netns del "$(switch_ns "$name")" 2>/dev/null || true
  ip netns del "$(link_b_ns "$name")" 2>/dev/null || true
}

lab_exec() {
  local name=$1 side=$2 aliases=${LAB_ALIASES:-16} link_b=${LAB_LINK_B:-0}
  shift 2
  check_name "$name"
  local ns
  case "$side" in
    mgr) ns=$(manager_ns "$name") ;;
    sw) ns=$(switch_ns "$name") ;;
    swb) ns=$(link_b_ns "$name") ;;
    *) die "side must be mgr, sw or swb" ;;
  esac
  # A lab made by `up --link-b` and used by `exec` has the link's namespace: it says so itself.
  if [ "$link_b" -eq 0 ] && [ -e "/run/netns/$(link_b_ns "$name")" ]; then
    link_b=$(ip -n "$(link_b_ns "$name")" -4 -o addr show dev "sd${name}t" | wc -l)
  fi
  local extra=()
  if [ "$link_b" -gt 0 ]; then
    extra=(LAB_LINK_B_NS="$(link_b_ns "$name")" LAB_MANAGER_B_IP="$MANAGER_B_IP"
      LAB_SWITCH_B_IPS="$(link_b_ips "$link_b")" LAB_MANAGER_IF="sd${name}m" LAB_MANAGER_B_IF="sd${name}n"
      LAB_SWITCH_IF="sd${name}s" LAB_SWITCH_B_IF="sd${name}t")
  fi
  exec ip netns exec "$ns" env LAB_NAME="$name" LAB_MANAGER_NS="$(manager_ns "$name")" \
    LAB_SWITCH_NS="$(switch_ns "$name")" LAB_MANAGER_IP="$MANAGER_IP" \
    LAB_SWITCH_IPS="$(switch_ips "$aliases")" "${extra[@]}" "$@"
}

random_name() { od -An -N4 -tx4 /dev/urandom | tr -d ' \n'; }

# State of `run`, for its cleanup.
run_name=""
run_dir=""
sim_pid=""
command_pid=""

run_cleanup() {
  local status=$?
  trap - EXIT INT TERM HUP
  if [ -n "$command_pid" ]; then
    kill "$command_pid" 2>/dev/null || true
    wait "$command_pid" 2>/dev/null || true
  fi
  if [ -n "$sim_pid" ]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
  fi
  [ -n "$run_name" ] && lab_down "$run_name"
  [ -n "$run_dir" ] && rm -rf "$run_dir"
  exit "$status"
}

lab_run() {
  local aliases=16 link_b=0 sim_args="" sim_given=0
  while [ $# -gt 0 ]; do
    case "$1" in
      --aliases) aliases=$2; shift 2 ;;
      --link-b) link_b=$2; shift 2 ;;
      --sim) sim_args=$2; sim_given=1; shift 2 ;;
      --) shift; break ;;
      *) die "unknown option $1" ;;
    esac
  done
  [ $# -gt 0 ] || die "run needs a command after --"

  if [ "$(id -u)" -ne 0 ]; then
    if [ -n "${SWITCHDESK_REQUIRE_LAB:-}" ]; then die "the lab needs root and SWITCHDESK_REQUIRE_LAB is set"; fi
    echo "lab: skipped: the lab needs root"
    exit $SKIPPED
  fi
  command -v ip >/dev/null || die "the ip command (iproute2) is missing"

  trap run_cleanup EXIT
  trap 'exit 130' INT
  trap 'exit 143' TERM HUP
  run_name=$(random_name)
  run_dir=$(mktemp -d "${TMPDIR:-/tmp}/sdlab-$run_name-XXXXXX")
  lab_up "$run_name" "$aliases" "$link_b"

  export LAB_ALIASES=$aliases LAB_LINK_B=$link_b
  if [ "$sim_given" -eq 1 ]; then
    local simulator=${SWITCHSIM:-$(dirname "$0")/../../build/tools/switchsim/switchsim}
    [ -x "$simulator" ] || die "no simulator at $simulator (set SWITCHSIM)"
    export LAB_SIM_CONTROL="$run_dir/sim.sock"
    # shellcheck disable=SC2086  # the simulator's arguments are split on purpose
    ip netns exec "$(switch_ns "$run_name")" "$simulator" --control "$LAB_SIM_CONTROL" $sim_args \
      </dev/null >"$run_dir/sim.out" &
    sim_pid=$!
    local i
    for ((i = 0; i < 100; i++)); do
      [ -S "$LAB_SIM_CONTROL" ] && break
      kill -0 "$sim_pid" 2>/dev/null || die "the simulator ended: $(cat "$run_dir/sim.out")"
      sleep 0.1
    done
    [ -S "$LAB_SIM_CONTROL" ] || die "the simulator did not start"
  fi

  # In the background and waited for, so that a signal to this script ends the lab at once.
  local status=0
  lab_exec "$run_name" mgr "$@" <&0 &
  command_pid=$!
  wait "$command_pid" || status=$?
  command_pid=""
  exit "$status"
}

main() {
  [ $# -gt 0 ] || die "usage: lab.sh up|down|exec|run ... (see the head of this script)"
  local command=$1
  shift
  case "$command" in
    up)
      local aliases=16 link_b=0
      while [ $# -gt 0 ]; do
        case "$1" in
          --aliases) aliases=$2; shift 2 ;;
          --link-b) link_b=$2; shift 2 ;;
          *) break ;;
        esac
      done
      local name=${1:-$(random_name)}
      [ "$(id -u)" -eq 0 ] || die "the lab needs root"
      lab_up "$name" "$aliases" "$link_b" || { lab_down "$name"; die "could not build lab $name"; }
      echo "$name"
      ;;
    down) lab_down "${1:?lab.sh down NAME}" ;;
    exec) lab_exec "${1:?lab.sh exec NAME mgr|sw CMD...}" "${2:?mgr or sw}" "${@:3}" ;;
    run) lab_run "$@" ;;
    *) die "unknown command $command" ;;
  esac
}

main "$@"
