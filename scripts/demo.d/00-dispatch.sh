# Part of scripts/demo.sh: commands that do no work still end with exit code 0.
say "Options that select no work"
demo_run --admin-remove-syncroots
demo_run --no-such-option
