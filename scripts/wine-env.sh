# Sourced: the environment every Wine run of the project uses. One private
# prefix under build/, no debug chatter, no Mono/Gecko install prompts.
#
# The route is decided once per run and exported, so that every script and
# test started from it takes the same one:
#   win32  32-bit programs (dist/, build/win32) under Wine's 32-bit loader;
#   win64  64-bit programs (dist/win64/, build/win64) under the 64-bit loader,
#          for machines that can't run 32-bit code. VARNEL_WIN64=1 forces it.
# Debian's `wine` launcher picks the 32-bit loader whenever wine32 is
# installed, so the 64-bit route calls its loader directly ($VARNEL_WINE).
_varnel_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [ -z "${VARNEL_ROUTE:-}" ]; then
  if [ "${VARNEL_WIN64:-0}" = 1 ]; then
    VARNEL_ROUTE=win64
    echo "Wine route: 64-bit (forced by VARNEL_WIN64=1): dist/win64/ under /usr/lib/wine/wine64" >&2
  elif /usr/lib/wine/wine --version >/dev/null 2>&1; then
    VARNEL_ROUTE=win32
    echo "Wine route: 32-bit: dist/ under Wine's 32-bit loader" >&2
  else
    VARNEL_ROUTE=win64
    echo "Wine route: 64-bit (this machine can't run 32-bit code): dist/win64/ under /usr/lib/wine/wine64" >&2
  fi
  export VARNEL_ROUTE
fi
varnel_route_env() {
  # Sets the environment of one route ($1) for Wine runs from this shell.
  if [ "$1" = win64 ]; then
    export VARNEL_WINE=/usr/lib/wine/wine64 WINELOADER=/usr/lib/wine/wine64 WINEARCH=win64
    export WINEPREFIX="${VARNEL_WINEPREFIX64:-$_varnel_root/build/wineprefix64}"
    export VARNEL_WIN_BUILD="$_varnel_root/build/win64" VARNEL_WIN_DIST="$_varnel_root/dist/win64"
  else
    export VARNEL_WINE=wine WINEARCH=win32
    unset WINELOADER
    export WINEPREFIX="${VARNEL_WINEPREFIX:-$_varnel_root/build/wineprefix}"
    export VARNEL_WIN_BUILD="$_varnel_root/build/win32" VARNEL_WIN_DIST="$_varnel_root/dist"
  fi
}
varnel_route_env "$VARNEL_ROUTE"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# Creates the prefix of the current route when it is missing.
varnel_prefix_ready() {
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$VARNEL_WINE" wineboot -i </dev/null >/dev/null 2>&1
    wineserver -w
  fi
}
