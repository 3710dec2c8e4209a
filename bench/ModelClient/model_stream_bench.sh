#!/usr/bin/env bash
# A 100,000-line generation stream from the fake model server, read by our client and by curl (to /dev/null)
# in the same run, alternating, each run in its own process: wall time and peak memory (max RSS) per reader,
# medians over the runs, and our client's ratios to curl.
#
#   model_stream_bench.sh <model_stream_client> <fake_model_server> [runs]
set -euo pipefail
# The times are read and written with a decimal point (printf and awk follow the locale's otherwise).
export LC_ALL=C
client=$1
server=$2
runs=${3:-5}
lines=100000
work=$(mktemp -d)
server_pid=
cleanup() {
    if [ -n "$server_pid" ]; then kill "$server_pid" 2>/dev/null || true; fi
    rm -rf "$work"
}
trap cleanup EXIT
export XDG_DATA_HOME="$work/data"

# One line shaped like the server's: about 110 bytes, a word per line; then the final "done" line.
cat >"$work/script.json" <<JSON
{"routes": [{"method": "POST", "path": "/api/generate", "repeat": $((lines - 1)),
  "lines": [{"model": "llama3.1:8b", "created_at": "2026-03-01T14:05:09.123456789Z", "response": " word", "done": false}],
  "finalLines": [{"model": "llama3.1:8b", "created_at": "2026-03-01T14:05:19.123456789Z", "response": "", "done": true,
                  "done_reason": "stop", "total_duration": 10000000000, "eval_count": $lines}]}]}
JSON
"$server" --script "$work/script.json" >"$work/server.log" 2>&1 &
server_pid=$!
for _ in $(seq 100); do
    if grep -q '^listening on ' "$work/server.log"; then break; fi
    sleep 0.05
done
url=$(sed -n 's/^listening on //p' "$work/server.log" | head -1)
[ -n "$url" ] || { echo "fake server did not start"; cat "$work/server.log"; exit 1; }
body='{"model":"llama3.1:8b","system":"","prompt":"Tell me a long story.","stream":true}'

for run in $(seq "$runs"); do
    /usr/bin/time -f "%e %M" -o "$work/client.$run" "$client" "$url" >"$work/client.out.$run"
    grep -q "^pieces $lines " "$work/client.out.$run" || { echo "client read a short stream:"; cat "$work/client.out.$run"; exit 1; }
    /usr/bin/time -f "%e %M" -o "$work/curl.$run" \
        curl -sS --fail --noproxy '*' -o /dev/null -H 'Content-Type: application/json' -d "$body" "$url/api/generate"
done
bytes=$(curl -sS --noproxy '*' -H 'Content-Type: application/json' -d "$body" "$url/api/generate" | wc -c)

median() { sort -n | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }
client_s=$(cat "$work"/client.[0-9]* | awk '{print $1}' | median)
client_kb=$(cat "$work"/client.[0-9]* | awk '{print $2}' | median)
curl_s=$(cat "$work"/curl.[0-9]* | awk '{print $1}' | median)
curl_kb=$(cat "$work"/curl.[0-9]* | awk '{print $2}' | median)
echo "stream: $lines lines, $bytes bytes; $runs runs each, medians"
printf "our client: %.3f s, peak %d KiB\n" "$client_s" "$client_kb"
printf "curl:       %.3f s, peak %d KiB\n" "$curl_s" "$curl_kb"
awk -v a="$client_s" -v b="$curl_s" -v c="$client_kb" -v d="$curl_kb" \
    'BEGIN { printf "ratio (ours / curl): time %.2fx, peak memory %.2fx\n", (b > 0 ? a / b : 0), (d > 0 ? c / d : 0) }'
