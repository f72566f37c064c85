// SPDX-License-Identifier: MIT
//! Reading `Durations.bin` tables (format 1), the output of trackmeter.
//!
//! No dependencies and no unsafe code; builds with Rust 1.63. `FORMAT.md`,
//! beside the project's README, describes the table.
//!
//! ```
//! use trackmeter_table::Table;
//!
//! // One file, music\intro.ogg, of 10 seconds.
//! let bytes = [1, 0, 0, 0, 1, 0, 0, 0, 0xB1, 0xB3, 0x27, 0, 0, 0, 0x20, 0x41];
//! let table = Table::parse(&bytes)?;
//! // "/" or "\" between components, a-z in any letter case: the same id.
//! assert_eq!(table.seconds_for_path("Music/Intro.OGG"), Some(10.0));
//! assert_eq!(table.seconds_for_path("music/outro.ogg"), None);
//! # Ok::<(), trackmeter_table::TableError>(())
//! ```
#![forbid(unsafe_code)]
#![warn(missing_docs)]

use std::fmt;
use std::fs::File;
use std::io::{self, Read};
use std::path::Path;

/// The bytes of the header: `pass` (u32) and `count` (i32), little-endian.
pub const HEADER_SIZE: usize = 8;
/// The bytes of a record: `id` (u32) and `seconds` (f32), little-endian.
pub const RECORD_SIZE: usize = 8;

/// The byte the hash sees for `b`: a-z become A-Z, `/` becomes `\`, every
/// other byte (0x80 and above too) stays. Not a locale's upper case.
const fn fold_byte(b: u8) -> u8 {
    match b {
        b'a'..=b'z' => b - 0x20,
        b'/' => b'\\',
        _ => b,
    }
}

/// The id of the relative path `path` under `multiplier`, which is a
/// table's `pass` plus 1: for each folded byte, `h = h * multiplier + byte`,
/// modulo 2^32. A `const fn`, so ids can be constants.
///
/// ```
/// const INTRO: u32 = trackmeter_table::path_hash(b"music/intro.ogg", 2);
/// assert_eq!(INTRO, 2601905);
/// assert_eq!(trackmeter_table::path_hash(b"MUSIC\\INTRO.OGG", 2), INTRO);
/// ```
pub const fn path_hash(path: &[u8], multiplier: u32) -> u32 {
    let mut h: u32 = 0;
    let mut i = 0;
    while i < path.len() {
        h = h
            .wrapping_mul(multiplier)
            .wrapping_add(fold_byte(path[i]) as u32);
        i += 1;
    }
    h
}

/// The check a table failed, in the order they are made; the numbers are
/// the C header's `TRACKMETER_ERR_*` codes. A later version may add checks,
/// so a `match` on it needs a `_` arm.
#[derive(Debug, Clone, Copy, PartialEq, Eq, Hash)]
#[non_exhaustive]
pub enum ErrorKind {
    /// Fewer than the 8 bytes of the header; the offset is the size.
    Short = 2,
    /// `pass` is 0; offset 0.
    Pass = 3,
    /// `count` is below 1; offset 4.
    Count = 4,
    /// Fewer bytes than 8 + 8 × `count`; the offset is the size.
    Truncated = 5,
    /// More bytes than 8 + 8 × `count`; the offset is 8 + 8 × `count`.
    Trailing = 6,
    /// An id not above the one before it (unsigned); the offset is its record's.
    Order = 7,
}

impl ErrorKind {
    /// The error's name in FORMAT.md: `"short"`, `"pass"`, `"count"`,
    /// `"truncated"`, `"trailing"` or `"order"`.
    pub fn name(self) -> &'static str {
        match self {
            ErrorKind::Short => "short",
            ErrorKind::Pass => "pass",
            ErrorKind::Count => "count",
            ErrorKind::Truncated => "truncated",
            ErrorKind::Trailing => "trailing",
            ErrorKind::Order => "order",
        }
    }

    /// The C header's phrase for it.
    fn text(self) -> &'static str {
        match self {
            ErrorKind::Short => "shorter than the 8-byte header",
            ErrorKind::Pass => "pass is 0",
            ErrorKind::Count => "count is below 1",
            ErrorKind::Truncated => "shorter than its count of records",
            ErrorKind::Trailing => "bytes after the last record",
            ErrorKind::Order => "an id does not ascend",
        }
    }
}

