#!/usr/bin/env bash
# Times the launcher (native-release build) against its peers and prints a
# table of figures: the rewrite way against sed, the reuse way against cp,
# peak memory, and a whole launch against the floor (a program that only
# starts the client) and a shell-script peer. It reports and does not judge:
# it exits 0 whether or not a goal is met, and non-zero only when a
# measurement could not be made.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=deps.sh
source "$repo/scripts/deps.sh"
ensure_packages "${native_packages[@]}" hyperfine time sed coreutils grep mawk

fail() {
    echo "bench: $*" >&2
    exit 1
}

echo "== Building the native-release preset"
cd "$repo"
cmake --preset native-release >/dev/null || fail "configure failed"
cmake --build --preset native-release --target DIVU bench_floor bench_noop_client >/dev/null ||
    fail "build failed"
bin="$repo/build/native-release"
launcher="$bin/DIVU.exe"
noop_client="$bin/bench/KEMU_Client.exe"
floor="$bin/bench/floor"

work="$repo/build/bench"
rm -rf "$work"
mkdir -p "$work/data" "$work/results"
cd "$work"

# ---------------------------------------------------------------- the data

mib=$((1024 * 1024))
id_element='    <id>com.example.lanterngarden</id>'
head_lines() {
    printf '%s\n' '<?xml version="1.0" encoding="utf-8" standalone="no"?>' \
        '<application xmlns="http://ns.adobe.com/air/application/33.1">' "$id_element" \
        '    <filename>KEMU_Client</filename>' '    <name>Lantern Garden</name>' \
        '    <versionNumber>1.4.2</versionNumber>'
}
# About bytes of descriptor body, one asset entry a line (or all on one line
# when the line end is empty).
body() {
    awk -v bytes="$1" -v end="$2" 'BEGIN {
        ORS = end
        for (i = 1; total < bytes; i++) {
            line = sprintf("    <asset path=\"assets/level%03d/tile%05d.png\" size=\"%d\" " \
                           "hash=\"%08x%08x\"/>", i % 97, i, 1000 + (i * 7919) % 90000,
                           i * 2654435761 % 4294967296, i * 40503 % 4294967296)
            print line
            total += length(line) + length(end)
        }
    }'
}
repeat() {
    local i
    for ((i = 0; i < $2; i++)); do cat "$1"; done
}

echo "== Making the descriptors in ${work#"$repo"/}/data"
{
    head_lines
    body $((4096 - 300)) $'\n'
    echo '</application>'
} >data/small.xml
body "$mib" $'\n' >data/chunk-lines
{
    head_lines
    repeat data/chunk-lines 64
    echo '</application>'
} >data/multi.xml
body "$mib" '' >data/chunk-one
{
    head_lines | tr -d '\n'
    repeat data/chunk-one 32
    printf '%s' "$id_element"
    repeat data/chunk-one 32
    echo '</application>'
} >data/single.xml
rm -f data/chunk-lines data/chunk-one
for name in small multi single; do
    printf '   %-11s %9d bytes, %7d lines\n' "$name.xml" "$(stat -c %s "data/$name.xml")" \
        "$(wc -l <"data/$name.xml")"
done

replacement='s/<id>.*<\/id>/<id>DIVU123<\/id>/'

# A game folder: the launcher and the descriptor; with "cached" the cached
# copy for id 123 too; with "client" the no-op client and the script peer.
# Without a client the launcher's last step, its start, fails at once and
# costs nothing, and the launcher exits 1; the descriptor step is what is timed.
make_game() {
    local folder=$1 data=$2
    shift 2
    mkdir -p "$folder/META-INF/AIR"
    cp "$launcher" "$folder/DIVU.exe"
    cp "$data" "$folder/META-INF/AIR/application.xml"
    local extra
    for extra in "$@"; do
        case "$extra" in
            # Made by the launcher itself: how a file's pages came into the
            # page cache (small writes or one large one) changes how fast it
            # is read back, so the cached copy is written as it would be.
            cached)
                "$folder/DIVU.exe" DMM viewer_id=123 >/dev/null 2>&1 || true
                [ -f "$folder/META-INF/AIR/application123.xml" ] || fail "no cached copy in $folder"
                ;;
            client)
                cp "$noop_client" "$folder/KEMU_Client.exe"
                cp "$repo/bench/peer.sh" "$folder/peer.sh"
                ;;
        esac
    done
}

# ---------------------------------------------------------------- timing

# time_it NAME RUNS WARMUP [hyperfine options...] -- COMMAND: the median in
# milliseconds goes to results/NAME. The exit status is not looked at (see
# make_game); expect_way checks the work itself.
time_it() {
    local name=$1 runs=$2 warmup=$3
    shift 3
    local options=()
    while [ "$1" != -- ]; do
        options+=("$1")
        shift
    done
    shift
    hyperfine -N -i --style none --runs "$runs" --warmup "$warmup" "${options[@]}" \
        --export-csv "results/$name.csv" "$1" >"results/$name.log" 2>&1 ||
        fail "timing $name failed: $(tail -n 3 "results/$name.log")"
    awk -F, 'NR == 2 { printf "%.3f\n", $4 * 1000 }' "results/$name.csv" >"results/$name"
}

