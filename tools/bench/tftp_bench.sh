#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Benchmark: the time to upload an image (4 MiB by default) to a simulated switch in the lab with
# Switchdesk's TFTP client, side by side in the same run with the tftp-hpa client uploading the
# same file to tftpd-hpa over the same lab link: the reference pace of lock-step TFTP there.
#
#   sudo tools/bench/tftp_bench.sh [--size BYTES] [--runs N] [--build DIR]
#
# The reference programs are Debian's: in.tftpd and tftp on PATH, or TFTP_HPA_ROOT naming a
# folder where the packages tftp-hpa, tftpd-hpa and libwrap0 are unpacked (apt-get download,
# dpkg -x). Without them only Switchdesk's figure is printed. Each figure is the median of the
# runs; Switchdesk's runs from its write request to the last acknowledgement, the reference's
# around the whole client command (its start-up is a millisecond or two).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
size=$((4 * 1024 * 1024))
runs=5
build="$here/../../build"
inside=0
while [ $# -gt 0 ]; do
  case "$1" in
    --size) size=$2; shift 2 ;;
    --runs) runs=$2; shift 2 ;;
    --build) build=$2; shift 2 ;;
    --inside) inside=1; shift ;;
    *) echo "usage: $0 [--size BYTES] [--runs N] [--build DIR]" >&2; exit 2 ;;
  esac
done
build=$(cd "$build" && pwd)

if [ "$inside" -eq 0 ]; then
  SWITCHDESK_REQUIRE_LAB=1 exec "$here/../lab/lab.sh" run --aliases 2 -- \
    "$0" --inside --size "$size" --runs "$runs" --build "$build"
fi

# Inside the lab's manager namespace from here on.
readonly SIM_SWITCH=198.18.0.10 REF_SERVER=198.18.0.11
work=$(mktemp -d "${TMPDIR:-/tmp}/sdbench-XXXXXX")
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
head -c "$size" /dev/urandom >"$work/image.bin"

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
now() { date +%s.%N; }

find_reference() {
  local root=${TFTP_HPA_ROOT:-}
  if [ -n "$root" ] && [ -x "$root/usr/sbin/in.tftpd" ] && [ -x "$root/usr/bin/tftp" ]; then
    tftpd="$root/usr/sbin/in.tftpd"
    tftp="$root/usr/bin/tftp"
    libs="$root/lib/x86_64-linux-gnu:$root/usr/lib/x86_64-linux-gnu"
    return 0
  fi
  tftpd=$(command -v in.tftpd || true)
  tftp=$(command -v tftp || true)
  libs=""
  [ -n "$tftpd" ] && [ -n "$tftp" ]
}

reference_times=""
if find_reference; then
  mkdir -m 0777 "$work/tftpboot"
  ip netns exec "$LAB_SWITCH_NS" env LD_LIBRARY_PATH="$libs" "$tftpd" -L -a "$REF_SERVER:69" -c -s -u root \
    "$work/tftpboot" &
  server_pid=$!
  sleep 0.5
  for ((i = 0; i < runs; i++)); do
    rm -f "$work/tftpboot/image.bin"
    t0=$(now)
    env LD_LIBRARY_PATH="$libs" "$tftp" -m binary "$REF_SERVER" -c put "$work/image.bin" image.bin
    t1=$(now)
    cmp -s "$work/image.bin" "$work/tftpboot/image.bin" || { echo "bench: tftpd-hpa received another file" >&2; exit 1; }
    reference_times+="$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.6f", b - a }')"$'\n'
  done
  kill "$server_pid"
  wait "$server_pid" 2>/dev/null || true
  server_pid=""
else
  echo "bench: no tftp-hpa and tftpd-hpa found (PATH or TFTP_HPA_ROOT): Switchdesk alone" >&2
fi

ip netns exec "$LAB_SWITCH_NS" "$build/tools/switchsim/switchsim" --agent-port 50002 --manager-port 50001 \
  --manager-id 01945AE0 --no-join --control "$work/sim.sock" \
  --switch "ip=$SIM_SWITCH,mac=02:00:00:00:00:10,password=admin,reboot=0,image=$work/received.bin" \
  </dev/null >/dev/null &
server_pid=$!
for ((i = 0; i < 100; i++)); do [ -S "$work/sim.sock" ] && break; sleep 0.05; done
switchdesk_times=$("$build/tools/bench/tftp_upload" --switch "$SIM_SWITCH" --mac 020000000010 \
  --file "$work/image.bin" --runs "$runs" | awk '{ print $2 }')
cmp -s "$work/image.bin" "$work/received.bin" || { echo "bench: the simulator received another file" >&2; exit 1; }

mib=$(awk -v s="$size" 'BEGIN { printf "%.2f", s / 1048576 }')
sd=$(printf '%s\n' "$switchdesk_times" | median)
printf '%-36s %8s MiB  median %.3f s  %7.2f MiB/s  (%d runs)\n' "Switchdesk client -> simulated switch" "$mib" "$sd" \
  "$(awk -v m="$mib" -v t="$sd" 'BEGIN { print m / t }')" "$runs"
if [ -n "$reference_times" ]; then
  ref=$(printf '%s' "$reference_times" | median)
  printf '%-36s %8s MiB  median %.3f s  %7.2f MiB/s  (%d runs)\n' "tftp-hpa client -> tftpd-hpa" "$mib" "$ref" \
    "$(awk -v m="$mib" -v t="$ref" 'BEGIN { print m / t }')" "$runs"
  printf 'throughput of Switchdesk / tftp-hpa: %.2f (goal: at least 0.90)\n' "$(awk -v a="$ref" -v b="$sd" 'BEGIN { print a / b }')"
fi