/// Why a table could not be had.
#[derive(Debug)]
pub enum TableError {
    /// The bytes are not a valid table: the first check that failed, and
    /// the offset in the bytes where the fault lies.
    Invalid {
        /// The check.
        kind: ErrorKind,
        /// Where, as FORMAT.md gives it for each check.
        offset: u64,
    },
    /// The file could not be read.
    Io(io::Error),
}

impl TableError {
    /// The failed check, or `None` for an I/O error.
    pub fn kind(&self) -> Option<ErrorKind> {
        match self {
            TableError::Invalid { kind, .. } => Some(*kind),
            TableError::Io(_) => None,
        }
    }

    /// Where the fault lies, or `None` for an I/O error.
    pub fn offset(&self) -> Option<u64> {
        match self {
            TableError::Invalid { offset, .. } => Some(*offset),
            TableError::Io(_) => None,
        }
    }
}

impl fmt::Display for TableError {
    fn fmt(&self, f: &mut fmt::Formatter<'_>) -> fmt::Result {
        match self {
            TableError::Invalid { kind, offset } => {
                write!(f, "not a table: {} at offset {}", kind.text(), offset)
            }
            TableError::Io(e) => write!(f, "cannot read the table: {}", e),
        }
    }
}

impl std::error::Error for TableError {
    fn source(&self) -> Option<&(dyn std::error::Error + 'static)> {
        match self {
            TableError::Io(e) => Some(e),
            TableError::Invalid { .. } => None,
        }
    }
}

impl From<io::Error> for TableError {
    fn from(e: io::Error) -> Self {
        TableError::Io(e)
    }
}

fn invalid(kind: ErrorKind, offset: u64) -> TableError {
    TableError::Invalid { kind, offset }
}

fn le32(bytes: &[u8], at: usize) -> u32 {
    u32::from_le_bytes([bytes[at], bytes[at + 1], bytes[at + 2], bytes[at + 3]])
}

/// Every check but the order of the ids, from the first `min(size, 8)`
/// bytes of a table of `size` bytes; the number of records when they pass.
fn check_header(header: &[u8], size: u64) -> Result<usize, TableError> {
    if size < HEADER_SIZE as u64 {
        return Err(invalid(ErrorKind::Short, size));
    }
    if le32(header, 0) == 0 {
        return Err(invalid(ErrorKind::Pass, 0));
    }
    let count = le32(header, 4) as i32;
    if count < 1 {
        return Err(invalid(ErrorKind::Count, 4));
    }
    let expected = HEADER_SIZE as u64 + RECORD_SIZE as u64 * count as u64;
    if size < expected {
        return Err(invalid(ErrorKind::Truncated, size));
    }
    if size > expected {
        return Err(invalid(ErrorKind::Trailing, expected));
    }
    Ok(count as usize)
}

/// The path without its leading `./` or `.\`, as many as it has, so long as
/// something follows: a shell's completion gives one, the table's paths
/// never start with one.
fn without_dot_slash(mut path: &[u8]) -> &[u8] {
    while path.len() > 2 && path[0] == b'.' && (path[1] == b'/' || path[1] == b'\\') {
        path = &path[2..];
    }
    path
}

/// A checked table: its `pass` and its records, ascending by id.
#[derive(Debug, Clone, PartialEq)]
pub struct Table {
    pass: u32,
    ids: Vec<u32>,
    seconds: Vec<f32>,
}

impl Table {
    /// The table in `bytes`, checked whole as FORMAT.md lists. The table
    /// keeps its own copy of the records.
    pub fn parse(bytes: &[u8]) -> Result<Table, TableError> {
        let count = check_header(bytes, bytes.len() as u64)?;
        let mut ids = Vec::with_capacity(count);
        let mut seconds = Vec::with_capacity(count);
        for (i, record) in bytes[HEADER_SIZE..].chunks_exact(RECORD_SIZE).enumerate() {
            let id = le32(record, 0);
            if ids.last().map_or(false, |&last| id <= last) {
                return Err(invalid(
                    ErrorKind::Order,
                    (HEADER_SIZE + RECORD_SIZE * i) as u64,
                ));
            }
            ids.push(id);
            seconds.push(f32::from_bits(le32(record, 4)));
        }
        Ok(Table {
            pass: le32(bytes, 0),
            ids,
            seconds,
        })
    }

