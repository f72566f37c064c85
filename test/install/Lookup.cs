// SPDX-License-Identifier: MIT
// Lookup.exe TABLE PATH...: as lookup.c, through csharp/DurationsTable.cs.
using System;
using System.Globalization;
using System.IO;
using System.Text;
using Trackmeter;

static class Lookup {
  static int Main(string[] args) {
    DurationsTable table;
    try {
      table = DurationsTable.Load(args[0]);
    } catch (DurationsTableException e) {
      Console.Error.WriteLine($"Lookup: {e.Error} at offset {e.Offset}: {e.Message}");
      return 2;
    }
    // UTF-8 whatever the locale says, as the other readers print.
    using (var output = new StreamWriter(Console.OpenStandardOutput(), new UTF8Encoding(false))) {
      output.NewLine = "\n";
      for (int i = 1; i < args.Length; ++i) {
        float seconds;
        string found = table.TryGetSeconds(args[i], out seconds)
            ? seconds.ToString("G9", CultureInfo.InvariantCulture) : "not found";
        output.WriteLine($"{args[i]}\t{found}");
      }
    }
    return 0;
  }
}
