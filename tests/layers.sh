#!/usr/bin/env bash
# What the build cannot see of the layers (it refuses an include of a room a
# library does not link; see the layers_* tests): every folder under
# src/messenger/ is a binding, which no other binding and not the program
# names. The program reaches bindings through the list the build generates.
#   layers.sh SOURCE_DIR
set -uo pipefail
cd "$1/src"
status=0
for folder in messenger/*/; do
    binding=$(basename "$folder")
    if found=$(grep -rnE "messenger(/|::)$binding\b" --exclude-dir="$binding" --include='*.h' --include='*.cpp' .); then
        echo "messenger/$binding/ is named outside its folder:"; echo "$found"; status=1
    fi
done
[[ $status == 0 ]] && echo "layers: no binding is named outside its folder"
exit $status
