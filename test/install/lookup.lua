-- SPDX-License-Identifier: MIT
-- lookup.lua TABLE PATH...: as lookup.c, through trackmeter_table.lua dropped
-- in beside it, as a game takes it.
local trackmeter_table = require("trackmeter_table")

local table_, message = trackmeter_table.load(arg[1])
if not table_ then
  io.stderr:write("lookup.lua: ", message, "\n")
  os.exit(2)
end
for i = 2, #arg do
  local seconds = table_:lookup(arg[i])
  print(arg[i] .. "\t" .. (seconds and ("%.9g"):format(seconds) or "not found"))
end
