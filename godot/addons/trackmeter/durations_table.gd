# SPDX-License-Identifier: MIT
class_name DurationsTable
## Reads Durations.bin (format 1), the table of Ogg durations that trackmeter
## writes, in GDScript. The same file runs on Godot 3 (3.2 or later) and
## Godot 4: no extends line, and only what both engines have.
##
##     var durations = DurationsTable.new()
##     if durations.parse(bytes) != OK:
##         push_error(durations.get_error_message())
##     var seconds = durations.lookup("sfx/Chime.ogg")  # -1.0 when absent
##
## parse() takes the table's bytes however the game read them (a PoolByteArray
## on Godot 3, a PackedByteArray on Godot 4) and checks the whole table first,
## as every reader of the format does. A path is hashed as its UTF-8 bytes,
## "/" or "\" between components, a-z in any letter case; a leading "./" is
## dropped. FORMAT.md, beside the project's README, describes the table.

# GDScript's ints are 64-bit and signed: the product of two 32-bit numbers
# may pass 2^63, where the engine's own arithmetic overflows, so the hash makes
# each product of 16-bit halves and no step passes 2^49.

const _HEADER_SIZE = 8
const _RECORD_SIZE = 8

var _pass = 0
var _ids = []
var _seconds = []
var _error_message = ""


## Reads the table in bytes, checked whole. OK, or ERR_PARSE_ERROR for bytes
## that are no valid table, ERR_INVALID_PARAMETER for something that is no
## byte array; get_error_message() says why. After a failure the table is
## empty.
func parse(bytes) -> int:
	_pass = 0
	_ids = []
	_seconds = []
	_error_message = ""
	var buffer = StreamPeerBuffer.new()
	# The byte array type has one name in Godot 3 and another in Godot 4.
	if typeof(bytes) != typeof(buffer.data_array):
		_error_message = "parse takes the table's bytes as a byte array"
		return ERR_INVALID_PARAMETER
	buffer.data_array = bytes
	var size = buffer.get_size()
	if size < _HEADER_SIZE:
		return _fail("short", size, "table of %d bytes is shorter than its 8-byte header" % size)
	var pass_ = buffer.get_u32()
	var count = buffer.get_32()
	if pass_ == 0:
		return _fail("pass", 0, "pass at offset 0 is 0; it is at least 1")
	if count < 1:
		return _fail("count", 4, "count at offset 4 is %d; a table holds at least 1 record" % count)
	var expected = _HEADER_SIZE + _RECORD_SIZE * count
	if size < expected:
		return _fail("truncated", size,
				"count at offset 4 is %d, which needs %d bytes; the table has %d" % [count, expected, size])
	if size > expected:
		return _fail("trailing", expected,
				"%d bytes trailing after record %d, from offset %d" % [size - expected, count - 1, expected])
	var ids = []
	var seconds = []
	ids.resize(count)
	seconds.resize(count)
	var previous = -1
	for i in range(count):
		var id = buffer.get_u32()
		if id <= previous:
			var at = _HEADER_SIZE + _RECORD_SIZE * i
			return _fail("order", at, "record %d at offset %d: id %d does not ascend from %d of record %d"
					% [i, at, id, previous, i - 1])
		ids[i] = id
		seconds[i] = buffer.get_float()
		previous = id
	_pass = pass_
	_ids = ids
	_seconds = seconds
	return OK


## Why the last parse() failed: FORMAT.md's name of the check and the offset
## where the fault lies, then the details, as in "short at offset 7: table of
## 7 bytes is shorter than its 8-byte header". Empty after a success.
func get_error_message() -> String:
	return _error_message


## The table's pass: its ids use the multiplier pass + 1. 0 when no table was
## parsed.
func get_pass() -> int:
	return _pass


## The number of records; 0 when no table was parsed.
func get_count() -> int:
	return _ids.size()


## The seconds of the record with this id, or -1.0 when there is none.
func lookup_id(id: int) -> float:
	var low = 0
	var high = _ids.size()
	while low < high:
		var mid = (low + high) >> 1
		if _ids[mid] < id:
			low = mid + 1
		else:
			high = mid
	if low < _ids.size() and _ids[low] == id:
		return _seconds[low]
	return -1.0


## The seconds of the file at the relative path, or -1.0 when no record has
## its id. A leading "./" (or ".\") is dropped, as trackmeter-lookup drops it.
## A path that is not in the table may still share an id with one that is.
func lookup(path: String) -> float:
	var bytes = _utf8(path)
	# The table's paths never start with "./"; a shell's completion gives one.
	while bytes.get_available_bytes() > 2:
		var at = bytes.get_position()
		var dot = bytes.get_u8()
		var slash = bytes.get_u8()
		if dot != 0x2E or (slash != 0x2F and slash != 0x5C):
			bytes.seek(at)
			break
	return lookup_id(_hash_rest(bytes, _pass + 1))


## The id of path's UTF-8 bytes under multiplier (a table's pass + 1): for each
## byte, with a-z read as A-Z and "/" as "\", h = h * multiplier + byte,
## modulo 2^32. Exact for every multiplier up to 4294967295.
static func path_hash(path: String, multiplier: int) -> int:
	return _hash_rest(_utf8(path), multiplier)


# path's UTF-8 bytes in a buffer, its cursor on the first. put_utf8_string
# writes a 32-bit length before them.
static func _utf8(path: String):
	var bytes = StreamPeerBuffer.new()
	bytes.put_utf8_string(path)
	bytes.seek(4)
	return bytes


# The hash of the bytes from the buffer's cursor to its end.
static func _hash_rest(bytes, multiplier: int) -> int:
	var m = multiplier & 0xFFFFFFFF
	var m_low = m & 0xFFFF
	var m_high = m >> 16
	var h = 0
	for _i in range(bytes.get_available_bytes()):
		var c = bytes.get_u8()
		if c >= 0x61 and c <= 0x7A:
			c -= 0x20
		elif c == 0x2F:
			c = 0x5C
		# h * m = h * m_low + h * m_high * 2^16; each product is below 2^48,
		# and only the low 16 bits of the second reach the result.
		h = (h * m_low + (((h * m_high) & 0xFFFF) << 16) + c) & 0xFFFFFFFF
	return h


func _fail(check: String, offset: int, details: String) -> int:
	_error_message = "%s at offset %d: %s" % [check, offset, details]
	return ERR_PARSE_ERROR
