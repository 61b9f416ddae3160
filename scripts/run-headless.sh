#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Switchdesk without a display: builds switchdesk-cli and the switch simulator, starts the lab
# (tools/lab/lab.sh) with four simulated switches and shows the main job done in a terminal:
# a discovery, three switches put in the Monitor List, and a watch during which one of them goes
# silent, is declared not alive, answers again, and another sends a trap; then the event log.
#
#   scripts/run-headless.sh [--watch SECONDS]    (default 90: the longest the watch may take)
#
# scripts/run.sh hands over to this when there is no display. The lab needs root: without it
# the lab part runs through sudo. Every packet stays inside the lab's network namespaces
# (198.18.0.0/24). The settings folder is a temporary copy of the build's cfg/, removed at the
# end. SWITCHDESK_BUILD_DIR chooses the build folder (default: build).
set -euo pipefail

readonly SILENT=198.18.0.12
readonly TRAPPING=198.18.0.11
readonly MONITORED="198.18.0.10 198.18.0.11 198.18.0.12"
cfg=""  # the temporary settings folder
readonly SWITCHES=(
  "ip=198.18.0.10,mac=02:00:00:00:00:10,iface=3,name=edge-1,dhcp=on,interval=125,location=rack-1"
  "ip=198.18.0.11,mac=02:00:00:00:00:11,iface=3,name=edge-2,location=rack-1"
  "ip=198.18.0.12,mac=02:00:00:00:00:12,iface=3,name=core,location=rack-2"
  "ip=198.18.0.13,mac=02:00:00:00:00:13,iface=2,name=spare,location=shelf,product=GS-116"
)

usage() { sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; }

heading() {
  if [ -t 1 ]; then printf '\n\033[1m$ %s\033[0m\n' "$*"; else printf '\n$ %s\n' "$*"; fi
}
note() {
  if [ -t 1 ]; then printf '\033[2m  (%s)\033[0m\n' "$*"; else printf '  (%s)\n' "$*"; fi
}

# Waits until FILE holds a line matching PATTERN; false after SECONDS.
wait_for() {
  local pattern=$1 file=$2 seconds=$3 i
  for ((i = 0; i < seconds * 2; i++)); do
    grep -q -- "$pattern" "$file" 2>/dev/null && return 0
    sleep 0.5
  done
  return 1
}

# Inside the lab's manager namespace: the tour itself.
in_lab() {
  local build=$1 watch_limit=$2
  local cli="$build/switchdesk-cli" sim="$build/tools/switchsim/switchsim"

  heading "switchdesk-cli discover"
  "$cli" discover

  heading "switchdesk-cli monitor add ADDRESS   (three times)"
  local ip
  for ip in $MONITORED; do "$cli" monitor add "$ip"; done
  heading "switchdesk-cli monitor list"
  "$cli" monitor list

  heading "switchdesk-cli watch"
  note "the simulator silences $SILENT now; the verdict comes after two unanswered polls (15 s apart) and three 5-second liveness ticks"
  "$sim" --send "$LAB_SIM_CONTROL" "silence $SILENT" >/dev/null
  local out
  out=$(mktemp)
  "$cli" watch > >(tee "$out") &
  local watch_pid=$! deadline=$((SECONDS + watch_limit))
  if wait_for " $SILENT Not alive" "$out" $((deadline - SECONDS)); then
    note "the simulator lets $SILENT answer again and sends a trap from $TRAPPING"
    "$sim" --send "$LAB_SIM_CONTROL" "resume $SILENT" >/dev/null
    sleep 1
    "$sim" --send "$LAB_SIM_CONTROL" "trap $TRAPPING Port 2 link down" >/dev/null
    wait_for " $SILENT Recovered" "$out" $((deadline - SECONDS > 0 ? deadline - SECONDS : 1)) ||
      note "no recovery within the time given"
  else
    note "no verdict within the time given"
  fi
  note "Ctrl-C (SIGINT) to switchdesk-cli watch"
  kill -INT "$watch_pid"
  local status=0
  wait "$watch_pid" || status=$?
  rm -f "$out"
  note "switchdesk-cli watch ended with status $status"

  heading "cat syslog.log"
  tr -d '\r' <"$SWITCHDESK_CONFIG_DIR/syslog.log"
  return "$status"
}

main() {
  local watch_limit=90
  while [ $# -gt 0 ]; do
    case "$1" in
      --watch) watch_limit=${2:?--watch needs a number of seconds}; shift 2 ;;
      --in-lab) shift; in_lab "$@"; return ;;
      -h|--help) usage; return 0 ;;
      *) usage >&2; return 2 ;;
    esac
  done
  [[ "$watch_limit" =~ ^[0-9]+$ ]] && [ "$watch_limit" -ge 40 ] || { echo "--watch takes 40 seconds or more" >&2; return 2; }

  local here
  here=$(cd "$(dirname "$0")/.." && pwd)
  cd "$here"
  scripts/install-deps.sh
  local build
  build=$(realpath -m "${SWITCHDESK_BUILD_DIR:-build}")
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$build" -j "$(nproc)" --target switchdesk-cli switchsim default_settings

  cfg=$(mktemp -d "${TMPDIR:-/tmp}/switchdesk-headless-XXXXXX")
  trap 'rm -rf "$cfg"' EXIT
  cp "$build/cfg/define.ecf" "$cfg/"

  # Switches without a trap receiver of their own send their traps to the manager.
  local sim_args="--manager 198.18.0.1" s
  for s in "${SWITCHES[@]}"; do sim_args+=" --switch $s"; done
  local as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  "${as_root[@]}" env SWITCHDESK_CONFIG_DIR="$cfg" SWITCHSIM="$build/tools/switchsim/switchsim" \
    tools/lab/lab.sh run --aliases 4 --sim "$sim_args" -- "$here/scripts/run-headless.sh" --in-lab "$build" "$watch_limit"
}

main "$@"
