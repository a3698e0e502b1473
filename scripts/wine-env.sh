# Sourced: the environment every Wine run of the project uses. One private
# prefix under build/, no debug chatter, no Mono/Gecko install prompts.
_varnel_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX="${VARNEL_WINEPREFIX:-$_varnel_root/build/wineprefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export WINEARCH=win32 2>/dev/null || true
