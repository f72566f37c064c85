// SPDX-License-Identifier: MIT
/* Tests of trackmeter/durations.h, compiled as C: every vector of
 * test/vectors/durations.txt (given as the one argument), then what the
 * vectors cannot show: null pointers and reads bounded by the size given.
 * Each table is copied into a buffer of exactly its size, so a read past it
 * shows under AddressSanitizer. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "trackmeter/durations.h"

static int failures = 0;
static int checks = 0;

#define CHECK(cond, line)                                        \
  do {                                                           \
    ++checks;                                                    \
    if (!(cond)) {                                               \
      ++failures;                                                \
      fprintf(stderr, "line %d: failed: %s\n", (line), #cond);   \
    }                                                            \
  } while (0)

static const char *const kResults[] = {"ok",        "null",     "short",
                                       "pass",      "count",    "truncated",
                                       "trailing",  "order"};

static int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

/* Undoes the %HH escapes of a path in place; returns its length. */
static size_t Unescape(char *s) {
  size_t in = 0, out = 0;
  while (s[in] != '\0') {
    if (s[in] == '%' && HexDigit(s[in + 1]) >= 0 && HexDigit(s[in + 2]) >= 0) {
      s[out++] = (char)(HexDigit(s[in + 1]) * 16 + HexDigit(s[in + 2]));
      in += 3;
    } else {
      s[out++] = s[in++];
    }
  }
  s[out] = '\0';
  return out;
}

/* The bytes of hex ("-" for none) in a new buffer of exactly their size. */
static unsigned char *FromHex(const char *hex, size_t *size) {
  size_t i, n = strcmp(hex, "-") == 0 ? 0 : strlen(hex) / 2;
  unsigned char *bytes = (unsigned char *)malloc(n > 0 ? n : 1);
  if (bytes == NULL) abort();
  for (i = 0; i < n; ++i)
    bytes[i] = (unsigned char)(HexDigit(hex[2 * i]) * 16 + HexDigit(hex[2 * i + 1]));
  *size = n;
  return bytes;
}

/* Whatever the bytes, the lookups stay inside them. */
static void ProbeBounds(const unsigned char *bytes, size_t size) {
  size_t i;
  float seconds;
  uint32_t id;
  for (i = 0; i < trackmeter_count(bytes, size) + 1; ++i)
    trackmeter_record(bytes, size, i, &id, &seconds);
  trackmeter_find_id(bytes, size, 0, &seconds);
  trackmeter_find_id(bytes, size, 0xFFFFFFFFu, &seconds);
  trackmeter_find_path(bytes, size, "music/intro.ogg", 15, &seconds);
}

static void RunVectors(FILE *f, int counts[4]) {
  char line[4096], word[16], text[2048], expected[32];
  unsigned char *table = NULL;
  size_t table_size = 0;
  int number = 0;
  while (fgets(line, sizeof line, f) != NULL) {
    unsigned long m, id, offset;
    float seconds = -1.0f;
    int found;
    ++number;
    if (line[0] == '#' || line[0] == '\n') continue;
    if (sscanf(line, "%15s", word) != 1) continue;
    if (strcmp(word, "id") == 0 &&
        sscanf(line, "id %lu %lu %2047s", &m, &id, text) == 3) {
      size_t length = Unescape(text);
      CHECK(trackmeter_path_hash(text, length, (uint32_t)m) == id, number);
      ++counts[0];
    } else if (strcmp(word, "table") == 0 &&
               sscanf(line, "table %*s %31s %lu %2047s", expected, &offset,
                      text) == 3) {
      size_t size, where = 99;
      unsigned char *bytes = FromHex(text, &size);
      trackmeter_error e = trackmeter_check(bytes, size, &where);
      CHECK(strcmp(kResults[e], expected) == 0, number);
      CHECK(where == offset, number);
      ProbeBounds(bytes, size);
      if (e == TRACKMETER_OK) {
        size_t i;
        uint32_t record_id;
        CHECK(trackmeter_pass(bytes, size) >= 1, number);
        CHECK(8 + 8 * trackmeter_count(bytes, size) == size, number);
        for (i = 0; trackmeter_record(bytes, size, i, &record_id, NULL); ++i)
          CHECK(trackmeter_find_id(bytes, size, record_id, NULL), number);
        free(table);
        table = bytes;
        table_size = size;
      } else {
        free(bytes);
      }
      ++counts[1];
    } else if ((strcmp(word, "find") == 0 &&
                sscanf(line, "find %2047s %31s", text, expected) == 2) ||
               (strcmp(word, "find-id") == 0 &&
                sscanf(line, "find-id %lu %31s", &id, expected) == 2)) {
      if (strcmp(word, "find") == 0) {
        size_t length = Unescape(text);
        found = trackmeter_find_path(table, table_size, text, length, &seconds);
      } else {
        found = trackmeter_find_id(table, table_size, (uint32_t)id, &seconds);
      }
      if (strcmp(expected, "-") == 0)
        CHECK(!found, number);
      else
        CHECK(found && seconds == strtof(expected, NULL), number);
      ++counts[2];
    } else {
      fprintf(stderr, "line %d: not a vector: %s", number, line);
      ++counts[3];
    }
  }
  free(table);
}

