#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package end to end. Run by tools/lab/lab.sh in the lab's manager namespace, as root,
# with the switch simulator ($LAB_SIM_CONTROL) answering for 198.18.0.10 to 198.18.0.12:
#
#   1. builds the package with cpack from the build folder and checks its control data and
#      contents; validates its AppStream metainfo and desktop entry;
#   2. installs it with apt into a throw-away overlay of /usr, /etc and /var in a private mount
#      namespace (the host's files never change), running its maintainer script for real;
#   3. as the ordinary user "nobody", from the installed files only: `switchdesk-cli --version`
#      makes the per-user settings folder from the installed default; `discover` finds the lab's
#      switches with no warning, and its IGMP reports reach them (the package's capability);
#      with no_new_privs (file capabilities do not apply) it says once what is missing and how to
#      grant it, and goes on;
#   4. runs the watch as its service would (a dynamic user, CAP_NET_RAW as its one ambient
#      capability, no_new_privs, the folder root imported a Monitor List into) and reloads it;
#      starts the window from the Exec line of its installed desktop entry on the offscreen
#      platform and saves its picture as BUILD/screenshots/installed_from_desktop_entry.png;
#   5. removes it with apt (remove, not purge) and checks that nothing of it is left but the user's settings folder.
#
# usage: package_test.sh --build DIR --switchsim PATH --ecfseal PATH [--grab-hook LIBRARY]
set -euo pipefail

build="" switchsim="" ecfseal="" grab_hook="" inside=0
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --switchsim) switchsim=$2; shift 2 ;;
    --ecfseal) ecfseal=$2; shift 2 ;;
    --grab-hook) grab_hook=$2; shift 2 ;;
    --inside) inside=1; shift ;;
    *) echo "package_test: unknown argument $1" >&2; exit 2 ;;
  esac
done

# Everything below runs in a mount namespace of its own, so that the overlays end with it.
if [ "$inside" -eq 0 ]; then
  exec unshare --mount --propagation private "$0" --inside --build "$build" --switchsim "$switchsim" \
    --ecfseal "$ecfseal" --grab-hook "$grab_hook"
fi

passed=0
fail() { echo "FAIL: $*" >&2; echo "$passed passed, 1 failed"; exit 1; }
ok() { passed=$((passed + 1)); echo "ok: $*"; }
step() { echo; echo "== $* =="; }

[ "$(id -u)" -eq 0 ] || fail "needs root (run through tools/lab/lab.sh)"
[ -n "${LAB_SIM_CONTROL:-}" ] || fail "no simulator: run through tools/lab/lab.sh run --sim ..."
for tool in cpack dpkg-deb apt-get setpriv getcap appstreamcli desktop-file-validate systemd-analyze systemctl; do
  command -v "$tool" >/dev/null || fail "$tool is missing (scripts/install-deps.sh installs it)"
done

readonly nobody=65534
tmp=$(mktemp -d /tmp/switchdesk-package-XXXXXX)
overlays=()
cleanup() {
  # The namespace would drop the mounts at its end; they go first so that the folder can go.
  local m
  for m in "${overlays[@]}"; do umount -l "$m" 2>/dev/null || true; done
  rm -rf "$tmp"
}
trap cleanup EXIT
chmod 0755 "$tmp"

# ---------------------------------------------------------------------------------------------
step "Build the package"
started=$SECONDS
cpack -G DEB -B "$tmp/package" --config "$build/CPackConfig.cmake" >"$tmp/cpack.log" 2>&1 ||
  { cat "$tmp/cpack.log"; fail "cpack failed"; }
debs=("$tmp"/package/switchdesk_*.deb)
[ -f "${debs[0]}" ] || fail "cpack made no switchdesk_*.deb"
deb=${debs[0]}
ok "cpack -G DEB made $(basename "$deb") in $((SECONDS - started)) s"

