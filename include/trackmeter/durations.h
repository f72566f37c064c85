// SPDX-License-Identifier: MIT
/* trackmeter/durations.h: reading a Durations.bin table (format 1) in C.
 *
 * One header for C99 and C++, and through a small shared library for any
 * language with a C foreign-function interface. Every function is static
 * inline and works on bytes the caller holds: no allocation, no global
 * state, no I/O. Copy the file anywhere. FORMAT.md describes the table.
 *
 * THE TABLE
 *   Little-endian: pass (uint32), count (int32), then count records of an
 *   id (uint32) and seconds (IEEE 754 binary32), in ascending order of id.
 *   The id of a relative path is trackmeter_path_hash(path, len, pass + 1):
 *   blind to the letter case of a-z and to "/" against "\". A lookup by path
 *   (trackmeter_find_path) drops a leading "./" first, as every reader does.
 *
 * WHAT trackmeter_check CHECKS, in this order; the first failure is returned
 * and *offset says where it lies (0 with TRACKMETER_OK)
 *   TRACKMETER_ERR_NULL       data is a null pointer, size not 0   offset 0
 *   TRACKMETER_ERR_SHORT      fewer than the 8 bytes of the header offset = size
 *   TRACKMETER_ERR_PASS       pass is 0                            offset 0
 *   TRACKMETER_ERR_COUNT      count is below 1                     offset 4
 *   TRACKMETER_ERR_TRUNCATED  fewer bytes than 8 + 8 * count       offset = size
 *   TRACKMETER_ERR_TRAILING   more bytes than 8 + 8 * count        offset = 8 + 8 * count
 *   TRACKMETER_ERR_ORDER      an id not above the one before it,   offset of that record
 *                             compared as unsigned
 * trackmeter_check_header makes the first five checks from the header alone
 * and the size of the whole table, so a file can be refused before it is
 * read. The lookups never read outside [data, data + size), checked or not;
 * on a table that failed the check their answers mean nothing.
 *
 * EXAMPLE
 *   unsigned char buf[65536];
 *   size_t size = fread(buf, 1, sizeof buf, file), where;
 *   float seconds;
 *   trackmeter_error e = trackmeter_check(buf, size, &where);
 *   if (e != TRACKMETER_OK)
 *     fprintf(stderr, "not a table: %s at offset %lu\n",
 *             trackmeter_error_text(e), (unsigned long)where);
 *   else if (trackmeter_find_path(buf, size, "music/intro.ogg", 15, &seconds))
 *     printf("%g seconds\n", seconds);
 *
 * A SHARED LIBRARY
 *   Define TRACKMETER_DEF before including this header to give the functions
 *   other linkage; a file holding
 *     #define TRACKMETER_DEF extern
 *     #include "trackmeter/durations.h"
 *   compiled with -shared -fPIC exports them all (on Windows, define it as
 *   extern __declspec(dllexport)).
 */
#ifndef TRACKMETER_DURATIONS_H_
#define TRACKMETER_DURATIONS_H_

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#ifndef TRACKMETER_DEF
#define TRACKMETER_DEF static inline
/* In C++ the hash is constexpr, so ids can be compile-time constants. */
#if defined(__cplusplus) && \
    (__cplusplus >= 201402L || (defined(_MSVC_LANG) && _MSVC_LANG >= 201402L))
#define TRACKMETER_HASH_DEF static inline constexpr
#endif
#endif
#ifndef TRACKMETER_HASH_DEF
#define TRACKMETER_HASH_DEF TRACKMETER_DEF
#endif

#define TRACKMETER_HEADER_SIZE 8
#define TRACKMETER_RECORD_SIZE 8

typedef enum trackmeter_error {
  TRACKMETER_OK = 0,
  TRACKMETER_ERR_NULL = 1,
  TRACKMETER_ERR_SHORT = 2,
  TRACKMETER_ERR_PASS = 3,
  TRACKMETER_ERR_COUNT = 4,
  TRACKMETER_ERR_TRUNCATED = 5,
  TRACKMETER_ERR_TRAILING = 6,
  TRACKMETER_ERR_ORDER = 7
} trackmeter_error;

