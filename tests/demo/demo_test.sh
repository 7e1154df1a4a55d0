#!/usr/bin/env bash
# The demo, run as a newcomer runs it but on this build's programs:
#  1. scripts/demo exits 0, shows the table and a summary whose counts per
#     application equal what each host program says it tracked, and so did
#     zeb-inspect --received --follow while the hosts ran;
#  2. a host program run against a server that keeps the log on the client
#     (NOLOG) leaves a data directory in which zeb-inspect finds exactly
#     the events the host tracked (its manual sync allowed at once by
#     zeb-callhome --dev alone); foreign and damaged files beside them are
#     reported, not fatal; a configuration file edited by hand is reported
#     with an invalid signature;
#  3. the demo says plainly when the server cannot start (its port is taken)
#     and exits non-zero.
# Usage: demo_test.sh SOURCE_DIR BUILD_DIR WORK_DIR
set -euo pipefail
src="$1"
bin="$2"
work="$3"
rm -rf "$work"
mkdir -p "$work"
export TMPDIR="$work"
callhome="$bin/tools/callhome/zeb-callhome"
inspect="$bin/tools/inspect/zeb-inspect"
key="000102030405060708090A0B0C0D0E0F"
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill -TERM "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
}
trap cleanup EXIT
failure() {
    echo "FAILED: $*" >&2
    exit 1
}
# Starts zeb-callhome with the given arguments; sets `port`.
start_server() {
    local portfile="$work/port.$RANDOM"
    "$callhome" --port-file "$portfile" --aes-key "$key" "$@" >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        [ -s "$portfile" ] && break
        sleep 0.1
    done
    [ -s "$portfile" ] || failure "zeb-callhome did not start"
    port="$(cat "$portfile")"
}

# 1. The demo itself.
out="$work/demo.out"
if ! ZEB_DEMO_PREBUILT="$bin" timeout 150 bash "$src/scripts/demo" >"$out" 2>&1; then
    cat "$out"
    failure "scripts/demo exited non-zero"
fi
grep -q "^== What the server received" "$out" || failure "no table of received events"
grep -qE "^  TIME +APP +SESSION +TYPE +CATEGORY +NAME +VALUE" "$out" || failure "table heading"
# Each host syncs twice; whether the manual sync's upload leaves anything
# for the final one depends on how fast the host goes on tracking.
grep -qE "requests      2 newreg, 4 sync, [2-4] upload; all answered with HTTP 200" "$out" ||
    failure "summary of requests: $(grep requests "$out")"
for app in DemoC DemoCpp; do
    tracked="$(sed -n "s/^$app tracked: //p" "$out")"
    received="$(sed -n "s/^  $app received: //p" "$out")"
    [ -n "$tracked" ] && [ "$tracked" = "$received" ] ||
        failure "$app tracked '$tracked' but the server received '$received'"
done
# Every kind of record the C host made appears in the table.
for kind in "app start" "session start" event numeric text custom exception "session stop" \
    "app stop"; do
    grep -qE "DemoC +[^ ]+ +$kind( |$)" "$out" || failure "no '$kind' row for DemoC"
done
grep -q "Welcome, client" "$out" || failure "the reach-out message was not shown"
grep -qE "^[0-9]+ event lines, every tracked event among them" "$out" ||
    failure "zeb-inspect --follow: $(grep -A2 '^== What zeb-inspect --received --follow' "$out")"
grep -q "^== Done" "$out" || failure "the demo did not reach its end"

# 2. zeb-inspect on a data directory that still holds its log.
cat >"$work/nolog.script" <<'SCRIPT'
[newreg]
CLIENTID:${NEWID}
[sync]
INSTRUCTION:NOLOG
****REACHOUT
DIMENSIONS:200x100
SCREENPOSITION:0
MESSAGECONTENT:kept
SCRIPT
start_server --dev --script "$work/nolog.script"
data="$work/data"
mkdir -p "$data"
timeout 60 "$bin/examples/zeb_demo_host_c" "$data" "127.0.0.1:$port/demo" "$key" >"$work/host.out" ||
    failure "the C host failed against the NOLOG server: $(cat "$work/host.out")"
tracked="$(sed -n 's/^DemoC tracked: //p' "$work/host.out")"
grep -qE "zebSync with reach-out +-> 0$" "$work/host.out" || failure "the manual sync was refused"
echo "junk" >"$data/notes.txt"
head -c 4096 /dev/urandom >"$data/zeblogV5_X_qhwnpcodkv_App_0000000000001.log"
"$inspect" --json "$data" >"$work/inspect.json" || failure "zeb-inspect --json exited non-zero"
"$inspect" "$data" >"$work/inspect.txt" || failure "zeb-inspect exited non-zero"
count() { grep '"record":"event"' "$work/inspect.json" | grep -c "\"type\":\"$1\"" || true; }
seen="plain=$(count 0021) numeric=$(count 0022) text=$(count 0023) custom=$(count 0024)"
seen="$seen exception=$(count 0031) user-sessions=$(count 0012)"
[ "$seen" = "$tracked" ] || failure "zeb-inspect found '$seen', the host tracked '$tracked'"
grep -q '"record":"skipped","file":"notes.txt"' "$work/inspect.json" || failure "foreign file not reported"
grep -q '"record":"problem","file":"zeblogV5_X_' "$work/inspect.json" || failure "damaged log not reported"
grep -q '"signature":"valid"' "$work/inspect.json" || failure "the host's configuration is not valid"
grep -q '"AUTOSYNCTIMETHRESHOLD":1,"MANUALSYNCTIMETHRESHOLD":0,' "$work/inspect.json" ||
    failure "the --dev settings are not in the host's configuration"
grep -q 'text  *Search  *Query  *coffee \$5\\nand cake' "$work/inspect.txt" ||
    failure "escapes of a text event not honoured in the table"
config="$(ls "$data"/zebconfigV5_*.cfg)"
sed -i 's/^FEATLISTLIMIT:3000$/FEATLISTLIMIT:3001/' "$config"
# Whole outputs go to files: with pipefail, grep -q ending a pipe early
# would fail it.
"$inspect" --json "$data" >"$work/edited.json"
"$inspect" "$data" >"$work/edited.txt"
grep -q '"signature":"invalid"' "$work/edited.json" || failure "edited configuration not reported"
grep -q "signature INVALID" "$work/edited.txt" || failure "edited configuration not shown as invalid"

# 3. A port that is taken: a plain message and a non-zero exit.
start_server
if ZEB_DEMO_PREBUILT="$bin" ZEB_DEMO_PORT="$port" timeout 60 bash "$src/scripts/demo" \
    >"$work/busy.out" 2>&1; then
    failure "the demo succeeded on a port already in use"
fi
grep -q "demo failed: the call-home server could not start on port $port" "$work/busy.out" ||
    failure "no plain message for a taken port: $(tail -3 "$work/busy.out")"
echo "demo test passed"