static void NullPointersAndBounds(void) {
  static const unsigned char kTable[] = {1, 0, 0, 0, 1, 0, 0, 0,
                                         0xB1, 0xB3, 0x27, 0, 0, 0, 0x20, 0x41};
  size_t where = 99;
  uint64_t where64 = 99;
  float seconds = -1.0f;

  /* An empty buffer may be null; a null pointer with a size is an error. */
  CHECK(trackmeter_check(NULL, 0, &where) == TRACKMETER_ERR_SHORT && where == 0, __LINE__);
  CHECK(trackmeter_check(NULL, 16, &where) == TRACKMETER_ERR_NULL && where == 0, __LINE__);
  CHECK(trackmeter_check_header(NULL, 16, NULL) == TRACKMETER_ERR_NULL, __LINE__);
  CHECK(trackmeter_check(kTable, sizeof kTable, NULL) == TRACKMETER_OK, __LINE__);
  CHECK(trackmeter_path_hash(NULL, 5, 2) == 0, __LINE__);
  CHECK(trackmeter_pass(NULL, 16) == 0 && trackmeter_count(NULL, 16) == 0, __LINE__);
  CHECK(!trackmeter_find_id(NULL, 16, 2601905, &seconds), __LINE__);
  CHECK(!trackmeter_find_path(NULL, 16, "music/intro.ogg", 15, &seconds), __LINE__);
  CHECK(!trackmeter_find_path(kTable, sizeof kTable, NULL, 3, &seconds), __LINE__);
  CHECK(trackmeter_find_id(kTable, sizeof kTable, 2601905, NULL), __LINE__);
  CHECK(trackmeter_record(kTable, sizeof kTable, 0, NULL, NULL), __LINE__);
  CHECK(seconds == -1.0f, __LINE__);

  /* The header check reads 8 bytes and judges the size it is told. */
  CHECK(trackmeter_check_header(kTable, 17, &where64) == TRACKMETER_ERR_TRAILING &&
            where64 == 16, __LINE__);
  CHECK(trackmeter_check_header(kTable, (uint64_t)1 << 40, &where64) ==
            TRACKMETER_ERR_TRAILING && where64 == 16, __LINE__);
  CHECK(trackmeter_check_header(kTable, 15, &where64) == TRACKMETER_ERR_TRUNCATED &&
            where64 == 15, __LINE__);

  /* A size short of the records the header claims bounds every lookup. */
  CHECK(trackmeter_count(kTable, 15) == 0 && !trackmeter_find_id(kTable, 15, 2601905, NULL),
        __LINE__);

  {
    int e;
    for (e = TRACKMETER_OK; e <= TRACKMETER_ERR_ORDER; ++e)
      CHECK(strcmp(trackmeter_error_text((trackmeter_error)e), "unknown error") != 0,
            __LINE__);
  }
}

int main(int argc, char **argv) {
  int counts[4] = {0, 0, 0, 0};
  FILE *f;
  if (argc != 2 || (f = fopen(argv[1], "r")) == NULL) {
    fprintf(stderr, "usage: %s test/vectors/durations.txt\n", argv[0]);
    return 2;
  }
  RunVectors(f, counts);
  fclose(f);
  CHECK(counts[0] > 0 && counts[1] > 0 && counts[2] > 0 && counts[3] == 0, __LINE__);
  NullPointersAndBounds();
  printf("C reader: %d ids, %d tables, %d lookups from the vectors\n", counts[0],
         counts[1], counts[2]);
  printf("%d passed, %d failed\n", checks - failures, failures);
  return failures == 0 ? 0 : 1;
}