/* seconds are read by copying the bits into a float. */
typedef char trackmeter_float_is_32_bits_[sizeof(float) == 4 ? 1 : -1];

/* The byte the hash sees for b: a-z become A-Z, "/" becomes "\", every other
 * byte (0x80 and above too) stays. Not the locale's toupper, on purpose. */
TRACKMETER_HASH_DEF unsigned char trackmeter_fold_byte(unsigned char b) {
  return (b >= 'a' && b <= 'z') ? (unsigned char)(b - 0x20)
         : b == '/'             ? (unsigned char)'\\'
                                : b;
}

/* The id of the length bytes at path under multiplier (pass + 1):
 * h = h * multiplier + folded byte, modulo 2^32. A null path hashes as
 * empty, to 0. */
TRACKMETER_HASH_DEF uint32_t trackmeter_path_hash(const char *path,
                                                  size_t length,
                                                  uint32_t multiplier) {
  uint32_t h = 0;
  if (path == NULL) return 0;
  for (size_t i = 0; i < length; ++i)
    h = h * multiplier + trackmeter_fold_byte((unsigned char)path[i]);
  return h;
}

/* The little-endian uint32 at p. */
TRACKMETER_DEF uint32_t trackmeter_le32(const unsigned char *p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 |
         (uint32_t)p[3] << 24;
}

/* Checks the header against a table of size bytes in all; header holds the
 * first min(size, 8) bytes. The checks up to TRACKMETER_ERR_TRAILING. offset
 * may be null. */
TRACKMETER_DEF trackmeter_error trackmeter_check_header(const void *header,
                                                        uint64_t size,
                                                        uint64_t *offset) {
  const unsigned char *p = (const unsigned char *)header;
  trackmeter_error e = TRACKMETER_OK;
  uint64_t where = 0, expected = 0;
  if (p == NULL && size > 0) {
    e = TRACKMETER_ERR_NULL;
  } else if (size < TRACKMETER_HEADER_SIZE) {
    e = TRACKMETER_ERR_SHORT;
    where = size;
  } else if (trackmeter_le32(p) == 0) {
    e = TRACKMETER_ERR_PASS;
  } else if (trackmeter_le32(p + 4) == 0 || trackmeter_le32(p + 4) > 0x7FFFFFFFu) {
    e = TRACKMETER_ERR_COUNT;
    where = 4;
  } else {
    expected = TRACKMETER_HEADER_SIZE +
               (uint64_t)TRACKMETER_RECORD_SIZE * trackmeter_le32(p + 4);
    if (size < expected) {
      e = TRACKMETER_ERR_TRUNCATED;
      where = size;
    } else if (size > expected) {
      e = TRACKMETER_ERR_TRAILING;
      where = expected;
    }
  }
  if (offset != NULL) *offset = where;
  return e;
}

/* Checks a whole table of size bytes at data, as the manual above lists.
 * offset may be null. */
TRACKMETER_DEF trackmeter_error trackmeter_check(const void *data, size_t size,
                                                 size_t *offset) {
  const unsigned char *p = (const unsigned char *)data;
  uint64_t where = 0;
  size_t i, count;
  trackmeter_error e = trackmeter_check_header(data, size, &where);
  if (e == TRACKMETER_OK) {
    count = (size - TRACKMETER_HEADER_SIZE) / TRACKMETER_RECORD_SIZE;
    for (i = 1; i < count; ++i) {
      const unsigned char *r =
          p + TRACKMETER_HEADER_SIZE + TRACKMETER_RECORD_SIZE * i;
      if (trackmeter_le32(r) <= trackmeter_le32(r - TRACKMETER_RECORD_SIZE)) {
        e = TRACKMETER_ERR_ORDER;
        where = (uint64_t)(r - p);
        break;
      }
    }
  }
  if (offset != NULL) *offset = (size_t)where; /* never past size */
  return e;
}

/* A short English phrase for e, for messages. */
TRACKMETER_DEF const char *trackmeter_error_text(trackmeter_error e) {
  switch (e) {
    case TRACKMETER_OK: return "a valid table";
    case TRACKMETER_ERR_NULL: return "no data (a null pointer)";
    case TRACKMETER_ERR_SHORT: return "shorter than the 8-byte header";
    case TRACKMETER_ERR_PASS: return "pass is 0";
    case TRACKMETER_ERR_COUNT: return "count is below 1";
    case TRACKMETER_ERR_TRUNCATED: return "shorter than its count of records";
    case TRACKMETER_ERR_TRAILING: return "bytes after the last record";
    case TRACKMETER_ERR_ORDER: return "an id does not ascend";
  }
  return "unknown error";
}