# peak_rss NAME PREPARE COMMAND...: the median of three maximum resident set
# sizes, in KiB, goes to results/NAME; PREPARE runs before each.
peak_rss() {
    local name=$1 prepare=$2
    shift 2
    local i
    for i in 1 2 3; do
        sh -c "$prepare" || fail "preparing $name failed"
        # The figure is the last line; a failed exit adds a line before it.
        /usr/bin/time -f %M -o "results/$name.rss$i" "$@" >/dev/null 2>&1 || true
        tail -n 1 "results/$name.rss$i" | grep -qx '[0-9][0-9]*' ||
            fail "measuring the memory of $name failed"
    done
    tail -q -n 1 "results/$name.rss"[123] | sort -n | sed -n 2p >"results/$name"
}

echo "== Timing (medians of several runs; this takes about two minutes)"

# expect_way GAME WAY: one launch in GAME must take WAY ("rewrite" or
# "reuse"), or the figures would be of something else.
expect_way() {
    local log
    log=$("$1/DIVU.exe" DMM viewer_id=123 2>&1) || grep -q '^cant start client' <<<"$log" ||
        fail "the launcher failed in $1"
    grep -qx 'AppID change success' <<<"$log" || fail "no AppID change success in $1"
    if grep -q '^finded file:' <<<"$log"; then
        [ "$2" = rewrite ] || fail "the launcher rewrote the descriptor in $1"
    else
        [ "$2" = reuse ] || fail "the launcher did not rewrite the descriptor in $1"
    fi
}

# restore_descriptor GAME DATA: the shell command that puts a fresh copy of
# DATA in GAME's descriptor, as a new file (never written through a link).
restore_descriptor() {
    printf 'rm -f %s && cp %s %s' "$1/META-INF/AIR/application.xml" "$2" \
        "$1/META-INF/AIR/application.xml"
}

for size in small multi single; do
    # Writing 64 MiB leaves dirty pages whose writeback would slow whatever
    # runs next, so every run of the large cases starts with them written.
    case "$size" in
        small) runs=200 warmup=20 settle= ;;
        *) runs=9 warmup=1 settle="sync; " ;;
    esac
    data="data/$size.xml"

    # a) the rewrite way: no cached copy before each run.
    game="$work/rewrite-$size"
    make_game "$game" "$data"
    reset="rm -f $game/META-INF/AIR/application123.xml"
    sh -c "$reset" && expect_way "$game" rewrite
    time_it "rewrite-$size" "$runs" "$warmup" --prepare "sh -c '$settle$reset'" -- \
        "$game/DIVU.exe DMM viewer_id=123"
    peak_rss "rewrite-$size-rss" "$reset" "$game/DIVU.exe" DMM viewer_id=123
    time_it "sed-$size" "$runs" "$warmup" --prepare "sh -c '${settle}true'" \
        --output "$work/sed-$size.out" -- "sed '$replacement' $work/$data"
    peak_rss "sed-$size-rss" true sh -c "exec sed '$replacement' '$work/$data' >'$work/sed-$size.out'"
    cmp -s "$game/META-INF/AIR/application.xml" "sed-$size.out" ||
        fail "the launcher's descriptor differs from sed's for $size.xml"

    # b) the reuse way: the cached copy is there, and the descriptor holds
    # the original id again before each run (a file of its own, so that a
    # launcher that finds the cached copy already in place does not skip the
    # work being timed).
    game="$work/reuse-$size"
    make_game "$game" "$data" cached
    restore=$(restore_descriptor "$game" "$work/$data")
    expect_way "$game" reuse
    time_it "reuse-$size" "$runs" "$warmup" --prepare "sh -c '$settle$restore'" -- \
        "$game/DIVU.exe DMM viewer_id=123"
    peak_rss "reuse-$size-rss" "$restore" "$game/DIVU.exe" DMM viewer_id=123
    cmp -s "$game/META-INF/AIR/application.xml" "$game/META-INF/AIR/application123.xml" ||
        fail "the reuse way left a different descriptor for $size.xml"
    air="$work/cp-$size/META-INF/AIR"
    make_game "$work/cp-$size" "$data" cached
    restore=$(restore_descriptor "$work/cp-$size" "$work/$data")
    time_it "cp-$size" "$runs" "$warmup" --prepare "sh -c '$settle$restore'" -- \
        "cp $air/application123.xml $air/application.xml"
    peak_rss "cp-$size-rss" "$restore" cp "$air/application123.xml" "$air/application.xml"
    rm -rf "$work/rewrite-$size" "$work/reuse-$size" "$work/cp-$size" "$work/sed-$size.out"
done

