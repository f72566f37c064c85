// SPDX-License-Identifier: MIT
// lookup.mjs TABLE PATH...: as lookup.c, through the installed trackmeter-table
// package.
import { readFileSync } from "node:fs";
import { parse } from "trackmeter-table";

const [file, ...paths] = process.argv.slice(2);
const table = parse(readFileSync(file));
for (const path of paths) {
  const seconds = table.lookup(path);
  console.log(`${path}\t${seconds === undefined ? "not found" : seconds}`);
}
