#!/usr/bin/env bash
# The start benchmark killed outright while its voice tokens are there: no program it started is left
# running; then the Wine server stopped as a machine is restarted: when it starts again, none of the
# benchmark's tokens is left and Wine's voice is.
#   bench_killed_test.sh WINE-RUN PREFIX bench_start.exe empty_window.exe e2e_driver.exe
set -euo pipefail
wine_run=$1 prefix=$2 bench=$3 empty=$4 driver=$5
export WINEPREFIX=$prefix
# The voice-token keys, one a line, as a program of the build's own architecture sees them. Through a
# file: a pipe would also wait for any Wine service the reading starts.
tokens() {
    "$wine_run" --prefix "$prefix" "$driver" dump tokens >"$prefix.tokens" 2>/dev/null
    tr -d '\r[]"' <"$prefix.tokens" | tr ',' '\n'
}
bench_tokens() { tokens | grep -c 'SAPI5Quillfen bench voice' || true; }

voices_before=$(tokens | grep -v 'SAPI5Quillfen bench voice' || true)
# A run before this one may have left tokens that were not volatile: the benchmark replaces those.
already=$(bench_tokens)
# An empty window as the program: it never shows the list, so each start waits while the tokens are there.
"$wine_run" --prefix "$prefix" "$bench" "$empty" "$empty" "$empty" >/dev/null 2>&1 &
bench_pid=$!
made=0
for _ in $(seq 100); do
    made=$(bench_tokens)
    ((made == already)) || break
    sleep 0.2
done
kill -KILL "$bench_pid"
wait "$bench_pid" 2>/dev/null || true
((made != already)) || { echo "bench_killed_test: the benchmark made no token in 20 s" >&2; exit 1; }
# Its job ends them once the Wine server has seen the benchmark go (Linux shows 15 letters of a name).
for _ in $(seq 50); do
    pgrep -x "$(basename "$empty" | cut -c1-15)" >/dev/null || break
    sleep 0.2
done
! pgrep -x "$(basename "$empty" | cut -c1-15)" >/dev/null ||
    { echo "bench_killed_test: a program the benchmark started still runs 10 s after it was killed" >&2; exit 1; }

wineserver -k 2>/dev/null || true
wineserver -w
left=$(bench_tokens)
echo "killed with $made tokens made; after the restart $left left"
((left == 0)) || { echo "bench_killed_test: $left benchmark tokens outlived the restart" >&2; exit 1; }
[[ $(tokens) == "$voices_before" ]] || { echo "bench_killed_test: the voices before are not all there" >&2; exit 1; }
