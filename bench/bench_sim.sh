#!/usr/bin/env bash
# VarloSim under load: requests per second for GET /connection/state and POST
# /protocol/exchange, measured with wrk on loopback, side by side with nginx
# serving static documents of the same sizes as the ceiling; and the time from
# starting VarloSim to its first answered request.
#
#   bench/bench_sim.sh [path/to/VarloSim]      (default build/sim/VarloSim)
#
# Environment: BENCH_DURATION (seconds per run, default 5), BENCH_CONNECTIONS
# (default "1 16"), BENCH_THREADS (wrk threads, default 2). Installs wrk and
# nginx-light with apt-get when they are missing (needs root then).
# VarloSim runs on 127.0.0.7, nginx on 127.0.0.8, both on port 22000.
set -euo pipefail
cd "$(dirname "$0")/.."

sim_binary=${1:-build/sim/VarloSim}
duration=${BENCH_DURATION:-5}
connection_counts=${BENCH_CONNECTIONS:-"1 16"}
threads=${BENCH_THREADS:-2}
sim_address=127.0.0.7
nginx_address=127.0.0.8
port=22000

if [ ! -x "$sim_binary" ]; then
  echo "error: $sim_binary not found; build first (cmake --build build --target VarloSim)" >&2
  exit 1
fi

need=()
command -v wrk >/dev/null || need+=(wrk)
command -v nginx >/dev/null || [ -x /usr/sbin/nginx ] || need+=(nginx-light)
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "error: missing ${need[*]}; run as root or install them" >&2
    exit 1
  fi
  echo "== installing: ${need[*]}"
  DEBIAN_FRONTEND=noninteractive apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
fi
nginx_binary=$(command -v nginx || echo /usr/sbin/nginx)

work=$(mktemp -d)
sim_pid=
nginx_pid=
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null || true
  [ -n "$nginx_pid" ] && kill "$nginx_pid" 2>/dev/null && wait "$nginx_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

now_ns() { date +%s%N; }

# One HTTP request with bash's /dev/tcp; prints the body, fails without an answer.
http() {
  local method=$1 address=$2 path=$3 body=${4:-}
  exec 3<>"/dev/tcp/$address/$port" || return 1
  printf '%s %s HTTP/1.1\r\nHost: %s\r\nConnection: close\r\nContent-Type: application/json\r\nContent-Length: %d\r\n\r\n%s' \
    "$method" "$path" "$address" "${#body}" "$body" >&3
  local reply
  reply=$(cat <&3) || true
  exec 3<&- 3>&-
  [ -n "$reply" ] || return 1
  printf '%s' "${reply#*$'\r\n\r\n'}"
}

# Starts VarloSim on a folder; sets sim_pid and startup_ms (milliseconds to
# its first answer). Not for $(...): the pid must reach this shell.
start_sim() {
  local folder=$1
  local start end
  start=$(now_ns)
  "$sim_binary" --root "$folder" --address "$sim_address" >"$work/sim.log" 2>&1 &
  sim_pid=$!
  while ! http GET "$sim_address" /connection/state >/dev/null 2>&1; do
    if ! kill -0 "$sim_pid" 2>/dev/null; then
      echo "error: VarloSim did not start:" >&2
      cat "$work/sim.log" >&2
      exit 1
    fi
    if [ $(( ($(now_ns) - start) / 1000000 )) -gt 10000 ]; then
      echo "error: VarloSim did not answer within 10 s" >&2
      exit 1
    fi
  done
  end=$(now_ns)
  startup_ms=$(( (end - start) / 1000000 ))
}

stop_sim() {
  kill "$sim_pid" 2>/dev/null || true
  wait "$sim_pid" 2>/dev/null || true
  sim_pid=
}

echo "== start-up: launch to first answered request"
if http GET "$sim_address" /connection/state >/dev/null 2>&1; then
  echo "error: something already answers on $sim_address:$port" >&2
  exit 1
fi
mkdir -p "$work/fresh"
start_sim "$work/fresh"
fresh_ms=$startup_ms
stop_sim
start_sim "$work/fresh"
again_ms=$startup_ms
echo "   fresh folder (writes the default documents): $fresh_ms ms"
echo "   folder set up before:                        $again_ms ms"