    /// The table in the file at `path`. The header is checked against the
    /// file's size before the records are read, so a huge file is refused
    /// unread.
    pub fn load<P: AsRef<Path>>(path: P) -> Result<Table, TableError> {
        let mut file = File::open(path)?;
        let size = file.metadata()?.len();
        let mut bytes = Vec::new();
        (&mut file)
            .take(HEADER_SIZE as u64)
            .read_to_end(&mut bytes)?;
        // A file shorter than its header is refused for the bytes it gave.
        let checked = if bytes.len() < HEADER_SIZE {
            bytes.len() as u64
        } else {
            size
        };
        check_header(&bytes, checked)?;
        file.read_to_end(&mut bytes)?;
        Table::parse(&bytes)
    }

    /// The table's `pass`: its ids use the multiplier `pass` + 1.
    pub fn pass(&self) -> u32 {
        self.pass
    }

    /// The number of records, at least 1.
    #[allow(clippy::len_without_is_empty)] // a valid table is never empty
    pub fn len(&self) -> usize {
        self.ids.len()
    }

    /// The seconds of the record with this id, or `None`.
    pub fn seconds_for_id(&self, id: u32) -> Option<f32> {
        self.ids.binary_search(&id).ok().map(|i| self.seconds[i])
    }

    /// The records as `(id, seconds)`, ascending by id.
    ///
    /// ```
    /// # let bytes = [1, 0, 0, 0, 1, 0, 0, 0, 0xB1, 0xB3, 0x27, 0, 0, 0, 0x20, 0x41];
    /// let table = trackmeter_table::Table::parse(&bytes)?;
    /// let total: f32 = table.iter().map(|(_, seconds)| seconds).sum();
    /// assert_eq!(total, 10.0);
    /// # Ok::<(), trackmeter_table::TableError>(())
    /// ```
    pub fn iter(&self) -> Iter<'_> {
        Iter {
            records: self.ids.iter().zip(self.seconds.iter()),
        }
    }

    /// The seconds of the file at the relative path given as bytes (as the
    /// file system gave them), or `None`; a leading `./` is dropped. A path
    /// that is not in the table may still share an id with one that is.
    pub fn seconds_for_path_bytes(&self, path: &[u8]) -> Option<f32> {
        self.seconds_for_id(path_hash(
            without_dot_slash(path),
            self.pass.wrapping_add(1),
        ))
    }

    /// The seconds of the file at the relative path, hashed as its UTF-8
    /// bytes, or `None`; a leading `./` is dropped.
    pub fn seconds_for_path(&self, path: &str) -> Option<f32> {
        self.seconds_for_path_bytes(path.as_bytes())
    }
}

impl<'a> IntoIterator for &'a Table {
    type Item = (u32, f32);
    type IntoIter = Iter<'a>;

    fn into_iter(self) -> Iter<'a> {
        self.iter()
    }
}

/// The records of a [`Table`] as `(id, seconds)`, ascending by id: what
/// [`Table::iter`] gives.
#[derive(Debug, Clone)]
pub struct Iter<'a> {
    records: std::iter::Zip<std::slice::Iter<'a, u32>, std::slice::Iter<'a, f32>>,
}

impl Iterator for Iter<'_> {
    type Item = (u32, f32);

    fn next(&mut self) -> Option<(u32, f32)> {
        self.records.next().map(|(&id, &seconds)| (id, seconds))
    }

    fn size_hint(&self) -> (usize, Option<usize>) {
        self.records.size_hint()
    }
}

impl DoubleEndedIterator for Iter<'_> {
    fn next_back(&mut self) -> Option<(u32, f32)> {
        self.records
            .next_back()
            .map(|(&id, &seconds)| (id, seconds))
    }
}

impl ExactSizeIterator for Iter<'_> {}

impl std::iter::FusedIterator for Iter<'_> {}
