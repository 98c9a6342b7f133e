# shellcheck shell=bash
# Sourced by the scripts that run Quorvel against the reference web script (server/) on
# 127.0.0.1 (run, screenshots, notification-screenshot, check-package):
#
#   reference_server_start FOLDER   a configuration and a fresh SQLite database in FOLDER, the
#                                   user "demo" (password "demo") and the web servers; sets
#                                   REFERENCE_URL (the Script URL), REFERENCE_API (the API's URL),
#                                   REFERENCE_TOKEN and the command reference_admin (an array)
#   reference_post_demo             posts an order, a question with a form and a newsletter to
#                                   "demo" through the API, and returns when they are stored
#   reference_feed_start EVERY      the same in the background, then a new message every EVERY
#                                   seconds; its output also goes to standard error when
#                                   reference_echo=1
#   reference_settings FOLDER [DELAY]
#                                   Quorvel's settings in FOLDER (its XDG_CONFIG_HOME) as an
#                                   earlier run would have left them: the demo user with the
#                                   password saved, so that the Connection dialog stays closed
#   reference_held                  how many messages the client holds, by its own report (the
#                                   Index of its last poll)
#   reference_server_stop           ends the servers and the feed; call it when cleaning up
#
# A function that fails says why on standard error and returns 1; the log files stay in FOLDER.

reference_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
reference_work=""
reference_echo=0
reference_groups=()
reference_pids=()
reference_admin=()
REFERENCE_URL=""
REFERENCE_API=""
REFERENCE_TOKEN=""

# reference_serve WORKERS: starts `php -S` with that many workers on a free port, in a process
# group of its own (the workers are its children); sets reference_port.
reference_serve() {
  local candidate server
  for _ in 1 2 3 4 5; do
    candidate=$(php -r '$s = stream_socket_server("tcp://127.0.0.1:0"); $n = stream_socket_get_name($s, false); echo substr($n, strrpos($n, ":") + 1);')
    QUORVEL_CONFIG="$reference_work/config.php" PHP_CLI_SERVER_WORKERS=$1 \
      setsid php -S "127.0.0.1:$candidate" -t "$reference_root/server/public" >>"$reference_work/server.log" 2>&1 &
    server=$!
    reference_groups+=("$server")
    for _ in $(seq 50); do
      if php -r 'exit(@fsockopen("127.0.0.1", (int)$argv[1]) ? 0 : 1);' "$candidate"; then
        reference_port=$candidate
        return 0
      fi
      kill -0 "$server" 2>/dev/null || break
      sleep 0.1
    done
    # Another program took the port first, or php -S failed: try another one.
    kill -- "-$server" 2>/dev/null || true
  done
  echo "reference server: php -S did not start:" >&2
  cat "$reference_work/server.log" >&2
  return 1
}

reference_server_start() {
  reference_work=$1
  mkdir -p "$reference_work"
  reference_admin=(php "$reference_root/server/bin/quorvel-admin" --config "$reference_work/config.php")
  REFERENCE_TOKEN=$("${reference_admin[@]}" init-config "$reference_work/config.php" \
    --dsn "sqlite:$reference_work/quorvel.sqlite" | sed -n 's/^API token.*: //p')
  [[ -n "$REFERENCE_TOKEN" ]] || { echo "reference server: init-config gave no API token" >&2; return 1; }
  "${reference_admin[@]}" init >/dev/null || return 1
  echo demo | "${reference_admin[@]}" user-add demo >/dev/null || return 1

  # Polls and form replies on one server, with several workers so that a held poll blocks
  # nothing else; the API on a second one. A worker of `php -S` may take two connections that
  # arrive together and serve the second only after the first, which a held poll makes 25 s
  # (PHP-FPM has no such coupling, see docs/server.md).
  reference_serve 4 || return 1
  REFERENCE_URL="http://127.0.0.1:$reference_port/poll.php"
  reference_serve 2 || return 1
  REFERENCE_API="http://127.0.0.1:$reference_port/api.php"
}

reference_post_demo() {
  php "$reference_root/server/examples/demo-feed.php" --api "$REFERENCE_API" --token "$REFERENCE_TOKEN" \
    --user demo --count 3 --every 0 2>>"$reference_work/feed.log"
  local posted
  posted=$(grep -c 'posted message' "$reference_work/feed.log" || true)
  [[ "$posted" -ge 3 ]] || { echo "reference server: posting failed:" >&2; cat "$reference_work/feed.log" >&2; return 1; }
}

reference_feed_start() {
  if [[ "$reference_echo" == 1 ]]; then
    php "$reference_root/server/examples/demo-feed.php" --api "$REFERENCE_API" --token "$REFERENCE_TOKEN" \
      --user demo --every "$1" 2> >(tee -a "$reference_work/feed.log" >&2) &
  else
    php "$reference_root/server/examples/demo-feed.php" --api "$REFERENCE_API" --token "$REFERENCE_TOKEN" \
      --user demo --every "$1" 2>>"$reference_work/feed.log" &
  fi
  reference_pids+=($!)
}

reference_settings() {
  mkdir -p "$1/Quorvel1980Dax"
  cat >"$1/Quorvel1980Dax/user.reg" <<REG
REGEDIT4

[HKEY_CURRENT_USER\\Software\\Quorvel1980Dax]

[HKEY_CURRENT_USER\\Software\\Quorvel1980Dax\\Connection]
"User"="demo"
"URL"="$REFERENCE_URL"
"Delay"=dword:$(printf '%08x' "${2:-5}")
"Mins"="0"
"Pass"="demo"

[HKEY_CURRENT_USER\\Software\\Quorvel1980Dax\\Caching]
"SavePass"="1"
REG
}

reference_held() {
  "${reference_admin[@]}" received demo | grep -c . || true
}

reference_server_stop() {
  local pid
  for pid in "${reference_pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${reference_groups[@]}"; do kill -- "-$pid" 2>/dev/null || true; done
  for pid in "${reference_pids[@]}" "${reference_groups[@]}"; do wait "$pid" 2>/dev/null || true; done
  reference_pids=()
  reference_groups=()
}
