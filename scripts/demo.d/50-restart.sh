# Part of scripts/demo.sh: "--restart-explorer" ends the session's desktop
# shell and makes sure one runs again. Wine never brings its shell back by
# itself, so the tool waits its ten seconds and then starts it.
say "Restarting the desktop shell"
cp "$CM_PROGRAMS/hidden-window.exe" "$DRIVE_C/tools/"
# Wine's shell ends by itself when no program uses the desktop: keep one.
wine 'C:\tools\hidden-window.exe' 120 >/dev/null 2>&1 &
demo_shells() {
  echo "info proc" | wine winedbg 2>/dev/null | grep -i "'explorer.exe'" | awk '{ print "    explorer.exe, process id 0x" $1 }' || true
}
for _ in $(seq 1 20); do [ -n "$(demo_shells)" ] && break; sleep 1; done
echo "  shell processes before:"
demo_shells
demo_started=$(date +%s)
demo_run --restart-explorer
echo "    took $(($(date +%s) - demo_started)) s (ten one-second waits for the shell to come back)"
echo "  shell processes after (a new one, started hidden as the signed-in user):"
demo_shells
