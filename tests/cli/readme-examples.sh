#!/usr/bin/env bash
# Runs the vornak-cli examples of the README's command-line section, as written, against a
# simulator started as scripts/run starts it (ports the system chooses, a link in a scratch
# folder, put in place of the README's 1502 and /tmp/vornak-sim-tty). Each must exit 0.
#   readme-examples.sh VORNAK_CLI VORNAK_SIM README
set -euo pipefail
cli=$1 sim=$2 readme=$3
scratch=$(mktemp -d)
"$sim" --tcp 0 --udp 0 --link "$scratch/tty" --address 1 --inputs mirror --quiet \
    </dev/null >"$scratch/log" 2>&1 &
sim_pid=$!
trap 'kill "$sim_pid" 2>/dev/null; wait "$sim_pid" 2>/dev/null; rm -rf "$scratch"' EXIT
for _ in $(seq 100); do grep -qx READY "$scratch/log" && break; sleep 0.1; done
tcp=$(awk '$2 == "tcp" { sub(/.*:/, "", $3); print $3 }' "$scratch/log")
udp=$(awk '$2 == "udp" { sub(/.*:/, "", $3); print $3 }' "$scratch/log")
[ -n "$tcp" ] && [ -n "$udp" ] || { cat "$scratch/log" >&2; exit 1; }

examples=$(sed -n '/^## The command line/,/^## /p' "$readme" | grep '^\$cli ' | sed \
    -e "s/--tcp \([^ ]*\):1502/--tcp \1:$tcp/" -e "s/--udp \([^ ]*\):1502/--udp \1:$udp/" \
    -e "s|/tmp/vornak-sim-tty|$scratch/tty|")
[ "$(wc -l <<<"$examples")" -ge 8 ] || { echo "too few examples found in $readme" >&2; exit 1; }
failed=0
while IFS= read -r example; do
    if ! (set -o pipefail; cli=$cli; eval "${example%%#*}" >/dev/null 2>"$scratch/err"); then
        echo "failed: $example" >&2
        cat "$scratch/err" >&2
        failed=1
    fi
done <<<"$examples"
exit $failed
