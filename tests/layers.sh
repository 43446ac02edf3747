#!/usr/bin/env bash
# Dependencies point one way: shell -> eventlog, messenger; a binding -> the
# client interface only; the client interface and the COM binding without
# Qt. The build refuses most wrong includes already (a library sees only the
# Qt modules it links); this catches the rest.
#   layers.sh SOURCE_DIR
set -uo pipefail
cd "$1/src"
status=0
forbid() {  # forbid FILES... -- PATTERN WHY
    local files=() pattern why
    while [[ $1 != -- ]]; do files+=("$1"); shift; done
    pattern=$2 why=$3
    if found=$(grep -nE "$pattern" "${files[@]}" 2>/dev/null); then
        echo "$why:"; echo "$found"; status=1
    fi
}
forbid eventlog/* -- '#include "(shell|messenger)/' "the log knows nothing of the program or its clients"
forbid messenger/*.h messenger/*/* -- '#include "(shell|eventlog)/' "the client interface and bindings stand alone"
forbid messenger/*.h messenger/com/* -- '#include <Q' "the client interface and the COM binding are plain C++"
for binding in messenger/*/; do
    others=$(ls -d messenger/*/ | grep -vx "$binding" | sed 's#/$##' | paste -sd'|')
    forbid "$binding"* -- "#include \"($others)/" "a binding uses no other binding"
done
forbid shell/* -- '#include "messenger/(purple|com)/' "the program reaches real clients through the binding list"
[[ $status == 0 ]] && echo "layers: every include points the right way"
exit $status
