// SPDX-License-Identifier: MIT
// Tests of DurationsTable: every vector of test/vectors/durations.txt (the one
// argument), then what the vectors cannot show: Load on files. Unity skips
// this folder (its name ends in "~"); CTest builds it with mcs and runs it
// with mono.
using System;
using System.Globalization;
using System.IO;
using System.Text;
using Trackmeter;

static class DurationsTableTest {
  static int _checks, _failures;

  static void Check(bool ok, string where, string what) {
    ++_checks;
    if (ok) return;
    ++_failures;
    Console.Error.WriteLine($"{where}: failed: {what}");
  }

  // The bytes of a vector's path, its %HH escapes undone.
  static byte[] Unescape(string path) {
    var bytes = new MemoryStream();
    for (int i = 0; i < path.Length; ++i) {
      if (path[i] == '%') {
        bytes.WriteByte(byte.Parse(path.Substring(i + 1, 2), NumberStyles.HexNumber));
        i += 2;
      } else {
        bytes.WriteByte((byte)path[i]);
      }
    }
    return bytes.ToArray();
  }

  static byte[] FromHex(string hex) {
    if (hex == "-") return new byte[0];
    var bytes = new byte[hex.Length / 2];
    for (int i = 0; i < bytes.Length; ++i)
      bytes[i] = byte.Parse(hex.Substring(2 * i, 2), NumberStyles.HexNumber);
    return bytes;
  }

  // The string whose UTF-8 bytes these are, or null when they are no UTF-8.
  static string Utf8OrNull(byte[] bytes) {
    try {
      return new UTF8Encoding(false, true).GetString(bytes);
    } catch (ArgumentException) {
      return null;
    }
  }

  static void RunVectors(string file, int[] counts) {
    DurationsTable table = null;
    int number = 0;
    foreach (string line in File.ReadAllLines(file)) {
      string where = $"line {++number}";
      if (line.StartsWith("#") || line.Trim().Length == 0) continue;
      string[] f = line.Split(' ');
      if (f[0] == "id") {
        byte[] path = Unescape(f[3]);
        uint multiplier = uint.Parse(f[1]), id = uint.Parse(f[2]);
        Check(DurationsTable.PathHash(path, multiplier) == id, where, "PathHash(bytes)");
        // Every path that is UTF-8 gives the same id as a string.
        string text = Utf8OrNull(path);
        if (text != null) Check(DurationsTable.PathHash(text, multiplier) == id, where, "PathHash(string)");
        ++counts[0];
      } else if (f[0] == "table") {
        byte[] bytes = FromHex(f[4]);
        try {
          table = DurationsTable.Parse(bytes);
          Check(f[2] == "ok", where, $"accepted a table that is {f[2]}");
          Check(table.Pass == BitConverter.ToUInt32(bytes, 0) && 8 + 8 * table.Count == bytes.Length,
                where, "Pass and Count");
        } catch (DurationsTableException e) {
          Check(e.Error.ToString().ToLowerInvariant() == f[2] && e.Offset == long.Parse(f[3]), where,
                $"refused with {e.Error} at {e.Offset}: {e.Message}");
        } catch (Exception e) {
          Check(false, where, $"threw {e}");
        }
        ++counts[1];
      } else if (f[0] == "find" || f[0] == "find-id") {
        bool found;
        float seconds;
        if (f[0] == "find-id") {
          found = table.TryGetSeconds(uint.Parse(f[1]), out seconds);
        } else {
          byte[] path = Unescape(f[1]);
          string text = Utf8OrNull(path);
          found = text != null ? table.TryGetSeconds(text, out seconds)
                               : table.TryGetSeconds(DurationsTable.PathHash(path, table.Pass + 1), out seconds);
        }
        if (f[2] == "-")
          Check(!found && seconds == 0f, where, "found");
        else
          Check(found && seconds == float.Parse(f[2], CultureInfo.InvariantCulture), where, $"found {found}, {seconds}");
        ++counts[2];
      } else {
        Check(false, where, "not a vector: " + line);
      }
    }
  }

  static void ExpectError(string path, DurationsTableError error, long offset, string where) {
    try {
      DurationsTable.Load(path);
      Check(false, where, "loaded");
    } catch (DurationsTableException e) {
      Check(e.Error == error && e.Offset == offset, where, $"{e.Error} at {e.Offset}");
    }
  }

  static void LoadFiles() {
    string dir = Path.Combine(Path.GetTempPath(), "trackmeter-cs-" + Guid.NewGuid().ToString("N"));
    Directory.CreateDirectory(dir);
    try {
      string path = Path.Combine(dir, "Durations.bin");
      File.WriteAllBytes(path, FromHex("0400000001000000" + "4d000000" + "0000003f"));
      float seconds;
      Check(DurationsTable.Load(path).TryGetSeconds(77u, out seconds) && seconds == 0.5f, "Load", "record 77");
      // A sparse 4 GiB file behind a good header is refused from its size, unread.
      using (var file = new FileStream(path, FileMode.Open)) file.SetLength(1L << 32);
      ExpectError(path, DurationsTableError.Trailing, 16, "Load of 4 GiB");
      File.WriteAllBytes(path, new byte[] { 1, 0, 0 });
      ExpectError(path, DurationsTableError.Short, 3, "Load of 3 bytes");
    } finally {
      Directory.Delete(dir, true);
    }
  }

  static int Main(string[] args) {
    if (args.Length != 1) {
      Console.Error.WriteLine("usage: DurationsTableTest.exe test/vectors/durations.txt");
      return 2;
    }
    var counts = new int[3];
    RunVectors(args[0], counts);
    Check(counts[0] > 0 && counts[1] > 0 && counts[2] > 0, "vectors", "a kind of vector is missing");
    LoadFiles();
    Console.WriteLine($"C# reader: {counts[0]} ids, {counts[1]} tables, {counts[2]} lookups from the vectors");
    Console.WriteLine($"{_checks - _failures} passed, {_failures} failed");
    return _failures == 0 ? 0 : 1;
  }
}