depends=$(dpkg-deb -f "$deb" Depends)
for needed in libcap2-bin libc6 libstdc++6; do
  [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
done
window=0
[ -n "$grab_hook" ] && window=1
if [ "$window" -eq 1 ]; then
  for needed in qt6-qpa-plugins libqt6widgets6 libqt6svg6; do
    [[ ", $depends," == *", $needed"[\ ,]* ]] || fail "Depends lacks $needed: $depends"
  done
fi
ok "Depends: $depends"

dpkg-deb -x "$deb" "$tmp/tree"
dpkg-deb -e "$deb" "$tmp/control"
[ -x "$tmp/control/postinst" ] || fail "no executable postinst"
expected=(usr/bin/switchdesk-cli usr/share/switchdesk/define.ecf usr/share/man/man1/switchdesk-cli.1.gz
          usr/share/doc/switchdesk/copyright usr/share/bash-completion/completions/switchdesk-cli
          usr/lib/firewalld/services/switchdesk.xml etc/ufw/applications.d/switchdesk
          lib/systemd/system/switchdesk-watch.service)
if [ "$window" -eq 1 ]; then
  expected+=(usr/bin/switchdesk usr/share/applications/org.switchdesk.Switchdesk.desktop
             usr/share/metainfo/org.switchdesk.Switchdesk.metainfo.xml
             usr/share/icons/hicolor/scalable/apps/org.switchdesk.Switchdesk.svg
             usr/share/man/man1/switchdesk.1.gz)
fi
for f in "${expected[@]}"; do [ -f "$tmp/tree/$f" ] || fail "the package lacks /$f"; done
cmp -s "$tmp/tree/usr/share/switchdesk/define.ecf" "$build/cfg/define.ecf" ||
  fail "the packaged define.ecf is not the build's default"
ok "the package holds ${#expected[@]} expected files and a postinst"

copyright=$tmp/tree/usr/share/doc/switchdesk/copyright
head -n 1 "$copyright" | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "the copyright file is not in Debian's machine-readable format"
grep -qx 'License: GPL-3.0-or-later' "$copyright" || fail "the copyright file names no GPL-3.0-or-later"
ok "the copyright file is machine-readable and names GPL-3.0-or-later"

for page in "$tmp"/tree/usr/share/man/man1/*.1.gz; do
  warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null || true)
  [ -z "$warnings" ] || fail "$(basename "$page"): $warnings"
done
ok "the manual pages format without warnings"

if [ "$window" -eq 1 ]; then
  entry=$tmp/tree/usr/share/applications/org.switchdesk.Switchdesk.desktop
  desktop-file-validate "$entry" || fail "desktop-file-validate refuses the desktop entry"
  appstreamcli validate-tree --no-net "$tmp/tree" >"$tmp/appstream.log" 2>&1 ||
    { cat "$tmp/appstream.log"; fail "appstreamcli refuses the metainfo"; }
  icon=$(sed -n 's/^Icon=//p' "$entry")
  [ -f "$tmp/tree/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || fail "no icon file for Icon=$icon"
  ok "desktop entry and AppStream metainfo are valid; Icon=$icon is installed"
fi

# ---------------------------------------------------------------------------------------------
step "Install with apt into a throw-away overlay of /usr, /etc and /var"
mkdir "$tmp/overlay"
mount -t tmpfs -o mode=0755 switchdesk-package "$tmp/overlay"
overlays+=("$tmp/overlay")
for d in usr etc var; do
  mkdir -p "$tmp/overlay/$d/upper" "$tmp/overlay/$d/work"
  mount -t overlay overlay \
    -o "lowerdir=/$d,upperdir=$tmp/overlay/$d/upper,workdir=$tmp/overlay/$d/work" "/$d"
  overlays=("/$d" "${overlays[@]}")
done
ok "overlays mounted; every change below lives in $tmp/overlay and ends with this test"

apt_get() {
  DEBIAN_FRONTEND=noninteractive apt-get -y -q -o Dpkg::Use-Pty=0 -o APT::Sandbox::User=root "$@"
}
[ -z "$(dpkg-query -W -f='${Status}' switchdesk 2>/dev/null || true)" ] || fail "switchdesk is already installed"
started=$SECONDS
apt_get install "$deb" >"$tmp/install.log" 2>&1 || { cat "$tmp/install.log"; fail "apt-get install failed"; }
grep -q "Need to get 0 B" "$tmp/install.log" || { cat "$tmp/install.log"; fail "apt wanted to download"; }
[ "$(dpkg-query -W -f='${Status}' switchdesk)" = "install ok installed" ] || fail "not installed"
ok "apt-get install $(basename "$deb") in $((SECONDS - started)) s"

programs=(/usr/bin/switchdesk-cli)
[ "$window" -eq 1 ] && programs+=(/usr/bin/switchdesk)
for p in "${programs[@]}"; do
  caps=$(getcap "$p")
  [[ "$caps" == *"cap_net_raw=ep"* ]] || fail "$p has no cap_net_raw=ep: '$caps'"
done
ok "postinst granted cap_net_raw=ep to ${programs[*]}"
[ "$(man -w switchdesk-cli)" = /usr/share/man/man1/switchdesk-cli.1.gz ] || fail "man -w switchdesk-cli"
ok "man switchdesk-cli finds the installed page"

unit=/lib/systemd/system/switchdesk-watch.service
# Its manual page is the one `man -w` found above (verify's own look would leave a cat page).
out=$(systemd-analyze verify --man=no "$unit" 2>&1) || { echo "$out"; fail "systemd-analyze verify refused the installed unit"; }
[ -z "$out" ] || { echo "$out"; fail "systemd-analyze verify warned: $out"; }
enabled=$(systemctl --root=/ is-enabled switchdesk-watch.service 2>&1 || true)
[ "$enabled" = disabled ] || fail "switchdesk-watch.service is $enabled after the installation"
links=$(find /etc/systemd -lname '*switchdesk-watch*' 2>/dev/null)
[ -z "$links" ] || fail "the installation enabled the service: $links"
ok "the installed $unit passes systemd-analyze verify and is not enabled"

# ---------------------------------------------------------------------------------------------
step "An ordinary user runs the installed switchdesk-cli"
home=$tmp/home
mkdir -m 0700 "$home"
chown "$nobody:$nobody" "$home"
# A fresh environment: PATH finds the installed programs; no SWITCHDESK_CONFIG_DIR, no
# XDG_CONFIG_HOME, so the settings folder is ~/.config/switchdesk.
as_user() {
  setpriv --reuid=$nobody --regid=$nobody --clear-groups "$@"
}
user_env=(env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 ASAN_OPTIONS=detect_leaks=0)

found=$(as_user "${user_env[@]}" sh -c 'id -u; command -v switchdesk-cli')
[ "$found" = "$nobody"$'\n'/usr/bin/switchdesk-cli ] || fail "as nobody: $found"
version=$(as_user "${user_env[@]}" switchdesk-cli --version) || fail "--version failed"
echo "$version"
folder=$home/.config/switchdesk
[[ "$version" == *"Settings folder: $folder (per user)"* ]] || fail "--version names another folder"
cmp -s "$folder/define.ecf" /usr/share/switchdesk/define.ecf || fail "no copy of the installed define.ecf"
[ "$(stat -c %U "$folder/define.ecf")" = nobody ] || fail "the settings belong to $(stat -c %U "$folder/define.ecf")"
ok "--version made and names the per-user folder $folder, seeded with the installed define.ecf"

igmp_count() {
  "$switchsim" --send "$LAB_SIM_CONTROL" igmp | awk '$1 == "igmp" && $2 == "239.255.100.100" { n = $3 } END { print n + 0 }'
}
check_discovery() {  # $1: the output
  local ip
  for ip in 198.18.0.10 198.18.0.11 198.18.0.12; do
    [[ "$1" == *" $ip "* ]] || fail "discover did not list $ip:"$'\n'"$1"
  done
}

status=0
out=$(as_user "${user_env[@]}" switchdesk-cli discover --wait 2 2>"$tmp/err") || status=$?
echo "$out"
cat "$tmp/err"
[ "$status" -eq 0 ] || fail "discover ended with $status"
check_discovery "$out"
! grep -q "IGMP" "$tmp/err" || fail "discover warned although the capability was granted"
ok "discover as nobody lists the lab's three switches, without a warning"

# Reports every second instead of every 125 s, as the Group Interval dialog would set them.
printf 'manager_id=01945AE0\nbase_port=C350\nmulticast_group=239.255.100.100\nmulticast_interface_on_off=1\nmulticast_timer_flag=1\nstrlen_multi_timer=1\nmulticast_timer=1\n' \
  >"$tmp/fast.txt"
"$ecfseal" "$tmp/fast.txt" "$folder/define.ecf"
chown "$nobody:$nobody" "$folder/define.ecf"
before=$(igmp_count)
out=$(as_user "${user_env[@]}" switchdesk-cli discover --wait 3 2>"$tmp/err") || fail "discover failed: $(cat "$tmp/err")"
check_discovery "$out"
after=$(igmp_count)
[ "$after" -gt "$before" ] || fail "no IGMP report reached the switches ($before, then $after)"
ok "nobody's IGMP membership reports reached the switches through the raw socket ($before, then $after)"

# Without file capabilities (no_new_privs ignores them), the program says so once and goes on.
status=0
out=$(as_user --no-new-privs "${user_env[@]}" switchdesk-cli discover --wait 3 2>"$tmp/err") || status=$?
cat "$tmp/err"
[ "$status" -eq 0 ] || fail "discover without the capability ended with $status"
check_discovery "$out"
[ "$(grep -c "IGMP membership reports cannot be sent" "$tmp/err")" -eq 1 ] || fail "not said exactly once"
grep -q "CAP_NET_RAW" "$tmp/err" || fail "the warning does not name CAP_NET_RAW"
grep -q "sudo setcap cap_net_raw=ep /usr/bin/switchdesk-cli" "$tmp/err" || fail "the warning names no fix"
[ "$(igmp_count)" -eq "$after" ] || fail "reports were sent without the capability"
ok "without the capability discover says once what is missing and the setcap fix, and goes on"

# ---------------------------------------------------------------------------------------------
step "The watch as its service runs it (without systemd: its user, capability and folder)"
# The README's commands: root imports a Monitor List into the private state folder, which does
# not exist yet; systemd would then hand the folder to the service's dynamic user and start the
# watch as that user with CAP_NET_RAW as its one ambient capability and no_new_privs.
state=/var/lib/private/switchdesk
maker=$tmp/maker
mkdir -m 0700 "$maker"
cp /usr/share/switchdesk/define.ecf "$maker/"
for ip in 198.18.0.10 198.18.0.11; do
  SWITCHDESK_CONFIG_DIR=$maker switchdesk-cli monitor add "$ip" >/dev/null || fail "monitor add $ip"
done
cp "$maker/monitor.cfg" "$tmp/first.cfg"
[ ! -e "$state" ] || fail "$state is there before the test"
made_private=0
[ -e /var/lib/private ] || made_private=1
SWITCHDESK_CONFIG_DIR=$state switchdesk-cli monitor import --seed-settings "$tmp/first.cfg" ||
  fail "the README's import into $state failed"
cmp -s "$state/define.ecf" /usr/share/switchdesk/define.ecf || fail "$state was not seeded with the installed define.ecf"
[ "$made_private" -eq 0 ] || [ "$(stat -c %a /var/lib/private)" = 700 ] ||
  fail "/var/lib/private was made with mode $(stat -c %a /var/lib/private)"
ls -la "$state"
# Reports every second (the settings the discovery above used), so that the next lines see one.
cp "$folder/define.ecf" "$state/define.ecf"
readonly dynamic=61234  # in systemd's range of dynamic users
chown -R "$dynamic:$dynamic" "$state"  # what systemd does at the start: the folder was root's
# /var/lib/private stays closed to other users; the service reaches its folder as
# /var/lib/switchdesk through what systemd mounts for it, here a bind mount in this namespace.
mkdir "$tmp/service-view"
mount --bind "$state" "$tmp/service-view"
overlays=("$tmp/service-view" "${overlays[@]}")
before=$(igmp_count)
coproc service {
  exec setpriv --reuid=$dynamic --regid=$dynamic --clear-groups --no-new-privs --inh-caps=+net_raw \
    --ambient-caps=+net_raw env -i PATH=/usr/bin:/bin LANG=C.UTF-8 ASAN_OPTIONS=detect_leaks=0 \
    SWITCHDESK_CONFIG_DIR=$tmp/service-view switchdesk-cli watch --seed-settings 2>&1
}
read_until() {  # $1: a pattern of a whole line; 20 s at most
  local line
  while IFS= read -r -t 20 line <&"${service[0]}"; do
    echo "watch: $line"
    [[ "$line" =~ $1 ]] && return 0
  done
  return 1
}
read_until '^Watching 2 switches' || fail "the watch did not start as the service's user"
sleep 3
[ "$(igmp_count)" -gt "$before" ] || fail "the watch's IGMP reports did not go out with the ambient capability"
ok "the watch runs as a dynamic user from $state; its IGMP reports go out with the ambient CAP_NET_RAW"

# A later import by root, then `systemctl reload`: the running watch reads root's monitor.cfg.
SWITCHDESK_CONFIG_DIR=$maker switchdesk-cli monitor add 198.18.0.12 >/dev/null || fail "monitor add 198.18.0.12"
SWITCHDESK_CONFIG_DIR=$state switchdesk-cli monitor import "$maker/monitor.cfg" 2>"$tmp/err" || true
grep -q "Duplicate IP address in Monitor List" "$tmp/err" || { cat "$tmp/err"; fail "the second import merged nothing"; }
[ "$(stat -c %U:%a "$state/monitor.cfg")" = root:644 ] || fail "root's monitor.cfg is $(stat -c %U:%a "$state/monitor.cfg")"
kill -HUP "$service_PID"
read_until '^Reloaded monitor\.cfg: 3 switches \(1 added, 0 removed\)\.$' || fail "the watch did not reload root's monitor.cfg"
kill -TERM "$service_PID"
read_until '^Stopped by SIGTERM\.$' || fail "the watch did not stop on SIGTERM"
wait "$service_PID" || fail "the watch ended with $? on SIGTERM"
ok "a reload reads the Monitor List root imported later; SIGTERM stops the watch with status 0"
# The administrator's data, not the package's: gone before the removal is checked.
umount "$tmp/service-view"
rm -rf "$state"
[ "$made_private" -eq 0 ] || rmdir /var/lib/private

# ---------------------------------------------------------------------------------------------
if [ "$window" -eq 1 ]; then
  step "Start the window from its desktop entry (offscreen)"
  entry=/usr/share/applications/org.switchdesk.Switchdesk.desktop
  exec_line=$(sed -n '/^\[Desktop Entry\]/,/^\[/s/^Exec=//p' "$entry" | head -n 1)
  [ -n "$exec_line" ] || fail "no Exec line in $entry"
  # The entry's field codes take nothing here: no file or address is given.
  read -r -a command <<<"$(sed 's/%[fFuUick]//g' <<<"$exec_line")"
  [ "$(PATH=/usr/bin:/bin command -v "${command[0]}")" = /usr/bin/switchdesk ] || fail "Exec=$exec_line is not the installed window"
  screenshots=$build/screenshots
  mkdir -p "$screenshots"
  picture=$screenshots/installed_from_desktop_entry.png
  rm -f "$picture"
  window_config=$tmp/window-config
  # As root: the picture is taken by a library loaded into the program, which the kernel would
  # refuse into a program that gains a capability at start.
  out=$(cd / && timeout 60 env -i HOME="$tmp" XDG_CONFIG_HOME="$window_config" PATH=/usr/bin:/bin LANG=C.UTF-8 \
    QT_QPA_PLATFORM=offscreen LD_PRELOAD="$grab_hook" SWITCHDESK_GRAB_PNG="$picture" SWITCHDESK_GRAB_AFTER_MS=4000 \
    ASAN_OPTIONS=detect_leaks=0:verify_asan_link_order=0 "${command[@]}" 2>"$tmp/window.err") ||
    { cat "$tmp/window.err"; fail "the window ended with an error: $out"; }
  echo "$out"
  [[ "$out" == "grabbed "*Switchdesk*" "[0-9]*x[0-9]* ]] || fail "the main window was not grabbed: $out"
  [ -s "$picture" ] || fail "no picture at $picture"
  cmp -s "$window_config/switchdesk/define.ecf" /usr/share/switchdesk/define.ecf ||
    fail "the window did not make its per-user folder"
  ok "Exec=$exec_line started the installed window; its picture is $picture"
fi

# ---------------------------------------------------------------------------------------------
step "Remove with apt"
started=$SECONDS
apt_get remove switchdesk >"$tmp/remove.log" 2>&1 || { cat "$tmp/remove.log"; fail "apt-get remove failed"; }
[ -z "$(dpkg-query -W -f='${Status}' switchdesk 2>/dev/null || true)" ] || fail "dpkg still knows switchdesk"
ok "apt-get remove switchdesk (no purge needed) in $((SECONDS - started)) s"

while IFS= read -r path; do
  path=${path#.}
  [ -n "$path" ] && [ "$path" != / ] || continue
  if [ -f "$path" ] || [ -L "$path" ]; then fail "left behind: $path"; fi
done < <(dpkg-deb --fsys-tarfile "$deb" | tar -t)
[ ! -e /usr/share/switchdesk ] || fail "left behind: /usr/share/switchdesk"
left=$(find "$tmp/overlay" -name '*switchdesk*' | sed "s|^$tmp/overlay/||")
[ -z "$left" ] || fail "left behind: $left"
# Beyond directories that were touched, /usr and /etc keep only the caches that the system's
# triggers rebuild for every package (icon theme, desktop entries' MIME types).
left=$(find "$tmp/overlay/usr/upper" "$tmp/overlay/etc/upper" ! -type d ! -name icon-theme.cache \
  ! -name mimeinfo.cache | sed "s|^$tmp/overlay/||")
[ -z "$left" ] || fail "left behind: $left"
[ -f "$folder/define.ecf" ] || fail "the user's settings went too"
ok "nothing of the package is left; the user's settings folder stays"

echo
echo "$passed passed, 0 failed"
