#!/bin/sh
# Four test phones on one test host, started together, and a receiver on the other: each phone's capture
# goes in and its model comes back byte for byte.
#   phones-started-together.sh <nethosts> <receiver tool> <test phone>
set -eu
nethosts=$1
receiver=$2
phone=$3
work=$(mktemp -d)
mkdir "$work/frames"
for i in 0 1 2; do
    head -c 200000 /dev/urandom >"$work/frames/frame_0000$i.jpg"
done
rc=0
"$nethosts" --timeout 240 -- "$receiver $work/receiver 4 4" \
    "pids=''; for n in 1 2 3 4; do $phone $work/frames $work/phone\$n P\$n & pids=\"\$pids \$!\"; done; rc=0; for p in \$pids; do wait \$p || rc=1; done; exit \$rc" \
    || rc=$?
if [ "$rc" -ne 0 ]; then
    rm -rf "$work"
    exit "$rc"
fi
for n in 1 2 3 4; do
    cmp "$work/receiver/Inbox/P$n/model.usdz" "$work/phone$n/model.usdz"
done
rm -rf "$work"
