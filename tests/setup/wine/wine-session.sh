# Pieces shared by the tests that run the real DurvoSetup.exe under Wine on a virtual X display
# (setup-under-wine, install-folders), which source this file. The caller has made the scratch
# folder $work and defines abort MESSAGE.

# The prefix $work/prefix, of the program's width so that the registry has the one view it
# reads: sets WINEPREFIX, WINEARCH and registry_view (the option that makes `wine reg` use it).
use_prefix_for() {
  local pe_header
  export WINEPREFIX=$work/prefix
  pe_header=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  case $(od -An -t x2 -j $((pe_header + 4)) -N 2 "$1" | tr -d ' ') in
    8664) export WINEARCH=win64; registry_view=(/reg:64) ;;
    014c) export WINEARCH=win32; registry_view=() ;;
    *) echo "${0##*/}: $1 is no x86 Windows program" >&2; exit 2 ;;
  esac
}

# An Xvfb screen of $1 x $2 pixels: sets xvfb_pid and DISPLAY.
start_display() {
  Xvfb -displayfd 3 -screen 0 "${1}x${2}x24" -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || abort "Xvfb did not start: $(cat "$work/xvfb.log")"
  export DISPLAY=":$(head -n1 "$work/display")"
}

# Makes the prefix. Wine draws the captions itself, so a picture shows the title bar (there is
# no window manager).
make_prefix() {
  timeout 180 wineboot -i >"$work/wineboot.log" 2>&1 || abort "wineboot failed: $(tail -5 "$work/wineboot.log")"
  timeout 60 wineserver -w || true
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1
}
