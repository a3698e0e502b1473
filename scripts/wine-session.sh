# Sourced by scripts that run many Wine programs: starts one Xvfb display and
# one persistent wineserver for the whole run (for the route's prefix), and
# stops both on exit.
source "$(dirname "${BASH_SOURCE[0]}")/wine-env.sh"
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 140); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    _varnel_xvfb=$!
    export DISPLAY=:$n
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
    break
  done
fi
varnel_prefix_ready
wineserver -p </dev/null >/dev/null 2>&1
_varnel_session_end() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${_varnel_xvfb:-}" ] && kill "$_varnel_xvfb" 2>/dev/null || true
}
trap _varnel_session_end EXIT
