#!/usr/bin/env bash
# vpak(1) is the complete reference of the command line: every command that vpak --help
# lists has its own subsection, whose heading names each of the command's arguments and
# whose text describes each of its options, as vpak COMMAND --help gives them; the options
# every command has (--help) are described once, under OPTIONS.
# Usage: man_reference_test.sh PAGE VPAK
set -euo pipefail
page=$(realpath "$1") vpak=$2

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Wide enough that no heading or option tag is broken across lines.
MANWIDTH=400 man -E UTF-8 -l "$page" > "$work/page" 2> /dev/null

# The entries of one part of a help text ("Options:", "Positionals:", "Subcommands:"): the
# first word of each line indented by two spaces, up to the next part.
entries() {
  awk -v part="$1" '
    tolower($0) ~ "^" tolower(part) ":" { on = 1; next }
    on && /^[^ ]/ { on = 0 }
    on && /^  [^ ]/ { print $1 }'
}

commands=$("$vpak" --help | entries Subcommands)
[ -n "$commands" ] || { echo "vpak --help lists no commands"; exit 1; }

# The lines of the subsection of a command, from its heading to the next heading or section;
# headings that follow each other (loc2txt, txt2loc) share the text after them.
subsection() {
  awk -v command="$1" '
    /^   vpak [^ ]/ { if (body) heading = 0; body = 0; if ($2 == command) heading = 1; if (heading) print; next }
    /^[^ ]/ { heading = 0; body = 0; next }
    heading { body = 1; print }'
}

section() {
  awk -v name="$1" '$0 == name { on = 1; next } on && /^[^ ]/ { on = 0 } on { print }'
}

failures=0
missing() { echo "vpak(1) $*"; failures=$((failures + 1)); }

section OPTIONS < "$work/page" | grep -Eq '^ {7}-h, --help( |$)' || missing "describes no -h, --help under OPTIONS"

for command in $commands; do
  subsection "$command" < "$work/page" > "$work/$command"
  if [ ! -s "$work/$command" ]; then
    missing "has no subsection for \"vpak $command\""
    continue
  fi
  help=$("$vpak" "$command" --help)
  heading=$(grep -m1 "^   vpak $command" "$work/$command")
  for argument in $(entries Positionals <<< "$help"); do
    [[ " $heading " == *[\ \[]"$argument"[\ .\]]* ]] || missing "names no $argument in the heading of $command: $heading"
  done
  for option in $(entries Options <<< "$help" | tr ',' ' '); do
    case $option in -h | --help) continue ;; esac
    # An option's tag begins a line of the body, as ".TP" sets it: "--xbox", "-q, --quiet".
    grep -Eq -- "^ {7}(-[a-zA-Z], )?$option( |\$)" "$work/$command" ||
      grep -Eq -- "^ {7}$option, --" "$work/$command" ||
      missing "does not describe $option of $command"
  done
done

[ "$failures" -eq 0 ] || exit 1
echo "vpak(1) describes $(wc -w <<< "$commands") commands with every option and argument"
