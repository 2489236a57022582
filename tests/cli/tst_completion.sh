#!/usr/bin/env bash
# Runs kova-cli's bash completion as bash would and checks what it offers.
# Arguments: the completion script, the kova-cli program, an example description.
set -u
completion=$1
program=$2
description=$3

failures=0
folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
cd "$folder" || exit 1
mkdir -p bin data sub
ln -s "$program" bin/kova-cli
export PATH="$folder/bin:$PATH" XDG_DATA_HOME="$folder/data"
cp "$description" kestrel.dsc
touch settings.json other.JSON package.upd notes.txt

# shellcheck source=/dev/null
source "$completion"
complete -p kova-cli >/dev/null || { echo "FAIL: no completion for kova-cli"; exit 1; }

# What completing the last word of the given words offers, sorted, one a line.
offered()
{
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMP_LINE="$*"
    COMP_POINT=${#COMP_LINE}
    COMPREPLY=()
    _kova_cli kova-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort
}

# expect NAME EXPECTED WORDS...: EXPECTED lists the offers, one a line.
expect()
{
    local name=$1 expected=$2
    shift 2
    local got
    got=$(offered "$@")
    if [[ $got != "$(printf '%s\n' "$expected" | sort)" ]]; then
        echo "FAIL: $name"
        echo "  expected: $(printf '%s\n' "$expected" | sort | tr '\n' '|')"
        echo "  got:      $(tr '\n' '|' <<<"$got")"
        failures=$((failures + 1))
    else
        echo "ok: $name"
    fi
}

# contains NAME OFFER WORDS...: OFFER is among the offers.
contains()
{
    local name=$1 wanted=$2
    shift 2
    if ! offered "$@" | grep -qxF -- "$wanted"; then
        echo "FAIL: $name: \"$wanted\" not offered for: $*"
        failures=$((failures + 1))
    else
        echo "ok: $name"
    fi
}

lacks()
{
    local name=$1 unwanted=$2
    shift 2
    if offered "$@" | grep -qxF -- "$unwanted"; then
        echo "FAIL: $name: \"$unwanted\" offered for: $*"
        failures=$((failures + 1))
    else
        echo "ok: $name"
    fi
}

commands=$'ports\ninfo\nread\nsave\nload\ndiff\nset\nflash\nbatch\nbackups\nrestore\ncheck\nhelp'
expect "commands" "$commands" kova-cli ""
expect "commands after an option" "$commands" kova-cli -p ttyUSB0 ""
expect "a command by its start" $'save\nset' kova-cli s
expect "another command by its start" $'read\nrestore' kova-cli re
expect "help takes a command" "$commands" kova-cli help ""
contains "a command's own option" --dry-run kova-cli load --
contains "a command's own short option" -y kova-cli flash -
contains "the options of every command" --port kova-cli load --
lacks "another command's option" --yes kova-cli load --
# Each command's own options are the ones its help lists.
for command in $commands; do
    listed=$("$program" help "$command" | sed -n '/^Options of/,/^$/p' | grep -oE -- '--[a-z-]+' | sort -u)
    completed=$(_kova_cli_command_options "$command" | tr ' ' '\n' | grep -E -- '^--' | sort -u)
    if [[ $listed != "$completed" ]]; then
        echo "FAIL: options of $command: help lists $(tr '\n' ' ' <<<"$listed"), completion offers $(tr '\n' ' ' <<<"$completed")"
        failures=$((failures + 1))
    else
        echo "ok: options of $command"
    fi
done
expect "options before the command" $'--description' kova-cli --de

expect "parameter names to set" $'Start\\ power=\nStartup\\ beeps=' kova-cli -d kestrel.dsc set Sta
expect "parameter names to set, quoted" '"Brake strength="' kova-cli -d kestrel.dsc set '"Brake s'
expect "parameter names to read" $'Governor\nGovernor\\ gain\nGovernor\\ head\\ speed' \
    kova-cli read --description kestrel.dsc Gov
expect "after an escaped space" $'Governor\\ head\\ speed' kova-cli -d kestrel.dsc read 'Governor\ h'
expect "no names at a value" "" kova-cli -d kestrel.dsc set 'Start\ power' = ""
# bash splits NAME=VALUE at "="; right after it "=" is the word being completed.
expect "list entries at a value" $'Off\nProportional\nFull' kova-cli -d kestrel.dsc set Brake = ""
expect "list entries right after =" $'Off\nProportional\nFull' kova-cli -d kestrel.dsc set Brake =
expect "list entries by their start" 'Proportional' kova-cli -d kestrel.dsc set Brake = P
expect "list entries of an escaped name" 'Reduce\ power' kova-cli -d kestrel.dsc set 'Low-voltage\ cut-off' = R
expect "list entries of a quoted name" 'Reduce\ power' kova-cli -d kestrel.dsc set '"Low-voltage cut-off"' = R
expect "list entries, quoted" '"Reduce power"' kova-cli -d kestrel.dsc set 'Low-voltage\ cut-off' = '"R'
expect "list entries of the second assignment" $'Off\nOn' kova-cli -d kestrel.dsc set Brake=Off Governor = ""
expect "no list entries without a description" "" kova-cli set Brake = ""
cp kestrel.dsc tellur.dsc
expect "parameter names of the description the program finds" $'Throttle\\ high\\ end=\nThrottle\\ low\\ end=' \
    kova-cli set Thr
expect "list entries of the description the program finds" $'Off\nOn' kova-cli set Governor = ""
rm tellur.dsc

# The ports come from the program itself; a stand-in tells which.
printf '%s\n' '#!/usr/bin/env bash' \
    "[[ \$* == --port-names ]] && printf '%s\\n' ttyUSB0 ttyUSB1 serial:A1B2C3 serial:A1FF" >ports-cli
chmod +x ports-cli
ports=$'ttyUSB0\nttyUSB1\nserial:A1B2C3\nserial:A1FF'
expect "ports" "$ports" "$folder/ports-cli" -p ""
expect "ports after --port=" "$ports" "$folder/ports-cli" --port = ""
expect "ports by their start" $'ttyUSB0\nttyUSB1' "$folder/ports-cli" --port tty
# bash splits serial:NUMBER at ":" and replaces only what follows it.
expect "serial numbers right after the colon" $'A1B2C3\nA1FF' "$folder/ports-cli" -p serial :
expect "serial numbers by their start" 'A1B2C3' "$folder/ports-cli" -p serial : A1B
expect "serial numbers after --port=" 'A1B2C3' "$folder/ports-cli" --port = serial : A1B
expect "commands after a serial number" "$commands" "$folder/ports-cli" -p serial : A1B2C3 ""
contains "parameter names after a serial number" 'Governor' kova-cli -p serial : A1B2C3 -d kestrel.dsc read Gov
expect "the program's own ports" "$("$program" --port-names | sort)" kova-cli -p ""

expect "settings files" $'settings.json\nsub\nbin\ndata' kova-cli load ""
expect "settings files after --" $'settings.json\nsub\nbin\ndata' kova-cli diff -- ""
expect "settings files to restore" $'settings.json\nsub\nbin\ndata' kova-cli restore ""
expect "packages" $'package.upd\nsub\nbin\ndata' kova-cli flash ""
expect "descriptions and packages" $'kestrel.dsc\npackage.upd\nsub\nbin\ndata' kova-cli check ""
expect "descriptions" $'kestrel.dsc' kova-cli -d k
expect "a batch's package" $'package.upd\nsub\nbin\ndata' kova-cli batch --flash ""
expect "a batch's settings after its package" $'settings.json\nsub\nbin\ndata' \
    kova-cli batch --flash package.upd --settings ""
expect "a batch's own options after a value" $'--settings\n--stop-on-failure' kova-cli batch --flash package.upd --s

[[ $failures -eq 0 ]] || { echo "$failures failed"; exit 1; }
echo "all passed"
