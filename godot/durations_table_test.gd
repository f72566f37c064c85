# SPDX-License-Identifier: MIT
# Tests of addons/trackmeter/durations_table.gd: every vector of
# test/vectors/durations.txt (the file named by TRACKMETER_VECTORS), then what
# the vectors cannot show. Godot 3 runs it:
#   TRACKMETER_VECTORS=test/vectors/durations.txt \
#     godot3-server --no-window -s godot/durations_table_test.gd
# Godot exits 0 even when a script fails to load or stops on an error, so the
# last line it prints, "N passed, 0 failed", is what says the tests passed.
extends SceneTree

const Reader = preload("addons/trackmeter/durations_table.gd")

var _checks = 0
var _failures = 0


func _init():
	# Quit once _init returns, even if an error stops it half-way.
	quit()
	OS.exit_code = 1
	var counts = _run_vectors(OS.get_environment("TRACKMETER_VECTORS"))
	_check(counts["id"] > 0 and counts["table"] > 0 and counts["find"] > 0, "vectors",
			"a kind of vector is missing")
	_bad_arguments()
	print("GDScript reader (Godot %s): %d ids (%d not UTF-8, left out), %d tables, %d lookups"
			% [Engine.get_version_info()["string"], counts["id"], counts["not-utf8"],
			counts["table"], counts["find"]])
	print("%d passed, %d failed" % [_checks - _failures, _failures])
	if _failures == 0:
		OS.exit_code = 0


func _check(ok: bool, where: String, what: String) -> void:
	_checks += 1
	if not ok:
		_failures += 1
		print("FAIL %s: %s" % [where, what])


func _run_vectors(path: String) -> Dictionary:
	var counts = {"id": 0, "not-utf8": 0, "table": 0, "find": 0}
	var file = File.new()
	if path == "" or file.open(path, File.READ) != OK:
		_check(false, "vectors", "cannot read TRACKMETER_VECTORS='%s'" % path)
		return counts
	var lines = file.get_as_text().split("\n")
	file.close()
	var table = null
	for number in range(lines.size()):
		var line = lines[number]
		if line == "" or line.begins_with("#"):
			continue
		var f = line.split(" ")
		var where = "line %d" % (number + 1)
		if f[0] == "id":
			counts["id"] += 1
			var text = _utf8_or_null(_unescape(f[3]))
			if text == null:
				counts["not-utf8"] += 1
			else:
				var got = Reader.path_hash(text, int(f[1]))
				_check(got == int(f[2]), where, "path_hash gave %d" % got)
		elif f[0] == "table":
			counts["table"] += 1
			var parsed = Reader.new()
			var result = parsed.parse(_from_hex(f[4]))
			var message = parsed.get_error_message()
			if f[2] == "ok":
				_check(result == OK and message == "", where, "refused: " + message)
				_check(8 + 8 * parsed.get_count() == f[4].length() / 2, where, "count")
				table = parsed
			else:
				var prefix = "%s at offset %s: " % [f[2], f[3]]
				_check(result == ERR_PARSE_ERROR and message.begins_with(prefix), where,
						"got %d, '%s'" % [result, message])
				_check(parsed.get_count() == 0 and parsed.get_pass() == 0, where,
						"a refused table is not empty")
		elif f[0] == "find" or f[0] == "find-id":
			counts["find"] += 1
			var expected = -1.0 if f[2] == "-" else _float32(float(f[2]))
			var got = -2.0
			if f[0] == "find-id":
				got = table.lookup_id(int(f[1]))
			else:
				var text = _utf8_or_null(_unescape(f[1]))
				_check(text != null, where, "a lookup vector that is not UTF-8")
				if text != null:
					got = table.lookup(text)
			_check(got == expected, where, "got %s, not %s" % [got, expected])
		else:
			_check(false, where, "not a vector: " + line)
	return counts


# What a game may hand over by mistake: the reader says so and holds nothing.
func _bad_arguments() -> void:
	var table = Reader.new()
	var good = _from_hex("0100000001000000b1b3270000002041")
	_check(table.parse(good) == OK and table.lookup("./music/intro.ogg") == 10.0,
			"good table", table.get_error_message())
	for bad in [null, "0100000001000000b1b3270000002041", [1, 0, 0, 0], 16]:
		_check(table.parse(bad) == ERR_INVALID_PARAMETER and table.get_error_message() != "",
				"parse(%s)" % [bad], "accepted")
		_check(table.get_count() == 0 and table.lookup("music/intro.ogg") == -1.0,
				"parse(%s)" % [bad], "kept the table before")
	_check(Reader.new().lookup_id(0) == -1.0 and Reader.new().get_pass() == 0, "new table",
			"not empty")


# The bytes of a vector's path (ASCII, with %HH escapes), as an Array of ints.
func _unescape(text: String) -> Array:
	var ascii = _bytes_of(text)
	var bytes = []
	var i = 0
	while i < ascii.size():
		if ascii[i] == 0x25:  # "%"
			bytes.append(_hex_digit(ascii[i + 1]) * 16 + _hex_digit(ascii[i + 2]))
			i += 3
		else:
			bytes.append(ascii[i])
			i += 1
	return bytes


func _bytes_of(text: String) -> Array:
	var buffer = StreamPeerBuffer.new()
	buffer.put_utf8_string(text)
	buffer.seek(4)
	var bytes = []
	for _i in range(buffer.get_available_bytes()):
		bytes.append(buffer.get_u8())
	return bytes


func _hex_digit(c: int) -> int:
	if c >= 0x30 and c <= 0x39:
		return c - 0x30
	if c >= 0x61 and c <= 0x66:
		return c - 0x61 + 10
	return c - 0x41 + 10


# A byte array (the engine's own type) holding the bytes.
func _byte_array(bytes: Array):
	var buffer = StreamPeerBuffer.new()
	for b in bytes:
		buffer.put_u8(b)
	return buffer.data_array


func _from_hex(hex: String):
	var bytes = []
	if hex != "-":
		var digits = _bytes_of(hex)
		for i in range(0, digits.size(), 2):
			bytes.append(_hex_digit(digits[i]) * 16 + _hex_digit(digits[i + 1]))
	return _byte_array(bytes)


# The string whose UTF-8 bytes these are, or null when they are no UTF-8
# (a String holds only text; the reader takes paths as Strings).
func _utf8_or_null(bytes: Array):
	var i = 0
	while i < bytes.size():
		var b = bytes[i]
		var n = 0
		var low = 0x80
		var high = 0xBF
		if b < 0x80:
			n = 0
		elif b >= 0xC2 and b <= 0xDF:
			n = 1
		elif b >= 0xE0 and b <= 0xEF:
			n = 2
			low = 0xA0 if b == 0xE0 else 0x80
			high = 0x9F if b == 0xED else 0xBF
		elif b >= 0xF0 and b <= 0xF4:
			n = 3
			low = 0x90 if b == 0xF0 else 0x80
			high = 0x8F if b == 0xF4 else 0xBF
		else:
			return null
		if i + n >= bytes.size():
			return null
		for k in range(1, n + 1):
			var c = bytes[i + k]
			if c < (low if k == 1 else 0x80) or c > (high if k == 1 else 0xBF):
				return null
		i += n + 1
	return _byte_array(bytes).get_string_from_utf8()


# x rounded to the nearest binary32, as the table holds it.
func _float32(x: float) -> float:
	var buffer = StreamPeerBuffer.new()
	buffer.put_float(x)
	buffer.seek(0)
	return buffer.get_float()
