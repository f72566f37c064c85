// SPDX-License-Identifier: MIT
// Every vector of test/vectors/durations.txt, then what the vectors cannot
// show: files.
use std::collections::HashSet;
use std::fs;

use std::error::Error;

use trackmeter_table::{path_hash, ErrorKind, Table, TableError};

const VECTORS: &str = concat!(env!("CARGO_MANIFEST_DIR"), "/../test/vectors/durations.txt");

/// The bytes of a vector's path, its %HH escapes undone.
fn unescape(path: &str) -> Vec<u8> {
    let mut bytes = Vec::new();
    let mut rest = path.as_bytes();
    while let Some((&b, tail)) = rest.split_first() {
        if b == b'%' {
            bytes.push(u8::from_str_radix(std::str::from_utf8(&tail[..2]).unwrap(), 16).unwrap());
            rest = &tail[2..];
        } else {
            bytes.push(b);
            rest = tail;
        }
    }
    bytes
}

fn from_hex(hex: &str) -> Vec<u8> {
    if hex == "-" {
        return Vec::new();
    }
    (0..hex.len())
        .step_by(2)
        .map(|i| u8::from_str_radix(&hex[i..i + 2], 16).unwrap())
        .collect()
}

#[test]
fn every_vector() {
    let text = fs::read_to_string(VECTORS).unwrap();
    let mut kinds = HashSet::new();
    let mut table: Option<Table> = None;
    for (i, line) in text.lines().enumerate() {
        if line.is_empty() || line.starts_with('#') {
            continue;
        }
        let at = format!("line {}: {}", i + 1, line);
        let fields: Vec<&str> = line.split(' ').collect();
        kinds.insert(fields[0]);
        match fields[..] {
            ["id", multiplier, id, path] => {
                let multiplier: u32 = multiplier.parse().unwrap();
                let hashed = path_hash(&unescape(path), multiplier);
                assert_eq!(hashed, id.parse::<u32>().unwrap(), "{}", at);
            }
            ["table", _, result, offset, hex] => {
                let bytes = from_hex(hex);
                match Table::parse(&bytes) {
                    Ok(parsed) => {
                        assert_eq!(result, "ok", "{}", at);
                        assert_eq!(8 + 8 * parsed.len(), bytes.len(), "{}", at);
                        assert_eq!(parsed.pass().to_le_bytes(), bytes[..4], "{}", at);
                        table = Some(parsed);
                    }
                    Err(TableError::Invalid { kind, offset: o }) => {
                        assert_eq!(
                            (kind.name(), o.to_string().as_str()),
                            (result, offset),
                            "{}",
                            at
                        );
                    }
                    Err(e) => panic!("{}: {}", at, e),
                }
            }
            ["find", path, seconds] => {
                let table = table.as_ref().unwrap();
                let bytes = unescape(path);
                let found = table.seconds_for_path_bytes(&bytes);
                // "-", no number, is a path or id not in the table.
                assert_eq!(found, seconds.parse().ok(), "{}", at);
                if let Ok(text) = std::str::from_utf8(&bytes) {
                    assert_eq!(table.seconds_for_path(text), found, "{}", at);
                }
            }
            ["find-id", id, seconds] => {
                let found = table.as_ref().unwrap().seconds_for_id(id.parse().unwrap());
                assert_eq!(found, seconds.parse().ok(), "{}", at);
            }
            _ => panic!("{}: not a vector", at),
        }
    }
    for kind in ["id", "table", "find", "find-id"] {
        assert!(kinds.contains(kind), "no {} vectors", kind);
    }
}

#[test]
fn load_checks_the_size_before_reading() {
    let dir = std::env::temp_dir().join(format!("trackmeter-table-test-{}", std::process::id()));
    fs::create_dir_all(&dir).unwrap();
    let good = dir.join("Durations.bin");
    // Pass 4, one record: id 77, 0.5 seconds.
    fs::write(&good, from_hex("04000000010000004d0000000000003f")).unwrap();
    assert_eq!(Table::load(&good).unwrap().seconds_for_id(77), Some(0.5));
    // A sparse 4 GiB file behind a good header is refused from its size.
    let file = fs::OpenOptions::new().write(true).open(&good).unwrap();
    file.set_len(1 << 32).unwrap();
    let e = Table::load(&good).unwrap_err();
    assert_eq!(
        (e.kind().map(|k| k.name()), e.offset()),
        (Some("trailing"), Some(16))
    );
    let missing = Table::load(dir.join("missing.bin"));
    assert!(matches!(missing, Err(TableError::Io(_))));
    fs::remove_dir_all(&dir).unwrap();
}

#[test]
fn errors_into_box_dyn_error_and_records_in_id_order() {
    fn parse_boxed(bytes: &[u8]) -> Result<Table, Box<dyn Error>> {
        Ok(Table::parse(bytes)?)
    }
    let order = from_hex("0100000002000000090000000000803f0900000000000040");
    let e = parse_boxed(&order).unwrap_err();
    assert_eq!(
        e.to_string(),
        "not a table: an id does not ascend at offset 16"
    );
    let kind = e.downcast_ref::<TableError>().unwrap().kind().unwrap();
    // ErrorKind may grow: without #[non_exhaustive] this `_` arm would be an
    // unreachable pattern, an error under -D warnings.
    let named = match kind {
        ErrorKind::Short | ErrorKind::Pass | ErrorKind::Count => "header",
        ErrorKind::Truncated | ErrorKind::Trailing => "size",
        ErrorKind::Order => "order",
        _ => "newer",
    };
    assert_eq!(named, "order");

    // Ids 0x80000000 and above come last.
    let table = Table::parse(&from_hex(
        "0700000005000000000000000000803e050000000000803f0000008000000040f0ffffff00086145ffffffffcdcccc3d",
    ))
    .unwrap();
    let records: Vec<(u32, f32)> = table.iter().collect();
    assert_eq!(
        records,
        [
            (0, 0.25),
            (5, 1.0),
            (0x8000_0000, 2.0),
            (0xFFFF_FFF0, 3600.5),
            (0xFFFF_FFFF, 0.1)
        ]
    );
    assert_eq!(table.iter().len(), table.len());
    assert_eq!(table.iter().next_back(), Some((0xFFFF_FFFF, 0.1)));
    assert_eq!((&table).into_iter().count(), 5);
}
