# A desktop of the script's own, for the scripts that run Quorvel on one (run, screenshots,
# notification-screenshot, check-package): a private Xvfb, a private D-Bus session bus that starts
# no service by itself, dunst on that bus, and a tray (trayer). Each piece is started on demand,
# exports what the program needs to find it, and ends with desktop_stop, which the sourcing
# script calls from its own cleanup. Source it from the project's root folder.

desktop_work=""
desktop_pids=()

desktop_folder() {
  [[ -n "$desktop_work" ]] || desktop_work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-desktop.XXXXXX")
}

# desktop_wait SECONDS COMMAND...: true once the command succeeds, tried every tenth of a second.
desktop_wait() {
  local tries=$(($1 * 10))
  shift
  for _ in $(seq "$tries"); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# desktop_xvfb [WIDTHxHEIGHTxDEPTH]: a private Xvfb on a display it picks itself; exports DISPLAY
# and has Qt draw on it even where a Wayland session runs.
desktop_xvfb() {
  desktop_folder
  local size=${1:-1024x640x24} file=$desktop_work/display fd
  exec {fd}>"$file"
  Xvfb -displayfd "$fd" -screen 0 "$size" -nolisten tcp >"$desktop_work/xvfb.log" 2>&1 &
  desktop_pids+=($!)
  exec {fd}>&-
  if ! desktop_wait 10 test -s "$file"; then
    echo "desktop: Xvfb did not start:" >&2
    cat "$desktop_work/xvfb.log" >&2
    return 1
  fi
  export DISPLAY=":$(tr -dc '0-9' <"$file")"
  desktop_wait 10 xdpyinfo || { echo "desktop: Xvfb does not answer on $DISPLAY" >&2; return 1; }
  unset WAYLAND_DISPLAY
  export QT_QPA_PLATFORM=xcb
}

# desktop_bus: a private session bus (scripts/private-session-bus.conf); exports
# DBUS_SESSION_BUS_ADDRESS.
desktop_bus() {
  desktop_folder
  dbus-daemon --config-file="$PWD/scripts/private-session-bus.conf" --nofork --nopidfile \
    --print-address=1 >"$desktop_work/bus" 2>"$desktop_work/bus.log" &
  desktop_pids+=($!)
  if ! desktop_wait 10 test -s "$desktop_work/bus"; then
    echo "desktop: dbus-daemon did not start:" >&2
    cat "$desktop_work/bus.log" >&2
    return 1
  fi
  export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$desktop_work/bus")
}

# desktop_dunst CONFIG: dunst with that configuration on the private bus (started first when
# there is none yet), once it answers dunstctl.
desktop_dunst() {
  [[ -n "${DBUS_SESSION_BUS_ADDRESS:-}" && -s "$desktop_work/bus" ]] || desktop_bus || return 1
  dunst -config "$1" >"$desktop_work/dunst.log" 2>&1 &
  desktop_pids+=($!)
  desktop_wait 10 dunstctl count displayed || {
    echo "desktop: dunst did not start:" >&2
    cat "$desktop_work/dunst.log" >&2
    return 1
  }
}

# desktop_notifications_displayed: how many notifications dunst shows now (0 when it cannot say).
desktop_notifications_displayed() {
  local count
  count=$(dunstctl count displayed 2>/dev/null) || count=0
  echo "${count:-0}"
}

# desktop_wait_notification SECONDS: true once dunst shows a notification.
desktop_wait_notification() {
  local tries=$(($1 * 10))
  for _ in $(seq "$tries"); do
    [[ $(desktop_notifications_displayed) -ge 1 ]] && return 0
    sleep 0.1
  done
  return 1
}

# desktop_tray: a tray (trayer) at the bottom right of the screen, given a second to take its
# place as the tray host.
desktop_tray() {
  trayer --edge bottom --align right --widthtype pixel --width 48 --height 24 --transparent false \
    >/dev/null 2>&1 &
  desktop_pids+=($!)
  sleep 1
}

# desktop_stop: ends every piece started, the last one first, and removes the folder.
desktop_stop() {
  local i
  for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do kill "${desktop_pids[i]}" 2>/dev/null || true; done
  for ((i = ${#desktop_pids[@]} - 1; i >= 0; i--)); do wait "${desktop_pids[i]}" 2>/dev/null || true; done
  desktop_pids=()
  [[ -z "$desktop_work" ]] || rm -rf "$desktop_work"
  desktop_work=""
}
