# Part of scripts/demo.sh: stopping a running client, gracefully and by force.
# The client is a small stand-in of the tests (three windows, one hidden) that
# logs each WM_ENDSESSION it receives.
mkdir -p "$DRIVE_C/logs"
# demo_client EXE LOG [ARGS...]: starts the stand-in as C:\tools\EXE, logging to C:\logs\LOG.log.
demo_client() {
  local exe=$1 log=$2
  shift 2
  cp "$CM_PROGRAMS/fake_client.exe" "$DRIVE_C/tools/$exe"
  wine "C:\\tools\\$exe" "C:\\logs\\$log.log" "$@" >/dev/null 2>&1 &
  DEMO_PID=$!
  for _ in $(seq 1 150); do
    grep -q '^ready' "$DRIVE_C/logs/$log.log" 2>/dev/null && break
    sleep 0.2
  done
}
demo_state() {  # demo_state PID NAME
  if kill -0 "$1" 2>/dev/null; then echo "    $2 is running"; else echo "    $2 has ended"; fi
}
show_log() { sed 's/^/    C:\\logs\\'"$1"'.log: /' "$DRIVE_C/logs/$1.log"; }

say "--stop: the client is asked to close and does"
demo_client zarek-drive-ui.exe polite --exit-on-endsession
polite=$DEMO_PID
demo_state "$polite" zarek-drive-ui.exe
demo_run --stop
sleep 0.3
show_log polite
echo "    (each window got WM_ENDSESSION with ENDSESSION_CLOSEAPP; exit code 2 is the stand-in closing itself)"
demo_state "$polite" zarek-drive-ui.exe

say "--stop with a 2-second time-out: a client that ignores the request is asked three times"
demo_client zarek.exe stubborn
stubborn=$DEMO_PID
demo_run --stop -timeout 2000
sleep 0.3
show_log stubborn
demo_state "$stubborn" zarek.exe

say "--force-stop: the client's processes are terminated in every session"
demo_run --force-stop
demo_state "$stubborn" zarek.exe
if ! kill -0 "$stubborn" 2>/dev/null; then
  wait "$stubborn" && echo "    its exit code: 0" || echo "    its exit code: $?"
fi
