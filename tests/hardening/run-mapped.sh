#!/bin/sh
# Runs a test program under Wine in a prefix of its own with more drive letters mapped to Linux
# folders than the build's runner maps, and with the environment the program asks for:
#   run-mapped.sh WINE_RUN PREFIX [LETTER=FOLDER | NAME:=VALUE]... -- PROGRAM [ARGS]
# The runner maps K:, L:, T:, U:, V: and W: again on every start, so those letters are not used.
set -e
run=$1
prefix=$2
shift 2
TARVALE_WINEPREFIX=$prefix
export TARVALE_WINEPREFIX
# The runner makes the prefix on first use; the letters go in once it exists.
"$run" hostname.exe >/dev/null 2>&1
while [ "$1" != "--" ]; do
    case $1 in
    *:=*) export "${1%%:=*}=${1#*:=}" ;;
    *=*)
        # Wine finds drive letters by lower-case names only.
        letter=$(printf '%s' "${1%%=*}" | tr 'A-Z' 'a-z')
        mkdir -p "${1#*=}"
        ln -sfn "${1#*=}" "$prefix/dosdevices/$letter:"
        ;;
    esac
    shift
done
shift
exec "$run" "$@"
