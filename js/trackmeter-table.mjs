// SPDX-License-Identifier: MIT
// trackmeter-table.mjs: reading Durations.bin (format 1), the table trackmeter
// writes, in JavaScript. One ES module with no dependencies, for browsers and
// Node 18 and later: copy it, or `npm install` its folder. FORMAT.md, beside
// the project's README, describes the table.
//
//   import { parse } from "trackmeter-table";  // or "./trackmeter-table.mjs"
//   const table = parse(await (await fetch("Durations.bin")).arrayBuffer());
//   table.lookup("sfx/Chime.ogg");  // seconds, or undefined
//
// A path is a string, hashed as its UTF-8 bytes, or those bytes as a
// Uint8Array; "/" or "\" between components, a-z in any letter case; a lookup
// drops a leading "./". parse() checks the whole table first, as the C header
// trackmeter/durations.h does, and throws TableError: its code names the check
// that failed ("short", "pass", "count", "truncated", "trailing" or "order",
// the C header's error names) and its offset is the byte where the fault lies.
// The table keeps its own copy of the records, so the bytes may be reused
// afterwards. A CommonJS script loads it with import() (or, from Node 20.19
// and 22.12, with require()).

const HEADER_SIZE = 8;
const RECORD_SIZE = 8;
const encoder = new TextEncoder();

/** Bytes that are not a valid table. */
export class TableError extends Error {
  constructor(code, offset, message) {
    super(message);
    this.name = "TableError";
    this.code = code;
    this.offset = offset;
  }
}

function utf8(path) {
  if (typeof path === "string") return encoder.encode(path);
  if (path instanceof Uint8Array) return path;
  throw new TypeError("a path is a string or a Uint8Array");
}

// The bytes without their leading "./" or ".\", as many as there are, so long
// as something follows: a shell's completion gives one, the table's paths
// never start with one.
function withoutDotSlash(bytes) {
  let start = 0;
  while (bytes.length - start > 2 && bytes[start] === 0x2e && (bytes[start + 1] === 0x2f || bytes[start + 1] === 0x5c)) {
    start += 2;
  }
  return start === 0 ? bytes : bytes.subarray(start);
}

/**
 * The id of path under multiplier (pass + 1): for each byte, with a-z read as
 * A-Z and "/" as "\", h = h * multiplier + byte, modulo 2^32.
 */
export function pathHash(path, multiplier) {
  const m = multiplier >>> 0;
  const bytes = utf8(path);
  let h = 0;
  for (let i = 0; i < bytes.length; ++i) {
    let c = bytes[i];
    if (c >= 0x61 && c <= 0x7a) c -= 0x20;
    else if (c === 0x2f) c = 0x5c;
    h = (Math.imul(h, m) + c) >>> 0;
  }
  return h;
}

function fail(code, offset, message) {
  throw new TableError(code, offset, message);
}

/** The table in bytes (an ArrayBuffer or a Uint8Array), checked whole. */
export function parse(bytes) {
  let data;
  if (ArrayBuffer.isView(bytes)) {
    data = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  } else if (/^\[object (Shared)?ArrayBuffer\]$/.test(Object.prototype.toString.call(bytes))) {
    data = new DataView(bytes);
  } else {
    throw new TypeError("parse() takes an ArrayBuffer or a Uint8Array");
  }
  const size = data.byteLength;
  if (size < HEADER_SIZE) fail("short", size, `table of ${size} bytes is shorter than its 8-byte header`);
  const pass = data.getUint32(0, true);
  const count = data.getInt32(4, true);
  if (pass === 0) fail("pass", 0, "pass at offset 0 is 0; it is at least 1");
  if (count < 1) fail("count", 4, `count at offset 4 is ${count}; a table holds at least 1 record`);
  const expected = HEADER_SIZE + RECORD_SIZE * count;
  if (size < expected) {
    fail("truncated", size, `count at offset 4 is ${count}, which needs ${expected} bytes; the table has ${size}`);
  }
  if (size > expected) {
    fail("trailing", expected, `${size - expected} bytes trailing after record ${count - 1}, from offset ${expected}`);
  }

  const ids = new Uint32Array(count);
  const seconds = new Float32Array(count);
  for (let i = 0; i < count; ++i) {
    const at = HEADER_SIZE + RECORD_SIZE * i;
    ids[i] = data.getUint32(at, true);
    if (i > 0 && ids[i] <= ids[i - 1]) {
      fail("order", at, `record ${i} at offset ${at}: id ${ids[i]} does not ascend from ${ids[i - 1]} of record ${i - 1}`);
    }
    seconds[i] = data.getFloat32(at + 4, true);
  }

  const multiplier = (pass + 1) >>> 0;
  // The seconds of the record with this id, or undefined.
  const lookupId = (id) => {
    let low = 0;
    let high = count;
    while (low < high) {
      const mid = (low + high) >>> 1;
      if (ids[mid] < id) low = mid + 1;
      else high = mid;
    }
    return low < count && ids[low] === id ? seconds[low] : undefined;
  };
  return Object.freeze({
    pass,
    count,
    multiplier,
    lookupId,
    // The seconds of the file at the relative path, or undefined; a leading
    // "./" is dropped. A path that is not in the table may still share an id
    // with one that is.
    lookup: (path) => lookupId(pathHash(withoutDotSlash(utf8(path)), multiplier)),
  });
}
