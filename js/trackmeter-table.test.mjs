// SPDX-License-Identifier: MIT
// Tests of trackmeter-table.mjs: every vector of test/vectors/durations.txt,
// then what the vectors cannot show (the forms bytes come in). Run with
// `node --test js/trackmeter-table.test.mjs`.
import assert from "node:assert/strict";
import { readFileSync } from "node:fs";
import { test } from "node:test";

import { TableError, parse, pathHash } from "./trackmeter-table.mjs";

const vectors = readFileSync(new URL("../test/vectors/durations.txt", import.meta.url), "ascii")
  .split("\n")
  .map((line, i) => ({ line: i + 1, fields: line.split(" ") }))
  .filter(({ fields }) => fields[0] !== "" && !fields[0].startsWith("#"));

// The bytes of a vector's path, its %HH escapes undone.
function unescape(path) {
  const bytes = [];
  for (let i = 0; i < path.length; ++i) {
    if (path[i] === "%") {
      bytes.push(parseInt(path.slice(i + 1, i + 3), 16));
      i += 2;
    } else {
      bytes.push(path.charCodeAt(i));
    }
  }
  return Uint8Array.from(bytes);
}

const fromHex = (hex) => Uint8Array.from(hex === "-" ? [] : hex.match(/../g), (h) => parseInt(h, 16));

// The string whose UTF-8 bytes these are, or undefined when they are no UTF-8.
function utf8OrUndefined(bytes) {
  try {
    return new TextDecoder("utf-8", { fatal: true }).decode(bytes);
  } catch {
    return undefined;
  }
}

test("every vector", () => {
  const counts = { id: 0, table: 0, find: 0, "find-id": 0 };
  let table;
  for (const { line, fields } of vectors) {
    const [kind, ...rest] = fields;
    assert.ok(kind in counts, `line ${line}: not a vector`);
    ++counts[kind];
    if (kind === "id") {
      const [multiplier, id, path] = rest;
      const bytes = unescape(path);
      assert.equal(pathHash(bytes, Number(multiplier)), Number(id), `line ${line}`);
      // Every path that is UTF-8 gives the same id as a string.
      const text = utf8OrUndefined(bytes);
      if (text !== undefined) assert.equal(pathHash(text, Number(multiplier)), Number(id), `line ${line}`);
    } else if (kind === "table") {
      const [, result, offset, hex] = rest;
      const bytes = fromHex(hex);
      if (result === "ok") {
        table = parse(bytes);
        assert.equal(8 + 8 * table.count, bytes.length, `line ${line}`);
        assert.equal(table.pass, new DataView(bytes.buffer).getUint32(0, true), `line ${line}`);
      } else {
        assert.throws(() => parse(bytes), (e) => e instanceof TableError && e.code === result &&
          e.offset === Number(offset), `line ${line}`);
      }
    } else {
      const [key, seconds] = rest;
      let found;
      if (kind === "find-id") {
        found = table.lookupId(Number(key));
      } else {
        const bytes = unescape(key);
        const text = utf8OrUndefined(bytes);
        found = table.lookup(bytes);
        if (text !== undefined) assert.equal(table.lookup(text), found, `line ${line}`);
      }
      assert.equal(found, seconds === "-" ? undefined : Math.fround(Number(seconds)), `line ${line}`);
    }
  }
  assert.ok(Object.values(counts).every((n) => n > 0), JSON.stringify(counts));
});

test("bytes as an ArrayBuffer, a view into a larger buffer, or a Node Buffer", () => {
  const table = fromHex("0100000001000000b1b3270000002041");
  const padded = new Uint8Array(3 + table.length + 5);
  padded.set(table, 3);
  for (const bytes of [table.buffer, padded.subarray(3, 3 + table.length), Buffer.from(table)]) {
    assert.equal(parse(bytes).lookup("Music\\Intro.OGG"), 10);
  }
  // The view's own length counts, not its buffer's.
  assert.throws(() => parse(padded.subarray(3, 3 + table.length + 1)),
    { name: "TableError", code: "trailing", offset: 16 });
  // The table keeps its own copy of the records.
  const bytes = Uint8Array.from(table);
  const parsed = parse(bytes);
  bytes.fill(0);
  assert.equal(parsed.lookupId(2601905), 10);
  assert.throws(() => parse("0100000001000000"), TypeError);
});