/* The table's pass; 0 (never a valid pass) when there is no header. */
TRACKMETER_DEF uint32_t trackmeter_pass(const void *data, size_t size) {
  if (data == NULL || size < TRACKMETER_HEADER_SIZE) return 0;
  return trackmeter_le32((const unsigned char *)data);
}

/* The number of records: count, but never more than the bytes hold, and 0
 * when count is below 1 or there is no header. */
TRACKMETER_DEF size_t trackmeter_count(const void *data, size_t size) {
  uint32_t count;
  size_t whole;
  if (data == NULL || size < TRACKMETER_HEADER_SIZE) return 0;
  count = trackmeter_le32((const unsigned char *)data + 4);
  if (count == 0 || count > 0x7FFFFFFFu) return 0;
  whole = (size - TRACKMETER_HEADER_SIZE) / TRACKMETER_RECORD_SIZE;
  return count < whole ? (size_t)count : whole;
}

/* Record index (0 first): 1 with its id and seconds, either of which may be
 * null; 0 when there is no such record. */
TRACKMETER_DEF int trackmeter_record(const void *data, size_t size,
                                     size_t index, uint32_t *id,
                                     float *seconds) {
  const unsigned char *r;
  uint32_t bits;
  if (index >= trackmeter_count(data, size)) return 0;
  r = (const unsigned char *)data + TRACKMETER_HEADER_SIZE +
      TRACKMETER_RECORD_SIZE * index;
  if (id != NULL) *id = trackmeter_le32(r);
  if (seconds != NULL) {
    bits = trackmeter_le32(r + 4);
    memcpy(seconds, &bits, sizeof bits);
  }
  return 1;
}

/* 1, with the seconds (if seconds is not null), when the table holds id;
 * otherwise 0. A binary search. */
TRACKMETER_DEF int trackmeter_find_id(const void *data, size_t size,
                                      uint32_t id, float *seconds) {
  const size_t count = trackmeter_count(data, size);
  const unsigned char *records;
  size_t low = 0, high = count;
  if (count == 0) return 0;
  records = (const unsigned char *)data + TRACKMETER_HEADER_SIZE;
  while (low < high) {
    size_t mid = low + (high - low) / 2;
    if (trackmeter_le32(records + TRACKMETER_RECORD_SIZE * mid) < id)
      low = mid + 1;
    else
      high = mid;
  }
  if (low == count ||
      trackmeter_le32(records + TRACKMETER_RECORD_SIZE * low) != id)
    return 0;
  return trackmeter_record(data, size, low, NULL, seconds);
}

/* The number of bytes at the start of path that are "./" or ".\", as many
 * as there are so long as something follows: the table's paths never start
 * with one, a shell's completion often gives one. */
TRACKMETER_DEF size_t trackmeter_dot_slash_length(const char *path,
                                                  size_t length) {
  size_t skip = 0;
  if (path == NULL) return 0;
  while (length - skip > 2 && path[skip] == '.' &&
         (path[skip + 1] == '/' || path[skip + 1] == '\\'))
    skip += 2;
  return skip;
}

/* 1, with the seconds, when the table holds the length bytes at path
 * ("/" or "\" between components, any letter case, a leading "./"
 * dropped); otherwise 0. A path that is not in the table may still share an
 * id with one that is. */
TRACKMETER_DEF int trackmeter_find_path(const void *data, size_t size,
                                        const char *path, size_t length,
                                        float *seconds) {
  uint32_t pass = trackmeter_pass(data, size);
  size_t skip = trackmeter_dot_slash_length(path, length);
  if (pass == 0) return 0;
  return trackmeter_find_id(
      data, size,
      trackmeter_path_hash(path == NULL ? NULL : path + skip, length - skip,
                           pass + 1),
      seconds);
}

#endif /* TRACKMETER_DURATIONS_H_ */
