// SPDX-License-Identifier: MIT
// lookup TABLE PATH...: as lookup.c, through the crate trackmeter-table taken
// as a git dependency. The paths' bytes are hashed as they are.
use std::env;
use std::os::unix::ffi::OsStrExt;
use std::process::exit;

use trackmeter_table::Table;

fn main() {
    let args: Vec<_> = env::args_os().skip(1).collect();
    let table = Table::load(&args[0]).unwrap_or_else(|e| {
        eprintln!("lookup: {}", e);
        exit(2)
    });
    for path in &args[1..] {
        match table.seconds_for_path_bytes(path.as_bytes()) {
            Some(seconds) => println!("{}\t{}", path.to_string_lossy(), seconds),
            None => println!("{}\tnot found", path.to_string_lossy()),
        }
    }
}
