#!/usr/bin/env bash
# Starts or stops the QR services the GUI tests talk to, inside the sandbox:
#   PNG answers on 127.0.0.1:80 (where the hosts file sends the program's service host),
#   JPEG answers on 127.0.0.2:80 (for tests that point the host there instead).
# Each logs its requests into DIR/requests-png.log or DIR/requests-jpeg.log, each line ending in a
# tab and the request's User-Agent header.
#   service.sh start QR_SERVICE DIR  |  service.sh stop DIR
set -euo pipefail
case "$1" in
  start)
    program=$2 dir=$3
    mkdir -p "$dir"
    "$0" stop "$dir"
    for format in png jpeg; do
      address=127.0.0.1; [ "$format" = jpeg ] && address=127.0.0.2
      : > "$dir/requests-$format.log"
      setsid "$program" --listen "$address:80" --format "$format" --log "$dir/requests-$format.log" \
        --log-header User-Agent \
        > "$dir/service-$format.out" 2>&1 < /dev/null &
      echo $! > "$dir/service-$format.pid"
    done
    for format in png jpeg; do
      for _ in $(seq 200); do grep -q 'listening on' "$dir/service-$format.out" 2>/dev/null && break; sleep 0.05; done
      grep -q 'listening on' "$dir/service-$format.out" || { echo "qr-service ($format) did not start:"; cat "$dir/service-$format.out"; exit 1; }
    done
    echo "services up: $(cat "$dir"/service-*.out | tr '\n' ' ')"
    ;;
  stop)
    dir=$2
    for pidfile in "$dir"/service-*.pid; do
      [ -f "$pidfile" ] || continue
      kill "$(cat "$pidfile")" 2>/dev/null || true
      rm -f "$pidfile"
    done
    ;;
  *) echo "usage: service.sh start QR_SERVICE DIR | stop DIR" >&2; exit 2 ;;
esac
