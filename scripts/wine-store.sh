# Sourced by the Wine checks: the registry tools of the prefix and the meter's store as text.
# Needs WINEPREFIX, $work (a scratch folder) and a fail function.

# The registry tools must see the host's view of HKLM\SOFTWARE: in a 64-bit prefix the "wine"
# command starts 32-bit programs, whose view is HKLM\SOFTWARE\Wow6432Node.
tools=wine
if [ -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
  tools=$(command -v wine64 || echo /usr/lib/wine/wine64)   # Debian keeps it off the PATH
fi

# A .reg file (UTF-16LE, as regedit and durvo-today write it) as UTF-8 text, one line a value.
reg_text() {
  iconv -f UTF-16 -t UTF-8 "$1" | tr -d '\r' | sed -e ':a' -e '/\\$/N; s/\\\n *//; ta'
}

# The meter's store in Wine's registry, exported by regedit into $work/NAME.reg and .txt.
export_store() {
  local file=$work/$1.reg
  $tools regedit /E "$(winepath -w "$file")" 'HKEY_LOCAL_MACHINE\SOFTWARE\Norvane' ||
    fail "regedit could not export the store"
  reg_text "$file" >"$work/$1.txt"
}

# Replaces the store in Wine's registry with the one in a .reg file.
import_store() {
  $tools reg delete 'HKLM\SOFTWARE\Norvane' /f >/dev/null 2>&1 || true
  $tools regedit /S "$(winepath -w "$1")" || fail "regedit could not import $1"
}

hex_of() { grep "^\"$2\"=hex:" "$work/$1.txt" | sed 's/^[^:]*://' ; }
number_of() {
  local b
  IFS=, read -r -a b <<<"$(hex_of "$1" "$2")"
  [ ${#b[@]} -eq 4 ] || fail "$1: \"$2\" is not a 4-byte value"
  echo $((16#${b[3]}${b[2]}${b[1]}${b[0]}))
}

# The user's answer to the options page, from the device's script, for the host.
options_answer() { sed -n 's/^options //p' "$top/wine/compare.txt"; }
