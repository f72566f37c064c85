-- SPDX-License-Identifier: MIT
-- trackmeter_table.lua: reading Durations.bin (format 1), the table
-- trackmeter writes, in Lua. One file, no C module: the same file runs on
-- LuaJIT 2.1 (LOVE, Defold), Lua 5.1 and Lua 5.3 or 5.4. Drop it into the
-- game. FORMAT.md, beside the project's README, describes the table.
--
--   local trackmeter_table = require("trackmeter_table")
--   local table = assert(trackmeter_table.parse(bytes))  -- bytes: a string
--   table:lookup("sfx/Chime.ogg")                        -- seconds, or nil
--
-- A path is a string of bytes (UTF-8 as the file system gave the name), "/"
-- or "\" between components, a-z in any letter case; a lookup drops a
-- leading "./". parse() checks the whole table first, as the C header
-- trackmeter/durations.h does; for an invalid one it returns nil, a message,
-- the code of the check that failed ("short", "pass", "count", "truncated",
-- "trailing" or "order", the C header's error names) and the byte offset
-- where the fault lies. Nothing here raises an error: a bad argument, or a
-- file that cannot be read, gives nil and a message.
--
-- Numbers: LuaJIT and Lua 5.1 have doubles alone, so every 32-bit product is
-- made of 16-bit halves and no step reaches 2^53; on Lua 5.3 and later the
-- same steps stay integers.

local M = { FORMAT = 1 }

local HEADER_SIZE = 8
local RECORD_SIZE = 8
local TWO_32 = 4294967296
local floor, byte = math.floor, string.byte

-- (h * m + c) mod 2^32 for h, m below 2^32 and c below 2^8, exactly: each
-- partial product is below 2^48.
local function mul_add(h, m, c)
  local m_low = m % 65536
  local m_high = floor(m / 65536)
  return (h * m_low + (h * m_high % 65536) * 65536 + c) % TWO_32
end

-- nil when value has the type wanted; otherwise the message for it.
local function bad_argument(what, value, wanted)
  if type(value) == wanted then return nil end
  return ("%s takes %s, not a %s"):format(what, wanted == "string" and "a string" or "a number",
    type(value))
end

--- The id of path under multiplier (a table's pass + 1): for each byte,
--- with a-z read as A-Z and "/" as "\", h = h * multiplier + byte, modulo
--- 2^32. nil and a message when either is of the wrong type.
function M.path_hash(path, multiplier)
  local bad = bad_argument("path_hash's path", path, "string")
    or bad_argument("path_hash's multiplier", multiplier, "number")
  if bad then return nil, bad end
  local m = floor(multiplier) % TWO_32
  local h = 0
  for i = 1, #path do
    local c = byte(path, i)
    if c >= 0x61 and c <= 0x7A then
      c = c - 0x20
    elseif c == 0x2F then
      c = 0x5C
    end
    h = mul_add(h, m, c)
  end
  return h
end

-- The little-endian uint32 at 1-based position i.
local function le32(bytes, i)
  local b0, b1, b2, b3 = byte(bytes, i, i + 3)
  return b0 + b1 * 256 + b2 * 65536 + b3 * 16777216
end

-- The IEEE 754 binary32 value of the bits u (a uint32), as a number.
local function float32(u)
  local sign = u >= 2147483648 and -1 or 1
  local exponent = floor(u / 8388608) % 256
  local fraction = u % 8388608
  if exponent == 255 then
    if fraction ~= 0 then return 0 / 0 end
    return sign * (1 / 0)
  elseif exponent == 0 then
    return sign * fraction * 2 ^ -149
  end
  return sign * (fraction + 8388608) * 2 ^ (exponent - 150)
end

-- nil when header (the first min(size, 8) bytes of a table of size bytes)
-- passes every check but the order of the ids; otherwise the failure.
local function check_header(header, size)
  if size < HEADER_SIZE then
    return ("table of %d bytes is shorter than its 8-byte header"):format(size), "short", size
  end
  if le32(header, 1) == 0 then
    return "pass at offset 0 is 0; it is at least 1", "pass", 0
  end
  local count = le32(header, 5)
  if count >= 2147483648 then count = count - TWO_32 end -- a signed field
  if count < 1 then
    return ("count at offset 4 is %d; a table holds at least 1 record"):format(count), "count", 4
  end
  local expected = HEADER_SIZE + RECORD_SIZE * count
  if size < expected then
    return ("count at offset 4 is %d, which needs %d bytes; the table has %d")
      :format(count, expected, size), "truncated", size
  end
  if size > expected then
    return ("%d bytes trailing after record %d, from offset %d")
      :format(size - expected, count - 1, expected), "trailing", expected
  end
  return nil
end

local Table = {}
Table.__index = Table

--- The table in bytes (a string), checked whole; or nil, a message, the
--- code and the offset of the check that failed. The table keeps the ids
--- and seconds, not the string.
function M.parse(bytes)
  local bad = bad_argument("parse", bytes, "string")
  if bad then return nil, bad end
  local message, code, offset = check_header(bytes, #bytes)
  if message then return nil, message, code, offset end
  local count = floor((#bytes - HEADER_SIZE) / RECORD_SIZE)
  local ids, seconds = {}, {}
  local previous = -1
  for i = 1, count do
    local at = HEADER_SIZE + RECORD_SIZE * (i - 1)
    local id = le32(bytes, at + 1)
    if id <= previous then
      return nil, ("record %d at offset %d: id %d does not ascend from %d of record %d")
        :format(i - 1, at, id, previous, i - 2), "order", at
    end
    ids[i], seconds[i], previous = id, float32(le32(bytes, at + 5)), id
  end
  return setmetatable({ _pass = le32(bytes, 1), _count = count, _ids = ids, _seconds = seconds }, Table)
end

--- The table in the file at path; or nil and a message when path is no
--- string or the file cannot be read (a directory, say), or nil, a message,
--- the code and the offset when it is invalid. The header is checked
--- against the file's size before the records are read, so a huge file is
--- refused unread.
function M.load(path)
  local bad = bad_argument("load", path, "string")
  if bad then return nil, bad end
  local file, err = io.open(path, "rb")
  if not file then return nil, err end
  -- A read that fails gives nil and a message; one at the end, nil alone.
  local size, start, header, rest
  size, err = file:seek("end")
  if size then start, err = file:seek("set", 0) end
  if start then header, err = file:read(HEADER_SIZE) end
  header = header or ""
  if err then
    file:close()
    return nil, path .. ": " .. err
  end
  local message, code, offset = check_header(header, #header < HEADER_SIZE and #header or size)
  if message then
    file:close()
    return nil, message, code, offset
  end
  rest, err = file:read("*a")
  file:close()
  if not rest then return nil, path .. ": " .. tostring(err) end
  return M.parse(header .. rest)
end

--- The table's pass: its ids use the multiplier pass + 1.
function Table:pass()
  return self._pass
end

--- The number of records, at least 1.
function Table:count()
  return self._count
end

--- The seconds of the record with this id, or nil (and a message when id is
--- no number). A binary search.
function Table:lookup_id(id)
  local bad = bad_argument("lookup_id", id, "number")
  if bad then return nil, bad end
  local ids = self._ids
  local low, high = 1, self._count + 1
  while low < high do
    local mid = floor((low + high) / 2)
    if ids[mid] < id then
      low = mid + 1
    else
      high = mid
    end
  end
  if ids[low] == id then return self._seconds[low] end
  return nil
end

--- The seconds of the file at the relative path, or nil (and a message when
--- path is no string); a leading "./" is dropped. A path that is not in the
--- table may still share an id with one that is.
function Table:lookup(path)
  local bad = bad_argument("lookup", path, "string")
  if bad then return nil, bad end
  -- The table's paths never start with "./"; a shell's completion gives one.
  local start = 1
  while #path - start >= 2 and byte(path, start) == 0x2E
    and (byte(path, start + 1) == 0x2F or byte(path, start + 1) == 0x5C) do
    start = start + 2
  end
  return self:lookup_id(M.path_hash(path:sub(start), self._pass + 1))
end

return M
