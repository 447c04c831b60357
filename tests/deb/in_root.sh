#!/bin/bash
# Runs inside the throwaway root, as install_test.py lays it out in /tmp/t:
# debs/ (our packages), receipt.txt and expected.prn (the bytes the printer
# must receive for it with CR LF and a form feed). `install` installs the
# packages with apt (the only stage that may reach the network, for a
# dependency the root lacks); `use` prints through each of them, purges them
# and checks that nothing of theirs is left. The first failure ends it with
# a line saying what failed.
# Usage: in_root.sh install|use
set -euo pipefail
t=/tmp/t
stage=$1
fail() {
  [ -z "${app_running:-}" ] || { echo "textrelay-app's log:"; tail -n 20 "$t/app.log"; } >&2
  echo "FAILED: $*" >&2
  exit 1
}
same_bytes() { cmp -s "$1" "$t/expected.prn" || { od -c "$1" | head -20 >&2; fail "$2"; }; }
app_wrote() { [ -n "$(ls -A "$t/app-out")" ]; }
wait_for() {  # SECONDS DESCRIPTION COMMAND...: until the command succeeds
  local tries=$(($1 * 10)) what=$2; shift 2
  until "$@" >/dev/null 2>&1; do
    tries=$((tries - 1)); [ $tries -gt 0 ] || fail "$what"
    sleep 0.1
  done
}
# What the system holds, without what changes by running it (logs, caches,
# spools, runtime files): the purge must bring it back to this.
file_list() {
  find / -xdev \( -path /proc -o -path /dev -o -path /tmp -o -path /run -o -path /var/log \
    -o -path /var/cache -o -path /var/spool/cups -o -path /var/lib/apt -o -path /var/lib/dpkg \) -prune \
    -o -print | grep -v -x -E '/etc/cups/(printers|subscriptions|classes)\.conf(\.O)?|/etc/cups/ppd(/.*)?|/etc/(passwd|group|shadow|gshadow)-' | sort
}

if [ "$stage" = install ]; then
  file_list >"$t/before"
  # Installed as a user would, apt resolving the dependencies.
  apt-get install -y -q "$t"/debs/*.deb >"$t/apt.log" 2>&1 || { cat "$t/apt.log" >&2; fail "apt install"; }
  exit 0
fi

# The command.
textrelay print --line-terminator crlf --form-feed "$t/receipt.txt" >"$t/command.prn" ||
  fail "textrelay print"
same_bytes "$t/command.prn" "textrelay print of the receipt"

# The CUPS driver: CUPS runs only a filter that root owns and only root may write.
filter=/usr/lib/cups/filter/textrelaytoraw
[ "$(stat -c '%U %G %A' $filter)" = "root root -rwxr-xr-x" ] || fail "filter's owner and mode: $(stat -c '%U %G %A' $filter)"
# The test's queue prints to a file, which cupsd allows only when told.
echo "FileDevice Yes" >>/etc/cups/cups-files.conf
cupsd
wait_for 30 "cupsd starts" lpstat -r
lpinfo -m >"$t/lpinfo.log" 2>&1 || true
grep -q "^textrelay\.ppd " "$t/lpinfo.log" || { cat "$t/lpinfo.log" >&2; fail "lpinfo -m does not list textrelay.ppd"; }
lpadmin -p receipts -E -v "file://$t/cups.prn" -m textrelay.ppd 2>"$t/lpadmin.log" ||
  { cat "$t/lpadmin.log" >&2; fail "lpadmin with the packaged PPD"; }
# The queue's defaults set as the README's Install section sets them.
lpadmin -p receipts -o PageSize=Roll58mm -o FormFeed=True || fail "lpadmin -o"
lp -d receipts "$t/receipt.txt" >/dev/null || fail "lp"
wait_for 60 "the CUPS job completes" sh -c '[ -z "$(lpstat -o receipts)" ]'
same_bytes "$t/cups.prn" "the CUPS queue's output"
kill "$(pidof cupsd)"

# The printer application, started as its unit says.
unit=/lib/systemd/system/textrelay-app.service
# The root has no man-db to open the unit's manual page with; lintian checks the page.
systemd-analyze verify --man=no "$unit" >"$t/verify.log" 2>&1 || { cat "$t/verify.log" >&2; fail "systemd-analyze verify"; }
setting() { sed -n "s/^$1=//p" "$unit"; }
user=$(setting User)
runtime=/run/$(setting RuntimeDirectory)
install -d -o "$user" -g "$(setting Group)" "$runtime"
install -d -o "$user" "$t/app-out"
# shellcheck disable=SC2046 # the unit's words, as systemd splits them
setpriv --reuid="$user" --regid="$(setting Group)" --groups="$(setting SupplementaryGroups)" \
  --inh-caps=-all env $(setting Environment) $(setting ExecStart) >"$t/app.log" 2>&1 &
app=$!
app_running=yes
app_listens() { [ -S "$runtime/textrelay-app$(id -u "$user").sock" ]; }
wait_for 30 "textrelay-app makes its local socket" app_listens
# A printer added as the README says, as the service's user.
as_service() { runuser -u "$user" -- env TMPDIR="$runtime" textrelay-app "$@"; }
as_service add -d counter -m textrelay-raw-text -v "file://$t/app-out" || fail "textrelay-app add"
as_service modify -d counter -o textrelay-line-terminator-default=crlf -o textrelay-form-feed-default=true ||
  fail "textrelay-app modify"
ipptool -T 10 -t ipp://localhost:8000/ipp/print/counter get-printer-attributes.test >"$t/ipptool.log" 2>&1 ||
  { cat "$t/ipptool.log" >&2; fail "ipptool get-printer-attributes on localhost:8000"; }
ipptool -T 30 -t -f "$t/receipt.txt" ipp://localhost:8000/ipp/print/counter print-job.test >"$t/ipptool.log" 2>&1 ||
  { cat "$t/ipptool.log" >&2; fail "ipptool print-job"; }
wait_for 30 "the application writes the job" app_wrote
# The file grows while the job prints.
for _ in $(seq 100); do cmp -s "$t/app-out/"* "$t/expected.prn" && break; sleep 0.1; done
same_bytes "$t/app-out/"* "the application's output"
# Stopped as systemctl stops it.
kill -TERM "$app"
app_stopped() { ! kill -0 "$app" 2>/dev/null; }
wait_for 30 "textrelay-app stops" app_stopped
app_running=
[ -s /var/lib/textrelay-app/textrelay-app.state ] || fail "no state in /var/lib/textrelay-app"

# Purged, nothing of ours stays.
apt-get purge -y -q --autoremove textrelay textrelay-app printer-driver-textrelay >>"$t/apt.log" 2>&1 ||
  { cat "$t/apt.log" >&2; fail "apt purge"; }
file_list >"$t/after"
diff "$t/before" "$t/after" >&2 || fail "the purge left the files above"
echo "installed, printed through the command, CUPS and the application, purged"
