#!/usr/bin/env bash
# Times the Windows build under Wine and prints figures: a whole launch
# against the floor (a program that only hides its console and starts the
# same client), run alternately so that both see the same machine, and a
# batch of 20 launches at once on one game folder, with how many of them
# waited for a file that another one held. BENCH_BASELINE may name another
# build of DIVU.exe, which then takes its turn in the alternation too. Like
# bench.sh it reports and does not judge.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=deps.sh
source "$repo/scripts/deps.sh"
ensure_packages "${native_packages[@]}" "${windows_packages[@]}"

fail() {
    echo "bench-wine: $*" >&2
    exit 1
}

echo "== Building the windows preset"
cd "$repo"
cmake --preset windows >/dev/null || fail "configure failed"
cmake --build --preset windows --target DIVU bench_floor bench_noop_client >/dev/null ||
    fail "build failed"
bin="$repo/build/windows"

export WINEPREFIX="$bin/wineprefix" WINEDEBUG=-all
stop_wine() { wineserver -k >/dev/null 2>&1 || true; }
trap stop_wine EXIT
mkdir -p "$WINEPREFIX"
# One server for every run, as a player's desktop has: its start is not the launcher's.
wineserver -p 2>/dev/null || echo "(a wineserver already runs for this prefix)"
wine wineboot --init >/dev/null 2>&1

work="$repo/build/bench-wine"
rm -rf "$work"
mkdir -p "$work"

# A game folder: the launcher (as DIVU.exe), the no-op client and a small descriptor.
make_game() {
    local folder=$1 launcher=$2
    mkdir -p "$folder/META-INF/AIR"
    cp "$launcher" "$folder/DIVU.exe"
    cp "$bin/bench/KEMU_Client.exe" "$folder/"
    {
        echo '<?xml version="1.0" encoding="utf-8" standalone="no"?>'
        echo '<application xmlns="http://ns.adobe.com/air/application/33.1">'
        echo '    <id>com.example.lanterngarden</id>'
        for i in $(seq 1 60); do echo "    <asset path=\"assets/tile$i.png\"/>"; done
        echo '</application>'
    } >"$folder/META-INF/AIR/application.xml"
}

# ms COMMAND...: runs it once and prints its wall time in ms. Its output goes
# to a file, as a platform that captures the log would take it: Wine writes
# to a character device such as /dev/null one byte at a time.
ms() {
    local start=$EPOCHREALTIME
    "$@" >"$work/output" 2>&1 || fail "failed: $*"
    local end=$EPOCHREALTIME
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.2f\n", (b - a) * 1000 }'
}

median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

echo "== A whole launch, alternating with the floor (about a minute)"
names=(launcher floor)
make_game "$work/launcher" "$bin/DIVU.exe"
if [ -n "${BENCH_BASELINE:-}" ]; then
    names+=(baseline)
    make_game "$work/baseline" "$BENCH_BASELINE"
fi
floor_game="$work/launcher"
runs=60
for name in "${names[@]}"; do : >"$work/$name.first" && : >"$work/$name.reuse"; done
for ((i = 0; i < runs; i++)); do
    # The order turns each round, so that no program always runs after the same one.
    for ((k = 0; k < ${#names[@]}; k++)); do
        name=${names[$(((i + k) % ${#names[@]}))]}
        if [ "$name" = floor ]; then
            ms wine "$bin/bench/floor.exe" "$floor_game/KEMU_Client.exe" DMM viewer_id=123 >>"$work/floor.first"
        else
            # A first launch (no cached copy) and a reuse, each against a floor run.
            rm -f "$work/$name/META-INF/AIR/application123.xml"
            ms wine "$work/$name/DIVU.exe" DMM viewer_id=123 >>"$work/$name.first"
            ms wine "$work/$name/DIVU.exe" DMM viewer_id=123 >>"$work/$name.reuse"
            ms wine "$bin/bench/floor.exe" "$floor_game/KEMU_Client.exe" DMM viewer_id=123 >>"$work/floor.first"
        fi
    done
done
floor_ms=$(median <"$work/floor.first")
printf '\n%-22s %13s %13s\n' "median of $runs" "first launch" "reuse"
printf '%-22s %10.1f ms\n' "floor" "$floor_ms"
for name in "${names[@]}"; do
    [ "$name" = floor ] && continue
    first=$(median <"$work/$name.first")
    reuse=$(median <"$work/$name.reuse")
    printf '%-22s %10.1f ms %10.1f ms   %.2fx and %.2fx the floor\n' "$name" "$first" "$reuse" \
        "$(awk -v a="$first" -v b="$floor_ms" 'BEGIN { print a / b }')" \
        "$(awk -v a="$reuse" -v b="$floor_ms" 'BEGIN { print a / b }')"
done
echo "(goal: the launcher within 1.1x the floor)"

echo
echo "== 20 launches at once on one game folder, 5 batches"
game="$work/concurrent"
make_game "$game" "$bin/DIVU.exe"
: >"$work/batches"
: >"$work/waits"
launched=0
for batch in 1 2 3 4 5; do
    logs="$work/logs-$batch"
    mkdir -p "$logs"
    start=$EPOCHREALTIME
    pids=()
    for i in $(seq 1 20); do
        # Five ids, four launches each; each batch shares two with the one before.
        id=$((1 + i % 5 + 3 * batch))
        wine "$game/DIVU.exe" DMM "viewer_id=$id" >"$logs/$i.out" 2>"$logs/$i.err" &
        pids+=($!)
    done
    failed=0
    for pid in "${pids[@]}"; do wait "$pid" || failed=$((failed + 1)); done
    end=$EPOCHREALTIME
    launched=$((launched + 20))
    awk -v a="$start" -v b="$end" 'BEGIN { printf "%.0f\n", (b - a) * 1000 }' >>"$work/batches"
    [ "$failed" -eq 0 ] || fail "$failed launches of batch $batch failed"
    if cat "$logs"/*.err | grep -q .; then fail "batch $batch wrote on standard error"; fi
    for out in "$logs"/*.out; do
        tr -d '\r' <"$out" | sed -n 's/^waited for busy file:.* (\([0-9]*\) ms)$/\1/p' >>"$work/waits"
    done
done
[ -z "$(find "$game/META-INF/AIR" -name '*.tmp')" ] || fail "temporaries were left behind"
waits=$(wc -l <"$work/waits")
waited_launches=$(for out in "$work"/logs-*/*.out; do grep -l 'waited for busy file:' "$out" || true; done | wc -l)
printf 'batch wall time: median %s ms (of %s)\n' "$(median <"$work/batches")" \
    "$(tr '\n' ' ' <"$work/batches")"
printf 'launches that waited for a busy file: %s of %s, %s waits in all\n' \
    "$waited_launches" "$launched" "$waits"
if [ "$waits" -gt 0 ]; then
    printf 'a wait lasted: median %s ms, longest %s ms\n' "$(median <"$work/waits")" \
        "$(sort -n "$work/waits" | tail -n 1)"
fi
