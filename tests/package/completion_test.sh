#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The bash completion of switchdesk-cli: sourced as bash-completion loads it, its function is
# called with COMP_WORDS and COMP_CWORD as bash sets them, and COMPREPLY must hold the commands,
# the options, the choices and the Monitor List's addresses. Every option it offers must be one
# the program's parser accepts (checked with a command line that then fails on an unknown
# option, so that nothing runs).
#
# usage: completion_test.sh COMPLETION_FILE CLI DEFINE_ECF
set -euo pipefail
completion=${1:?usage: completion_test.sh COMPLETION_FILE CLI DEFINE_ECF}
cli=${2:?} define_ecf=${3:?}

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export SWITCHDESK_CONFIG_DIR=$tmp/cfg
mkdir "$SWITCHDESK_CONFIG_DIR" "$tmp/files"
cp "$define_ecf" "$SWITCHDESK_CONFIG_DIR/define.ecf"
for a in 198.18.0.10 198.18.0.11 10.1.2.3; do "$cli" monitor add "$a" >/dev/null; done
touch "$tmp/files/image.bin" "$tmp/files/other.txt"
export SD_COMPLETION_PASSWORD=x
cd "$tmp/files"

# shellcheck source=/dev/null
source "$completion"
complete -p switchdesk-cli | grep -q -- '-F _switchdesk_cli' || { echo "FAIL: no completion for switchdesk-cli"; exit 1; }

failed=0
# complete "WORDS..." EXPECTED: the words of the line, the last one being completed; EXPECTED is
# COMPREPLY sorted, separated by blanks.
expect() {
  local line=$1 expected=$2
  read -r -a COMP_WORDS <<<"$line"
  [[ $line == *" " ]] && COMP_WORDS+=("")
  COMP_WORDS[0]=$cli
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMPREPLY=()
  _switchdesk_cli
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | sort | tr '\n' ' ' | sed 's/ $//')
  if [ "$got" = "$expected" ]; then
    echo "ok: '$line' -> $got"
  else
    echo "FAIL: '$line' -> '$got', expected '$expected'"
    failed=1
  fi
}

expect "switchdesk-cli " "dhcp-refresh discover help monitor password set upgrade watch"
expect "switchdesk-cli d" "dhcp-refresh discover"
expect "switchdesk-cli --v" "--version"
expect "switchdesk-cli help w" "watch"
expect "switchdesk-cli monitor " "--help add export import list remove"
expect "switchdesk-cli monitor list --" "--help --json"
expect "switchdesk-cli monitor add --" "--help"
expect "switchdesk-cli monitor export x --" "--help --yes"
expect "switchdesk-cli monitor remove " "10.1.2.3 198.18.0.10 198.18.0.11"
expect "switchdesk-cli monitor remove 10.1.2.3 198" "198.18.0.10 198.18.0.11"
expect "switchdesk-cli monitor import im" "image.bin"
expect "switchdesk-cli discover --" "--broadcast --help --interface --json --wait"
expect "switchdesk-cli discover --interface lo" "lo"
expect "switchdesk-cli watch --" "--exec --exec-timeout --help --interface --json --metrics --refresh --seed-settings"
expect "switchdesk-cli watch --exec im" "image.bin"
expect "switchdesk-cli watch --exec-timeout " ""
expect "switchdesk-cli watch --refresh " "15s 1m 2m 30s 5m"
expect "switchdesk-cli set 1" "10.1.2.3 198.18.0.10 198.18.0.11"
expect "switchdesk-cli set --wait 2 198.18.0.1" "198.18.0.10 198.18.0.11"
expect "switchdesk-cli set 10.1.2.3 --" \
  "--dhcp --gateway --group-interval --help --interface --ip --location --name --netmask --password-env --password-file --trap --wait"
expect "switchdesk-cli set 10.1.2.3 --dhcp " "off on"
expect "switchdesk-cli set 10.1.2.3 --name " ""
expect "switchdesk-cli set 10.1.2.3 --ip 10.0.0.1 " ""
expect "switchdesk-cli password 10.1.2.3 --" \
  "--help --interface --new-password-env --new-password-file --password-env --password-file --wait"
expect "switchdesk-cli password 10.1.2.3 --new-password-env SD_COMPLETION_" "SD_COMPLETION_PASSWORD"
expect "switchdesk-cli dhcp-refresh 10.1.2.3 --password-file o" "other.txt"
expect "switchdesk-cli dhcp-refresh --" "--help --interface --password-env --password-file --wait"
expect "switchdesk-cli upgrade 10.1.2.3 i" "image.bin"
expect "switchdesk-cli upgrade --wait 1 10.1.2.3 image.bin " ""

# Every option offered is one the parser knows: followed by an unknown one, the command line
# fails on that one (status 2), never on the option offered.
for command in discover "monitor list" "monitor remove" "monitor export" "monitor import" watch set password dhcp-refresh upgrade; do
  expect_words=($command)
  COMP_WORDS=("$cli" "${expect_words[@]}" --)
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _switchdesk_cli
  for option in "${COMPREPLY[@]}"; do
    [ "$option" = --help ] && continue
    status=0
    err=$("$cli" "${expect_words[@]}" "$option" --no-such-option 2>&1 >/dev/null) || status=$?
    if [ "$status" -ne 2 ] || [[ $err == *"unknown option $option"* ]]; then
      echo "FAIL: '$command' offers $option, which the program refuses: $err"
      failed=1
    fi
  done
  echo "ok: '$command' offers only options the parser accepts: ${COMPREPLY[*]}"
done
exit $failed
