#!/usr/bin/env bash
# Runs a command with the https services of the connection tests (tests/actions/
# connection_security_test.cpp) started, for test programs that cannot start them themselves
# (the Windows tests under Wine):
#
#   scripts/with-tls-services.sh COMMAND [ARGS...]
#
# It makes the test certificates in a fresh folder (tests/support/make_test_authority.sh),
# starts one tools/devservice per certificate on 127.0.0.1 with --tls-cert/--tls-key, writes
# each one's address to NAME.url in that folder, and runs the command with ORVEX_TLS_SERVICES
# naming the folder. The services are stopped and the folder removed when the command ends;
# the script exits with the command's status.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 1 ] || { echo "usage: $0 COMMAND [ARGS...]" >&2; exit 2; }

folder=$(mktemp -d /tmp/orvex-tls-services-XXXXXX)
pids=()
stop() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$folder"
}
trap stop EXIT

sh "$root/tests/support/make_test_authority.sh" "$folder"
for name in valid wrong-name expired untrusted; do
  python3 "$root/tools/devservice/devservice.py" --port 0 --port-file "$folder/$name.port" \
    --quiet --tls-cert "$folder/$name.pem" --tls-key "$folder/$name.key" >/dev/null &
  pids+=($!)
done
for name in valid wrong-name expired untrusted; do
  for _ in $(seq 200); do
    [ -s "$folder/$name.port" ] && break
    sleep 0.05
  done
  [ -s "$folder/$name.port" ] || { echo "$0: the $name service did not start" >&2; exit 1; }
  echo "https://127.0.0.1:$(cat "$folder/$name.port")" >"$folder/$name.url"
done

status=0
ORVEX_TLS_SERVICES=$folder "$@" || status=$?
exit "$status"
