-- SPDX-License-Identifier: MIT
-- Tests of trackmeter_table.lua: every vector of test/vectors/durations.txt,
-- then files. Run from anywhere with luajit, lua5.1, lua5.3 or lua5.4:
--   luajit lua/trackmeter_table_test.lua
-- It prints a line for each failure and exits with status 1 after any.
local here = arg[0]:match("^(.*[/\\])") or "./"
package.path = here .. "?.lua;" .. package.path
local tt = require("trackmeter_table")

local failures = 0
local function check(ok, what)
  if not ok then
    failures = failures + 1
    print("FAIL: " .. what)
  end
end

-- The bytes of a vector's path, its %HH escapes undone.
local function unescape(path)
  return (path:gsub("%%(%x%x)", function(h) return string.char(tonumber(h, 16)) end))
end

local function from_hex(hex)
  if hex == "-" then return "" end
  return (hex:gsub("%x%x", function(h) return string.char(tonumber(h, 16)) end))
end

-- The binary32 value nearest to x (normal numbers, as the vectors hold).
local function float32(x)
  if x == 0 then return 0 end
  local e = 0
  while math.abs(x) >= 2 ^ (e + 1) do e = e + 1 end
  while math.abs(x) < 2 ^ e do e = e - 1 end
  local ulp = 2 ^ (e - 23)
  return math.floor(x / ulp + 0.5) * ulp
end

local function expected_seconds(text)
  if text == "-" then return nil end
  return float32(tonumber(text))
end

local counts = { id = 0, table = 0, find = 0, ["find-id"] = 0 }
local table_ -- the last valid table
local number = 0
for line in io.lines(here .. "../test/vectors/durations.txt") do
  number = number + 1
  if line ~= "" and line:sub(1, 1) ~= "#" then
    local f = {}
    for field in line:gmatch("[^ ]+") do f[#f + 1] = field end
    local where = "line " .. number .. ": " .. line
    check(counts[f[1]] ~= nil, where .. ": not a vector")
    counts[f[1]] = (counts[f[1]] or 0) + 1
    if f[1] == "id" then
      check(tt.path_hash(unescape(f[4]), tonumber(f[2])) == tonumber(f[3]), where)
    elseif f[1] == "table" then
      local bytes = from_hex(f[5])
      local parsed, message, code, offset = tt.parse(bytes)
      if f[3] == "ok" then
        local b0, b1, b2, b3 = bytes:byte(1, 4)
        check(parsed and 8 + 8 * parsed:count() == #bytes and
          parsed:pass() == b0 + 256 * b1 + 65536 * b2 + 16777216 * b3, where .. ": " .. tostring(message))
        table_ = parsed
      else
        check(parsed == nil and code == f[3] and offset == tonumber(f[4]) and type(message) == "string",
          where .. ": got " .. tostring(code) .. " at " .. tostring(offset))
      end
    elseif f[1] == "find" then
      check(table_ and table_:lookup(unescape(f[2])) == expected_seconds(f[3]), where)
    elseif f[1] == "find-id" then
      check(table_ and table_:lookup_id(tonumber(f[2])) == expected_seconds(f[3]), where)
    end
  end
end
for kind, n in pairs(counts) do check(n > 0, "no " .. kind .. " vectors") end

-- load() refuses a file whose size disagrees with its header before reading
-- it (here a sparse 4 GiB file behind a good header), and reports a missing
-- file.
local file_name = os.tmpname()
local file = assert(io.open(file_name, "wb"))
file:write(from_hex("04000000010000004d0000000000003f")) -- pass 4; id 77, 0.5 s
file:close()
local loaded = tt.load(file_name)
check(loaded and loaded:lookup_id(77) == 0.5, "load of a good table")
file = assert(io.open(file_name, "r+b"))
file:seek("set", 2 ^ 32 - 1)
file:write("x")
file:close()
local _, _, code, offset = tt.load(file_name)
check(code == "trailing" and offset == 16, "load of a table with trailing bytes")
os.remove(file_name)

-- A bad argument or a file that cannot be read gives nil and a message,
-- never an error raised: a missing file, a directory, values of other types.
local good = tt.parse(from_hex("0100000001000000b1b3270000002041"))
local directory = here .. "."
for _, case in ipairs({
  { "load of a missing file", tt.load, file_name },
  { "load of a directory", tt.load, directory },
  { "load(nil)", tt.load, nil },
  { "load(42)", tt.load, 42 },
  { "parse(nil)", tt.parse, nil },
  { "parse({})", tt.parse, {} },
  { "path_hash(nil)", tt.path_hash, nil, 2 },
  { "lookup(nil)", good.lookup, good, nil },
  { "lookup_id('5')", good.lookup_id, good, "5" },
}) do
  local ok, result, message = pcall(case[2], case[3], case[4])
  check(ok and result == nil and type(message) == "string" and not message:find("0 bytes"),
    case[1] .. ": " .. tostring(result) .. ", " .. tostring(message))
end

print(("%s: %d failures"):format(_VERSION .. (jit and " (" .. jit.version .. ")" or ""), failures))
os.exit(failures == 0 and 0 or 1)
