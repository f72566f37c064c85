# SPDX-License-Identifier: MIT
# lookup.gd: as lookup.c, through addons/trackmeter/ copied into a Godot 3
# project whose editor has registered the class, as a game takes it. Godot
# gives a script no arguments of its own, so the table, a file of paths (one a
# line, UTF-8) and the output file come from TABLE, PATHS and OUT in the
# environment; each line out is PATH<TAB>SECONDS or PATH<TAB>not found.
extends SceneTree


func _init():
	quit()
	OS.exit_code = 2
	var file = File.new()
	if file.open(OS.get_environment("TABLE"), File.READ) != OK:
		return
	var durations = DurationsTable.new()
	var status = durations.parse(file.get_buffer(file.get_len()))
	file.close()
	if status != OK:
		printerr("lookup.gd: ", durations.get_error_message())
		return
	file.open(OS.get_environment("PATHS"), File.READ)
	var paths = file.get_as_text().split("\n", false)
	file.close()
	file.open(OS.get_environment("OUT"), File.WRITE)
	for path in paths:
		var seconds = durations.lookup(path)
		file.store_string("%s\t%s\n" % [path, "not found" if seconds < 0.0 else "%.12f" % seconds])
	file.close()
	OS.exit_code = 0
