// SPDX-License-Identifier: MIT
/* lookup TABLE PATH...: PATH<TAB>SECONDS or PATH<TAB>not found for each
 * PATH, through trackmeter/durations.h; exit 2 for a table it refuses. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "trackmeter/durations.h"

int main(int argc, char **argv) {
  FILE *f = argc > 1 ? fopen(argv[1], "rb") : NULL;
  unsigned char *table;
  long size;
  size_t where;
  trackmeter_error e;
  int i;
  if (f == NULL || fseek(f, 0, SEEK_END) != 0 || (size = ftell(f)) < 0 ||
      fseek(f, 0, SEEK_SET) != 0 || (table = malloc((size_t)size + 1)) == NULL ||
      fread(table, 1, (size_t)size, f) != (size_t)size) {
    fprintf(stderr, "lookup: cannot read the table\n");
    return 2;
  }
  fclose(f);
  e = trackmeter_check(table, (size_t)size, &where);
  if (e != TRACKMETER_OK) {
    fprintf(stderr, "lookup: %s at offset %lu\n", trackmeter_error_text(e),
            (unsigned long)where);
    return 2;
  }
  for (i = 2; i < argc; ++i) {
    float seconds;
    if (trackmeter_find_path(table, (size_t)size, argv[i], strlen(argv[i]), &seconds))
      printf("%s\t%.9g\n", argv[i], seconds);
    else
      printf("%s\tnot found\n", argv[i]);
  }
  free(table);
  return 0;
}
