#!/bin/sh
# The launcher's job done by a shell script, as a peer to time it against:
# find the id in the arguments, make the cached copy with sed unless it is
# there, put it over the descriptor, and start the client without waiting.
# It lives in the game folder, as the launcher does.
dir=$(dirname "$0")
air="$dir/META-INF/AIR"
case "$1" in
    *kemumclient*)
        account=$(printf '%s\n' "$*" | grep -oE 'account=[0-9]+' | head -n 1)
        sid=$(printf '%s\n' "$*" | grep -oE 'sid=[0-9]+' | head -n 1)
        id="${account#account=}${sid#sid=}"
        ;;
    *DMM*)
        id=$(printf '%s\n' "$*" | grep -oE 'viewer_id=[0-9]+' | head -n 1)
        id=${id#viewer_id=}
        ;;
    *) id= ;;
esac
if [ -n "$id" ]; then
    cached="$air/application$id.xml"
    if [ ! -f "$cached" ]; then
        sed "s/<id>.*<\/id>/<id>DIVU$id<\/id>/" "$air/application.xml" >"$cached" || exit 1
    fi
    cp "$cached" "$air/application.xml" || exit 1
fi
"$dir/KEMU_Client.exe" "$@" &
