#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Holds every include of the program's own headers to the layering: a folder includes its own
# headers and those of the folders it may use, which all lie below it. tests/, bench/, fuzz/
# and tools/ sit on top and may include any folder. The build already refuses such an include
# in a source it compiles (each library sees only its own folder and those of the libraries it
# links); this check also sees what the build cannot: a header that only a higher layer
# compiles, code that a build leaves out, and a path that climbs out of its folder ("../").
# Both forms count, "folder/..." and <folder/...>. Lists each include against the direction and
# exits non-zero when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

below_qt="platform/rtl platform/system platform/raster platform/formats"
declare -A uses=(
    [platform/rtl]=""
    [platform/system]="platform/rtl"
    [platform/raster]="platform/rtl"
    [platform/formats]="platform/raster platform/system platform/rtl"
    [platform/qt]="$below_qt"
    [engine]="platform/raster platform/system platform/rtl"
    [presets]="engine $below_qt"
    [document]="presets engine $below_qt"
    [controls]="platform/qt $below_qt"
    [app]="controls document presets engine platform/qt $below_qt"
)

# The layer of a path: platform/<part> or the first folder.
layer_of() {
    case $1 in
        platform/*/*)
            local rest=${1#platform/}
            echo "platform/${rest%%/*}"
            ;;
        */*) echo "${1%%/*}" ;;
        *) echo "" ;;
    esac
}

bad=0
while IFS= read -r file; do
    from=$(layer_of "$file")
    [[ -v "uses[$from]" ]] || continue
    while IFS=: read -r line written; do
        target=${written:1:-1}
        case $target in
            ./* | ../*)
                # A path from the including file's folder.
                target=$(realpath -m --relative-to=. "$(dirname "$file")/$target")
                ;;
            */*) ;;
            *) continue ;; # a header of the same folder, or of the system
        esac
        to=$(layer_of "$target")
        # Angle brackets also name the system's headers (<sys/stat.h>): only our folders count.
        [[ $written == \<* && ! -v "uses[$to]" ]] && continue
        [[ $to == "$from" ]] && continue
        if [[ " ${uses[$from]} " != *" $to "* ]]; then
            echo "$file:$line: $from may not include $written" >&2
            bad=1
        fi
    done < <(grep -nE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]' "$file" |
        sed -E 's/^([0-9]+):[^"<]*(["<][^">]+[">]).*/\1:\2/')
done < <(find platform engine presets document controls app -type f \( -name '*.cpp' -o -name '*.h' \) | sort)
exit $bad
