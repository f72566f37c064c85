// SPDX-License-Identifier: MIT
// DurationsTable.cs: reading Durations.bin (format 1), the table trackmeter
// writes, in C#. One file: C# 7.2, .NET Standard 2.0, no unsafe code, so it
// runs in Unity 2019 and later, Godot 4 .NET, MonoGame, FNA, Stride and .NET 6
// and later. Copy it, or add its folder as a Unity package. FORMAT.md, beside
// the project's README, describes the table.
//
//   var table = DurationsTable.Load("music/Durations.bin");  // or Parse(bytes)
//   if (table.TryGetSeconds("sfx/Chime.ogg", out float seconds)) ...
//
// A path is hashed as its UTF-8 bytes, with "/" or "\" between components and
// a-z in any letter case; a lookup drops a leading "./". Load and Parse check the whole table first, as the C
// header trackmeter/durations.h does, and throw DurationsTableException: its
// Error is the check that failed (the C header's TRACKMETER_ERR_ names and
// numbers) and its Offset the byte where the fault lies. Load compares the
// header with the file's size before it reads the records, so a huge file is
// refused unread. A lookup allocates nothing but the path's UTF-8 bytes, and
// any number of threads may look up at once.
using System;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;

namespace Trackmeter {
  public enum DurationsTableError { Short = 2, Pass = 3, Count = 4, Truncated = 5, Trailing = 6, Order = 7 }

  public sealed class DurationsTableException : FormatException {
    public DurationsTableException(DurationsTableError error, long offset, string message)
        : base(message) {
      Error = error;
      Offset = offset;
    }

    public DurationsTableError Error { get; }
    public long Offset { get; }
  }

  public sealed class DurationsTable {
    const int HeaderSize = 8;
    const int RecordSize = 8;

    readonly uint[] _ids;
    readonly float[] _seconds;

    DurationsTable(uint pass, uint[] ids, float[] seconds) {
      Pass = pass;
      _ids = ids;
      _seconds = seconds;
    }

    /// <summary>Ids use the multiplier Pass + 1.</summary>
    public uint Pass { get; }

    /// <summary>The number of records.</summary>
    public int Count => _ids.Length;

    /// <summary>The table in data, checked whole.</summary>
    public static DurationsTable Parse(byte[] data) {
      if (data == null) throw new ArgumentNullException(nameof(data));
      CheckHeader(data, data.Length);
      int count = (data.Length - HeaderSize) / RecordSize;
      var ids = new uint[count];
      var seconds = new float[count];
      for (int i = 0; i < count; ++i) {
        int at = HeaderSize + RecordSize * i;
        ids[i] = Le32(data, at);
        if (i > 0 && ids[i] <= ids[i - 1])
          throw new DurationsTableException(DurationsTableError.Order, at,
              $"record {i} at offset {at}: id {ids[i]} does not ascend from {ids[i - 1]} of record {i - 1}");
        seconds[i] = new Bits { U = Le32(data, at + 4) }.F;
      }
      return new DurationsTable(Le32(data, 0), ids, seconds);
    }

    /// <summary>The table in the file at path. Throws DurationsTableException,
    /// or IOException when the file cannot be read.</summary>
    public static DurationsTable Load(string path) {
      using (var file = File.OpenRead(path)) {
        var header = new byte[HeaderSize];
        int got = ReadFully(file, header, 0);
        long size = got < HeaderSize ? got : file.Length;
        CheckHeader(header, size);
        if (size > int.MaxValue)
          throw new IOException($"a table of {size} bytes is too large to load");
        var data = new byte[size];
        Array.Copy(header, data, HeaderSize);
        if (ReadFully(file, data, HeaderSize) < data.Length)
          throw new EndOfStreamException("the table became shorter while it was read");
        return Parse(data);
      }
    }

    /// <summary>The id of path's UTF-8 bytes under multiplier (Pass + 1).</summary>
    public static uint PathHash(string path, uint multiplier) =>
        PathHash(Encoding.UTF8.GetBytes(path), multiplier);

    /// <summary>The id of these bytes of a path under multiplier (Pass + 1):
    /// h = h * multiplier + byte, with a-z read as A-Z and "/" as "\".</summary>
    public static uint PathHash(byte[] path, uint multiplier) {
      if (path == null) throw new ArgumentNullException(nameof(path));
      uint h = 0;
      foreach (byte b in path) {
        uint c = b >= 'a' && b <= 'z' ? b - 0x20u : b == '/' ? '\\' : (uint)b;
        h = unchecked(h * multiplier + c);
      }
      return h;
    }

    /// <summary>The seconds of the file at the relative path, if the table holds
    /// it; a leading "./" is dropped. A path that is not in the table may still
    /// share an id with one that is.</summary>
    public bool TryGetSeconds(string path, out float seconds) {
      if (path == null) throw new ArgumentNullException(nameof(path));
      // The table's paths never start with "./"; a shell's completion gives one.
      int start = 0;
      while (path.Length - start > 2 && path[start] == '.' && (path[start + 1] == '/' || path[start + 1] == '\\'))
        start += 2;
      return TryGetSeconds(PathHash(start == 0 ? path : path.Substring(start), unchecked(Pass + 1)), out seconds);
    }

    /// <summary>The seconds of the record with this id, if there is one.</summary>
    public bool TryGetSeconds(uint id, out float seconds) {
      int low = 0, high = _ids.Length;
      while (low < high) {
        int mid = low + (high - low) / 2;
        if (_ids[mid] < id) low = mid + 1;
        else high = mid;
      }
      bool found = low < _ids.Length && _ids[low] == id;
      seconds = found ? _seconds[low] : 0f;
      return found;
    }

    // The checks that need only the header (its first min(size, 8) bytes) and
    // the size of the whole table.
    static void CheckHeader(byte[] header, long size) {
      if (size < HeaderSize)
        Fail(DurationsTableError.Short, size, $"table of {size} bytes is shorter than its 8-byte header");
      if (Le32(header, 0) == 0)
        Fail(DurationsTableError.Pass, 0, "pass at offset 0 is 0; it is at least 1");
      int count = unchecked((int)Le32(header, 4));
      if (count < 1)
        Fail(DurationsTableError.Count, 4, $"count at offset 4 is {count}; a table holds at least 1 record");
      long expected = HeaderSize + RecordSize * (long)count;
      if (size < expected)
        Fail(DurationsTableError.Truncated, size,
            $"count at offset 4 is {count}, which needs {expected} bytes; the table has {size}");
      if (size > expected)
        Fail(DurationsTableError.Trailing, expected,
            $"{size - expected} bytes trailing after record {count - 1}, from offset {expected}");
    }

    static void Fail(DurationsTableError error, long offset, string message) =>
        throw new DurationsTableException(error, offset, message);

    static uint Le32(byte[] b, int at) =>
        b[at] | (uint)b[at + 1] << 8 | (uint)b[at + 2] << 16 | (uint)b[at + 3] << 24;

    // Reads until buffer is full or the stream ends; the bytes now in it.
    static int ReadFully(Stream stream, byte[] buffer, int start) {
      int n;
      while (start < buffer.Length && (n = stream.Read(buffer, start, buffer.Length - start)) > 0)
        start += n;
      return start;
    }

    // The bits of a binary32 as a float, on any byte order, without unsafe code.
    [StructLayout(LayoutKind.Explicit)]
    struct Bits {
      [FieldOffset(0)] public uint U;
      [FieldOffset(0)] public float F;
    }
  }
}
