#!/bin/bash
# Every long option that quernfold-cli --help lists is described in the manual page and offered by the bash
# completion. Usage: check-options.sh QUERNFOLD_CLI MAN_PAGE_IN COMPLETION
set -u
cli=$1 man=$2 completion=$3
# The completion's list of options: the words between "local options='" and the closing quote.
offered=$(sed -n "/local options='/,/'\$/p" "$completion" | tr -d "'" | tr ' ' '\n' | grep -- '^--')
options=$("$cli" --help | grep -o -- '--[a-z][a-z-]*' | sort -u)
[ -n "$options" ] || { echo "no options in --help"; exit 1; }
status=0
for option in $options; do
    # In the manual page each "-" of an option is written "\-".
    escaped=${option//-/\\\\-}
    if ! grep -q -- "$escaped\\b" "$man"; then
        echo "$man does not describe $option"
        status=1
    fi
    if ! grep -qx -- "$option" <<<"$offered"; then
        echo "$completion does not offer $option"
        status=1
    fi
done
exit $status
