// SPDX-License-Identifier: MIT
// Types of trackmeter-table.mjs, the reader of trackmeter's Durations.bin.

/** The check that found a table invalid, as the C header names it. */
export type TableErrorCode = "short" | "pass" | "count" | "truncated" | "trailing" | "order";

/** Bytes that are not a valid table. */
export class TableError extends Error {
  constructor(code: TableErrorCode, offset: number, message: string);
  readonly name: "TableError";
  readonly code: TableErrorCode;
  /** Where in the bytes the fault lies. */
  readonly offset: number;
}

/** A checked table. */
export interface DurationsTable {
  /** Ids use the multiplier pass + 1. */
  readonly pass: number;
  /** The number of records. */
  readonly count: number;
  /** pass + 1, modulo 2^32. */
  readonly multiplier: number;
  /** The seconds of the record with this id, or undefined. */
  lookupId(id: number): number | undefined;
  /**
   * The seconds of the file at the relative path ("/" or "\" between
   * components, any letter case of a-z, a leading "./" dropped), or
   * undefined.
   */
  lookup(path: string | Uint8Array): number | undefined;
}

/** The table in bytes, checked whole; throws TableError. */
export function parse(bytes: ArrayBuffer | ArrayBufferView): DurationsTable;

/** The id of a path (a string, hashed as UTF-8, or its bytes) under multiplier. */
export function pathHash(path: string | Uint8Array, multiplier: number): number;
