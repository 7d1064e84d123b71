#!/usr/bin/env bash
# Registers the desktop's PDF reader for ".pdf" in HKEY_CLASSES_ROOT of the user's registry, so
# that the help buttons of both programs find it:
#   HKCR\.pdf                          (default) = <type name>
#   HKCR\<type name>\shell\open\command (default) = "<reader program>" ["<argument>"...] "%1"
# The reader is the desktop's default application for application/pdf (xdg-mime) and its command
# line comes from the Exec line of that application's desktop file. Does nothing, successfully,
# when there is no such reader.
# Usage: scripts/register-pdf-reader.sh REG_BINARY_PATH
set -euo pipefail

reg=${1:?usage: register-pdf-reader.sh REG_BINARY_PATH}

skip() {
  echo "register-pdf-reader: $1; no PDF reader registered"
  exit 0
}

command -v xdg-mime >/dev/null 2>&1 || skip "xdg-mime is not installed"
desktop_id=$(xdg-mime query default application/pdf 2>/dev/null | head -n 1 || true)
[ -n "$desktop_id" ] || skip "the desktop has no default application for PDF files"
case "$desktop_id" in
  */* | .* | *[!A-Za-z0-9._+-]*) skip "unexpected desktop file name '$desktop_id'" ;;
esac

# The desktop file, looked for in the data directories in order of precedence; a "-" in the
# desktop file id may stand for a sub-folder.
desktop_file=""
IFS=: read -r -a data_dirs <<<"${XDG_DATA_HOME:-$HOME/.local/share}:${XDG_DATA_DIRS:-/usr/local/share:/usr/share}"
for dir in "${data_dirs[@]}"; do
  [ -n "$dir" ] || continue
  for candidate in "$dir/applications/$desktop_id" "$dir/applications/${desktop_id//-//}"; do
    if [ -f "$candidate" ]; then
      desktop_file=$candidate
      break 2
    fi
  done
done
[ -n "$desktop_file" ] || skip "no desktop file $desktop_id"

# The Exec line of the [Desktop Entry] group.
exec_line=$(awk '
  /^\[/ { group = $0; next }
  group == "[Desktop Entry]" && /^Exec[ \t]*=/ { sub(/^Exec[ \t]*=[ \t]*/, ""); print; exit }
' "$desktop_file")
[ -n "$exec_line" ] || skip "$desktop_file has no Exec line"

# Split the Exec value into arguments as the desktop entry format quotes them: blanks separate,
# double quotes group, and inside quotes a backslash escapes the next character.
words=()
word=""
have_word=0
quoted=0
escaped=0
for ((i = 0; i < ${#exec_line}; i++)); do
  c=${exec_line:i:1}
  if [ $escaped = 1 ]; then
    word+=$c
    escaped=0
  elif [ $quoted = 1 ]; then
    case "$c" in
      '\') escaped=1 ;;
      '"') quoted=0 ;;
      *) word+=$c ;;
    esac
  else
    case "$c" in
      '"') quoted=1; have_word=1 ;;
      ' ' | $'\t')
        if [ $have_word = 1 ]; then words+=("$word"); fi
        word=""
        have_word=0
        ;;
      *) word+=$c; have_word=1 ;;
    esac
  fi
done
if [ $have_word = 1 ]; then words+=("$word"); fi
[ ${#words[@]} -gt 0 ] || skip "the Exec line of $desktop_file is empty"

# The program as an absolute path: the help buttons start it directly, without a search path.
program=${words[0]}
if [[ "$program" != /* ]]; then
  program=$(command -v -- "$program" 2>/dev/null || true)
  [[ "$program" == /* ]] || skip "the reader '${words[0]}' is not installed"
fi
[ -x "$program" ] || skip "the reader '$program' is not installed"

# The arguments: the first file or URL field code becomes "%1", other field codes go, "%%" is a
# percent sign. A reader whose line names no file gets "%1" at the end.
command_line="\"$program\""
placed=0
for word in "${words[@]:1}"; do
  case "$word" in
    %f | %F | %u | %U)
      if [ $placed = 0 ]; then command_line+=' "%1"'; placed=1; fi
      ;;
    %i | %c | %k | %d | %D | %n | %N | %v | %m) ;;
    *) command_line+=" \"${word//%%/%}\"" ;;
  esac
done
if [ $placed = 0 ]; then command_line+=' "%1"'; fi

type_name="${desktop_id%.desktop}.Document"
"$reg" add 'HKCR\.pdf' /ve /d "$type_name" /f >/dev/null
"$reg" add "HKCR\\$type_name\\shell\\open\\command" /ve /d "$command_line" /f >/dev/null
echo "register-pdf-reader: .pdf opens with $command_line"
