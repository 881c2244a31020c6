#!/usr/bin/env bash
# Runs the fleet example's playbook with the local connection against
# simulated displays: it must configure the displays, change nothing when run
# again, and fail exactly the host whose display fails.
# Usage: fleet_playbook.sh PANTRIX_CLI PANTRIX_DISPLAY_SIM EXAMPLE_DIR
set -euo pipefail
cli=$1 sim=$2 example=$3
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a simulated display and puts its port in the variable named first.
# Not run in a command substitution: that subshell would keep the process id
# from the clean-up, and the displays would outlive the test. The log exists
# before the display starts, and the wait is for the line that names the port
# (up to a minute, for a busy machine), not for the file.
start_display() {
  local name=$1 port pid line
  shift
  local log="$work/sim${#pids[@]}.log"
  : >"$log"
  "$sim" --fast --listen 127.0.0.1:0 "$@" >"$log" 2>&1 &
  pid=$!
  pids+=("$pid")
  for _ in $(seq 600); do
    port=
    # Whole lines only: the last one may still be being written.
    while IFS= read -r line; do
      [[ $line =~ ^listening\ on\ 127\.0\.0\.1:([0-9]+)$ ]] && port=${BASH_REMATCH[1]}
    done <"$log"
    if [ -n "$port" ]; then
      printf -v "$name" '%s' "$port"
      return
    fi
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  echo "simulated display did not start: $(cat "$log")" >&2
  exit 1
}

start_display good1
start_display good2
start_display silent --silent

cat >"$work/inventory.yml" <<YAML
all:
  children:
    display_hosts:
      vars:
        ansible_connection: local
        ansible_python_interpreter: /usr/bin/python3
        pantrix_settings: $example/files/site.esv
        pantrix_brightness: $example/files/site.hsv
      hosts:
        good:
          pantrix_ports: [rfc2217://127.0.0.1:$good1, rfc2217://127.0.0.1:$good2]
        bad:
          pantrix_ports: [rfc2217://127.0.0.1:$silent]
YAML

export ANSIBLE_HOME="$work/ansible" ANSIBLE_LOCAL_TEMP="$work/ansible/tmp" ANSIBLE_NOCOLOR=1 \
  ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_DEPRECATION_WARNINGS=0
play() {
  ansible-playbook -i "$work/inventory.yml" "$example/playbook.yml" \
    -e "pantrix_cli=$cli" -e "pantrix_records_dir=$work/records" "$@"
}
recap() { sed -n "s/^$1 *: \(.*\)$/\1/p" <<<"$2"; }
check() {
  if ! grep -Eq "$2" <<<"$3"; then
    echo "FAIL: $1: expected /$2/ in: $3" >&2
    exit 1
  fi
  echo "ok: $1"
}

first=$(play --limit good) || { echo "$first"; echo "FAIL: first run of host good failed" >&2; exit 1; }
check "first run changes the displays" 'changed=[1-9]' "$(recap good "$first")"
second=$(play --limit good) || { echo "$second"; echo "FAIL: second run failed" >&2; exit 1; }
check "second run changes nothing" 'changed=0 .*failed=0' "$(recap good "$second")"

status=0
both=$(play) || status=$?
[ "$status" -ne 0 ] || { echo "$both"; echo "FAIL: a failing display did not fail the run" >&2; exit 1; }
check "the host with a silent display fails" 'failed=1' "$(recap bad "$both")"
check "the other host still succeeds" 'failed=0' "$(recap good "$both")"
check "the failure names its reason" 'no-ack|no ACK' "$both"