# d) a whole launch on the small descriptor, with the no-op client.
game="$work/launch"
make_game "$game" data/small.xml client
reset="rm -f $game/META-INF/AIR/application123.xml"
restore=$(restore_descriptor "$game" "$work/data/small.xml")
sh -c "$reset" && expect_way "$game" rewrite && expect_way "$game" reuse
time_it launch-first 300 30 --prepare "sh -c '$reset'" -- "$game/DIVU.exe DMM viewer_id=123"
time_it launch-reuse 300 30 --prepare "sh -c '$restore'" -- "$game/DIVU.exe DMM viewer_id=123"
time_it launch-floor 300 30 -- "$floor $game/KEMU_Client.exe DMM viewer_id=123"
time_it script-first 200 20 --prepare "sh -c '$reset'" -- "sh $game/peer.sh DMM viewer_id=123"
time_it script-reuse 200 20 --prepare "sh -c '$restore'" -- "sh $game/peer.sh DMM viewer_id=123"
[ -f "$game/META-INF/AIR/application123.xml" ] || fail "the script peer made no cached copy"

# ---------------------------------------------------------------- the table

r() { cat "results/$1"; }
rows=()
# row CASE OURS PEER UNIT GOAL-KIND GOAL: the goal is "max-ratio" (ours/peer
# at most GOAL), "min-speedup" (peer/ours at least GOAL), "max-kib" (ours at
# most GOAL KiB) or "none".
row() { rows+=("$*"); }

line_kib=$(($(stat -c %s data/single.xml) / 1024))
row "rewrite 4 KiB vs sed" "$(r rewrite-small)" "$(r sed-small)" ms none -
row "rewrite 64 MiB lines vs sed" "$(r rewrite-multi)" "$(r sed-multi)" ms max-ratio 1.0
row "rewrite 64 MiB one line vs sed" "$(r rewrite-single)" "$(r sed-single)" ms max-ratio 2.0
row "reuse 4 KiB vs cp" "$(r reuse-small)" "$(r cp-small)" ms max-ratio 1.5
row "reuse 64 MiB lines vs cp" "$(r reuse-multi)" "$(r cp-multi)" ms max-ratio 1.5
row "reuse 64 MiB one line vs cp" "$(r reuse-single)" "$(r cp-single)" ms max-ratio 1.5
row "max RSS rewrite 4 KiB vs sed" "$(r rewrite-small-rss)" "$(r sed-small-rss)" KiB none -
row "max RSS rewrite 64 MiB lines vs sed" "$(r rewrite-multi-rss)" "$(r sed-multi-rss)" KiB \
    max-kib $((8 * 1024))
row "max RSS rewrite one line vs sed" "$(r rewrite-single-rss)" "$(r sed-single-rss)" KiB \
    max-kib $((3 * line_kib + 8 * 1024))
row "max RSS reuse 64 MiB lines vs cp" "$(r reuse-multi-rss)" "$(r cp-multi-rss)" KiB \
    max-kib $((8 * 1024))
row "max RSS reuse one line vs cp" "$(r reuse-single-rss)" "$(r cp-single-rss)" KiB \
    max-kib $((8 * 1024))
row "first launch vs floor" "$(r launch-first)" "$(r launch-floor)" ms max-ratio 1.3
row "reuse launch vs floor" "$(r launch-reuse)" "$(r launch-floor)" ms max-ratio 1.3
row "first launch vs script" "$(r launch-first)" "$(r script-first)" ms min-speedup 3
row "reuse launch vs script" "$(r launch-reuse)" "$(r script-reuse)" ms min-speedup 3

echo
printf '%s\n' "${rows[@]}" | awk '
BEGIN {
    format = "%-37s %11s %11s %7s  %-22s %s\n"
    printf format, "case", "ours", "peer", "ratio", "goal", "met"
}
{
    # The case name has blanks; the last five fields are the figures.
    goal = $NF; kind = $(NF - 1); unit = $(NF - 2); peer = $(NF - 3); ours = $(NF - 4)
    name = $1
    for (i = 2; i <= NF - 5; i++) name = name " " $i
    ratio = peer > 0 ? ours / peer : 0
    if (kind == "max-ratio") {
        goalText = sprintf("ours <= %.1fx peer", goal); met = ratio <= goal
    } else if (kind == "min-speedup") {
        goalText = sprintf("%gx faster than peer", goal); met = ratio > 0 && 1 / ratio >= goal
    } else if (kind == "max-kib") {
        goalText = sprintf("ours < %.0f MiB", goal / 1024); met = ours < goal
    } else {
        goalText = "-"; met = -1
    }
    if (unit == "KiB") {
        oursText = sprintf("%.1f MiB", ours / 1024); peerText = sprintf("%.1f MiB", peer / 1024)
    } else {
        oursText = sprintf("%.2f ms", ours); peerText = sprintf("%.2f ms", peer)
    }
    printf format, name, oursText, peerText, sprintf("%.2f", ratio), goalText,
        met < 0 ? "-" : (met ? "met" : "NOT MET")
}'
echo
echo "ours: the launcher (build/native-release/DIVU.exe, stdout to /dev/null); peer: sed, cp,"
echo "the floor (bench/floor.cpp) or the script (bench/peer.sh); times are medians, ratio = ours/peer."

echo
# The Windows build under Wine: a whole launch against its floor, and 20 at once.
bash "$repo/scripts/bench-wine.sh"
