#!/usr/bin/env bash
# Shows the launcher at work on the sample game: builds it (the Windows build,
# run under Wine, unless DEMO_BUILD=native asks for the native one), copies
# the sample game to a fresh folder under build/, and launches it the way the
# platforms do, last from a game folder whose name the ANSI code page lacks.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# shellcheck source=deps.sh
source "$repo/scripts/deps.sh"

heading() { printf '\n== %s ==\n' "$*"; }

# Wine writes CR LF; the lines read the same either way on a terminal.
show() { tr -d '\r'; }

kind=${DEMO_BUILD:-windows}
case "$kind" in
    windows | native) ;;
    *)
        echo "DEMO_BUILD must be windows or native, not $kind" >&2
        exit 2
        ;;
esac

if [ "$kind" = windows ]; then
    ensure_packages "${native_packages[@]}" "${windows_packages[@]}"
    # A Western code page, in which Japanese names have no place; Wine needs
    # a UTF-8 locale to reach such names at all.
    export WINEPREFIX="$repo/build/windows/wineprefix" WINEDEBUG=-all LC_ALL=C.UTF-8
    run() { wine "$@"; }
    stop_wine() { wineserver -k >/dev/null 2>&1 || true; }
    trap stop_wine EXIT
else
    ensure_packages "${native_packages[@]}"
    run() { "$@"; }
fi

heading "Building the launcher and the sample client ($kind build)"
cd "$repo"
cmake --preset "$kind" >/dev/null
if ! cmake --build --preset "$kind" --target DIVU sample_client >/dev/null; then
    echo "build failed" >&2
    exit 1
fi
echo "built build/$kind/DIVU.exe and build/$kind/examples/KEMU_Client.exe"
if [ "$kind" = windows ] && [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "preparing the Wine prefix ${WINEPREFIX#"$repo"/} (once)"
    wine wineboot --init >/dev/null 2>&1
fi

demo="$repo/build/demo/$kind"
game="$demo/game"
air="$game/META-INF/AIR"
rm -rf "$demo"
mkdir -p "$demo"
# make_game FOLDER: the sample game with the launcher and the sample client.
make_game() {
    mkdir -p "$(dirname "$1")"
    cp -R "$repo/examples/game" "$1"
    cp "$repo/build/$kind/DIVU.exe" "$1/"
    cp "$repo/build/$kind/examples/KEMU_Client.exe" "$1/"
}
make_game "$game"
heading "Game folder: ${game#"$repo"/}"
(cd "$game" && find . -type f | sort)

# Prints what the client wrote, waiting for it a bounded time: the launcher
# returns as soon as the client has started, not when it is done.
show_client_args() {
    local tries=0
    while [ ! -f "$game/client-args.txt" ]; do
        tries=$((tries + 1))
        if [ "$tries" -gt 300 ]; then
            echo "the client wrote no client-args.txt within 30 s" >&2
            return 1
        fi
        sleep 0.1
    done
    show <"$game/client-args.txt"
}

# One launch with the given arguments: the launcher's log, then what the
# client received.
launch() {
    rm -f "$game/client-args.txt"
    heading "Launcher log: DIVU.exe $*"
    run "$game/DIVU.exe" "$@" 2>&1 | show
    heading "The client received (client-args.txt)"
    show_client_args
}

id_line() { grep -n '<id>' "$air/application.xml" | show; }

heading "Descriptor before (META-INF/AIR/application.xml)"
show <"$air/application.xml"

launch DMM viewer_id=123456

heading "Descriptor after"
show <"$air/application.xml"
if grep -q $'\r$' "$air/application.xml"; then echo "(written with CR LF line ends)"; fi

heading "META-INF/AIR now holds the cached copy for id 123456"
ls -l "$air"

echo
echo "### Second launch, same arguments: the cached copy is put in place (reuse way)"
launch DMM viewer_id=123456
heading "Descriptor id line"
id_line

echo
echo "### JP launch: the id is account + sid = 42 + 7 -> 427"
launch kemumclient account=42 sid=7
heading "Descriptor id line"
id_line
heading "META-INF/AIR"
ls -l "$air"

# 日本 ("Japan"): no Western code page has these characters.
game="$demo/日本/game"
air="$game/META-INF/AIR"
make_game "$game"
echo
echo "### A game folder named ${game#"$repo"/}, and an argument 名前=日本 (\"name=Japan\"):"
echo "### the log shows what the code page lacks as \"?\"; the files and the client get it all"
launch DMM viewer_id=777 名前=日本
heading "Descriptor id line"
id_line
heading "META-INF/AIR"
ls -l "$air"
