#!/usr/bin/env bash
# The bash completion of vpak offers, for each command line in the table, exactly the words
# given: subcommands, each one's options, archives where an ARCHIVE is expected, folders where
# a DIR is, any file where a file is, nothing for paths inside an archive.
# Usage: completion_test.sh COMPLETION_FILE
set -uo pipefail
completion=$(realpath "$1")

# _init_completion and _filedir come from bash-completion itself, as in an interactive shell.
source /usr/share/bash-completion/bash_completion
source "$completion"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
touch a.pak B.PAK c.txt
mkdir d

everything="B.PAK a.pak c.txt d"
archives="B.PAK a.pak d"    # folders are offered too, to walk into
commands="add cat diff extract list loc2txt make remove replace replace-dir sync tag test txt2loc"

# name | the words before the one completed | the word completed | the words offered
cases=(
  "commands_after_the_program|vpak||$commands"
  "commands_by_their_start|vpak|re|remove replace replace-dir"
  "program_options|vpak|--|--help --version"
  "archives_for_list|vpak list||$archives"
  "archives_by_their_start|vpak test|a|a.pak"
  "options_of_list|vpak list|--|--help --json --long --xbox"
  "options_of_sync|vpak sync|--d|--dry-run"
  "the_no_wait_option_of_writers|vpak remove|--no-w|--no-wait"
  "folders_for_the_extraction_target|vpak extract a.pak||d"
  "folders_after_an_option|vpak extract --hash a.pak||d"
  "nothing_for_entries_to_extract|vpak extract a.pak d||"
  "archives_after_an_option|vpak make -q||$archives"
  "folders_for_make|vpak make a.pak||d"
  "folders_for_replace_dir|vpak replace-dir --hash a.pak||d"
  "folders_for_diff|vpak diff a.pak||d"
  "any_file_for_replace|vpak replace a.pak||$everything"
  "nothing_for_the_path_option|vpak replace --path||"
  "archives_after_the_path_option_value|vpak replace --path x/y.txt||$archives"
  "any_file_for_each_added_path|vpak add a.pak c.txt||$everything"
  "nothing_for_the_to_option|vpak add a.pak --to||"
  "nothing_for_entries_to_remove|vpak remove a.pak||"
  "nothing_for_the_entry_of_cat|vpak cat a.pak||"
  "any_file_for_loc_conversion|vpak loc2txt||$everything"
  "archives_after_the_end_of_options|vpak list --||$archives"
  "words_after_the_end_of_options_are_arguments|vpak make -- -x.pak||d"
  "nothing_after_the_last_argument|vpak list a.pak||"
  "nothing_for_an_unknown_command|vpak bogus||"
)

failed=0
for entry in "${cases[@]}"; do
  IFS='|' read -r name before current expected <<< "$entry"
  read -r -a COMP_WORDS <<< "$before"
  COMP_WORDS+=("$current")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="$before $current"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _vpak vpak "$current" "${COMP_WORDS[COMP_CWORD - 1]}"
  actual=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | xargs)
  expected=$(printf '%s\n' $expected | LC_ALL=C sort | xargs)
  if [ "$actual" = "$expected" ]; then
    echo "ok   $name"
  else
    echo "FAIL $name: '$before $current' offers '$actual', expected '$expected'"
    failed=1
  fi
done
exit "$failed"
