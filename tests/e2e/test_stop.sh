#!/usr/bin/env bash
# "--stop" and "--force-stop" against running stand-ins for the client: our
# fake_client.exe copied under client names (and under names that merely
# resemble them). Each instance owns three top-level windows, one hidden,
# and logs every WM_ENDSESSION it receives. Under Wine every process is in
# session 1; other sessions are covered by the unit tests.
source "$(dirname "$0")/lib.sh"
e2e_machine_new

LOGS=$DRIVE_C/logs
mkdir -p "$LOGS"
for name in zarek.exe ZAREK-UI.EXE zarek-drive-ui.exe command-handler.exe xzarek.exe zarek-drive.exe; do
  cp "$CM_PROGRAMS/fake_client.exe" "$DRIVE_C/tools/$name"
done

# start_fake EXE LOG [ARGS...]: starts C:\tools\EXE logging to C:\logs\LOG.log
# and waits until its windows exist. Sets FAKE_PID (the wine process).
start_fake() {
  local exe=$1 log=$2
  shift 2
  wine "C:\\tools\\$exe" "C:\\logs\\$log.log" "$@" >/dev/null 2>&1 &
  FAKE_PID=$!
  local i
  for i in $(seq 1 150); do
    grep -q '^ready' "$LOGS/$log.log" 2>/dev/null && return 0
    sleep 0.2
  done
  echo "$exe did not start" >&2
  return 1
}
endsessions() { grep -c '^endsession' "$LOGS/$1.log"; }
running() { kill -0 "$1" 2>/dev/null; }
# exit_status PID: the exit code of a process that has ended (waits up to 10 s).
exit_status() {
  local i
  for i in $(seq 1 50); do running "$1" || break; sleep 0.2; done
  running "$1" && { echo running; return; }
  wait "$1"
  echo $?
}
now_ms() { date +%s%3N; }
# timed_tool ARGS...: run_tool, and RUN_MS its wall-clock time (also printed).
timed_tool() {
  local start
  start=$(now_ms)
  run_tool "$@"
  RUN_MS=$(($(now_ms) - start))
  echo "  client-maintenance.exe $*: $RUN_MS ms" >&2
}
at_least() { [ "$1" -ge "$2" ] || { echo "    $1 < $2" >&2; return 1; }; }
at_most() { [ "$1" -le "$2" ] || { echo "    $1 > $2" >&2; return 1; }; }

# ---- "--stop" with a client that ignores WM_ENDSESSION ----
start_fake zarek-drive-ui.exe ignoring
ignoring=$FAKE_PID
start_fake xzarek.exe prefixed
prefixed=$FAKE_PID

timed_tool --stop -timeout -1
ok "negative time-out: exit code 0" eq "$E2E_RC" 0
ok "negative time-out: nothing posted" eq "$(endsessions ignoring)" 0

timed_tool --stop -timeout 0
ok "time-out 0: exit code 0, no output" eq "$E2E_RC:$E2E_OUT" "0:"
ok "time-out 0: one attempt, one pause ($RUN_MS ms)" at_least "$RUN_MS" 1000
sleep 0.3
ok "time-out 0: each of the three windows asked once" eq "$(grep '^endsession' "$LOGS/ignoring.log" |
  cut -d' ' -f2 | sort | tr '\n' ' ')" "fake-1 fake-2 fake-hidden "

timed_tool --stop -timeout 2000
sleep 0.3
ok "time-out 2000: three more attempts" eq "$(endsessions ignoring)" $((3 + 9))
ok "time-out 2000: three attempts, three pauses ($RUN_MS ms)" at_least "$RUN_MS" 3000
ok "every message has wParam 1 and lParam ENDSESSION_CLOSEAPP" eq \
  "$(grep '^endsession' "$LOGS/ignoring.log" | grep -cv '^endsession fake-[^ ]* wParam=1 lParam=1 ')" 0
hidden=$(grep '^endsession fake-hidden ' "$LOGS/ignoring.log" | tail -n 3 | sed 's/.* t=\([0-9]*\)ms$/\1/' | tr '\n' ' ')
read -r first _ last <<<"$hidden"
ok "the hidden window is asked at every attempt, a second apart ($hidden)" at_least "$((last - first))" 1500
ok "the client that ignores the message still runs" running "$ignoring"
ok "a name with a prefix is never asked" eq "$(endsessions prefixed)" 0

# ---- "--force-stop" ----
start_fake zarek.exe first
first_client=$FAKE_PID
start_fake zarek.exe second
second_client=$FAKE_PID
start_fake command-handler.exe last
last_client=$FAKE_PID
start_fake zarek-drive.exe shorter
shorter=$FAKE_PID

timed_tool --force-stop
ok "force-stop: exit code 0, no output" eq "$E2E_RC:$E2E_OUT" "0:"
ok "force-stop: the pause after the termination ($RUN_MS ms)" at_least "$RUN_MS" 1000
for pid in "$ignoring" "$first_client" "$second_client" "$last_client"; do
  ok "force-stop: client process ended with exit code 0 by the tool" eq "$(exit_status "$pid")" 0
done
for log in ignoring first second last; do
  ok "force-stop: $log was terminated, did not exit by itself" bash -c "! grep -q '^exit' '$LOGS/$log.log'"
done
ok "force-stop: asks no window" eq "$(endsessions first)" 0
ok "force-stop: a name with a prefix is left running" running "$prefixed"
ok "force-stop: a shorter name is left running" running "$shorter"

# ---- "--stop" with a client that exits on WM_ENDSESSION ----
start_fake ZAREK-UI.EXE polite --exit-on-endsession
polite=$FAKE_PID
timed_tool --stop
sleep 0.3
ok "default time-out, client exits: each window asked once" eq "$(endsessions polite)" 3
ok "the client ended by itself on the message" eq "$(exit_status "$polite")" 2
ok "the stop ends at the second attempt, long before its time-out ($RUN_MS ms)" at_most "$RUN_MS" 8000
ok "one pause before the second attempt ($RUN_MS ms)" at_least "$RUN_MS" 1000
ok "the other processes were never asked" eq "$(endsessions prefixed):$(endsessions shorter)" "0:0"

e2e_done
