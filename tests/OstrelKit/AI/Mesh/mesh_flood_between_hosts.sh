#!/bin/sh
# One two-host run of quorvantile-mesh-flood: host b publishes an honest peer, then <count> records of <kind>,
# then a second honest peer; host a's discovery must show the second one (or, for "followed", its move and
# rename) no more than <margin> seconds later than the first took alone.
#   mesh_flood_between_hosts.sh <nethosts> <tool> <kind> <count> <last> <margin s> <timeout s>
# Host b holds every test address on its loopback interface; host a routes them through b.
set -u
nethosts=$1 tool=$2 kind=$3 count=$4 last=$5 margin=$6 timeout=$7
dir=$(mktemp -d "${TMPDIR:-/tmp}/mesh-flood.XXXXXX")
chmod 0777 "$dir"
{
    for a in 10.214.0.4 10.214.1.3 10.214.1.5 10.214.1.6; do echo "addr add $a/32 dev lo"; done
    for i in $(seq 0 127); do echo "addr add 10.214.3.$i/32 dev lo"; done
    for i in $(seq 0 15); do echo "addr add 10.214.2.$i/32 dev lo"; done
} >"$dir/addresses"
rc=0
"$nethosts" --timeout "$((timeout + 60))" --log-dir "$dir/logs" -- \
    "ip route add 10.214.0.0/16 via \$NETHOST_PEER_ADDRESS && '$tool' watch '$dir' $last $margin $timeout" \
    "ip -batch '$dir/addresses' && '$tool' publish '$dir' $kind $count" || rc=$?
# What each host saw, the measured delays included.
for h in a b; do
    [ -f "$dir/logs/host-$h/command.log" ] && sed "s/^/host $h: /" "$dir/logs/host-$h/command.log"
done
rm -rf "$dir"
exit "$rc"