# What the library sends in every exchange.
exchange_request='{"controlMode":"disable","coordinate":"joint","jogMode":"jog","toolCoordinate":0,"userCoordinate":0,"alarms":false,"outputs":{"enable":false,"value":[0,0,0,0,0,0,0,0]}}'
state_body=$(http GET "$sim_address" /connection/state)
exchange_body=$(http POST "$sim_address" /protocol/exchange "$exchange_request")

# nginx serves the same bodies as static files.
mkdir -p "$work/www" "$work/nginx"
printf '%s' "$state_body" >"$work/www/state.json"
printf '%s' "$exchange_body" >"$work/www/exchange.json"
cat >"$work/nginx/nginx.conf" <<EOF
worker_processes 2;
daemon off;
pid $work/nginx/nginx.pid;
error_log $work/nginx/error.log warn;
events { worker_connections 1024; }
http {
  access_log off;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  keepalive_requests 1000;
  server {
    listen $nginx_address:$port;
    root $work/www;
    default_type application/json;
    location = /connection/state { try_files /state.json =404; }
    location = /protocol/exchange { try_files /exchange.json =404; }
  }
}
EOF
"$nginx_binary" -c "$work/nginx/nginx.conf" -p "$work/nginx" 2>"$work/nginx/start.log" &
nginx_pid=$!
for _ in $(seq 100); do
  http GET "$nginx_address" /connection/state >/dev/null 2>&1 && break
  sleep 0.05
done

cat >"$work/post.lua" <<EOF
wrk.method = "POST"
wrk.body = '$exchange_request'
wrk.headers["Content-Type"] = "application/json"
EOF

# Prints "requests/s average-latency" of one wrk run.
run_wrk() {
  local connections=$1 url=$2 script=${3:-}
  local t=$threads
  [ "$connections" -lt "$t" ] && t=$connections
  local out
  if [ -n "$script" ]; then
    out=$(wrk -t"$t" -c"$connections" -d"${duration}s" -s "$script" "$url")
  else
    out=$(wrk -t"$t" -c"$connections" -d"${duration}s" "$url")
  fi
  local rps latency errors
  rps=$(awk '/^Requests\/sec:/ {print $2}' <<<"$out")
  latency=$(awk '/^ +Latency/ {print $2}' <<<"$out")
  errors=$(grep -E "Non-2xx|Socket errors" <<<"$out" | tr -s ' ' | tr '\n' ';' || true)
  echo "${rps:-0} ${latency:-?} ${errors}"
}

echo
echo "== requests per second (wrk, ${duration} s per run, $(nproc) cores shared by wrk and the server)"
echo "   bodies: /connection/state ${#state_body} bytes, /protocol/exchange ${#exchange_body} bytes"
printf '   %-30s %5s %14s %10s %14s %10s %7s\n' "request" "conns" "VarloSim req/s" "latency" "nginx req/s" "latency" "ratio"
for connections in $connection_counts; do
  read -r sim_rps sim_lat sim_err < <(run_wrk "$connections" "http://$sim_address:$port/connection/state")
  read -r ngx_rps ngx_lat _ < <(run_wrk "$connections" "http://$nginx_address:$port/connection/state")
  printf '   %-30s %5s %14s %10s %14s %10s %7s %s\n' "GET /connection/state" "$connections" "$sim_rps" "$sim_lat" \
    "$ngx_rps" "$ngx_lat" "$(awk -v a="$sim_rps" -v b="$ngx_rps" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')" "$sim_err"
  # nginx does not take POSTs for static files: its ceiling is a GET of a
  # document of the same size as the exchange reply.
  read -r sim_rps sim_lat sim_err < <(run_wrk "$connections" "http://$sim_address:$port/protocol/exchange" "$work/post.lua")
  read -r ngx_rps ngx_lat _ < <(run_wrk "$connections" "http://$nginx_address:$port/protocol/exchange")
  printf '   %-30s %5s %14s %10s %14s %10s %7s %s\n' "POST /protocol/exchange" "$connections" "$sim_rps" "$sim_lat" \
    "$ngx_rps" "$ngx_lat" "$(awk -v a="$sim_rps" -v b="$ngx_rps" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')" "$sim_err"
done
echo
echo "   (ratio: VarloSim / nginx; the nginx column for the exchange is a GET of a static"
echo "    document of the exchange reply's size)"
stop_sim
