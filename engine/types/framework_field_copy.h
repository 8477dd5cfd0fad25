// Copying one value between two framework fields, as table copy, import, export and the SQL
// insert-from-select path need it: values pass in the form that loses nothing between the two field
// kinds, BLOB contents through the fields' BLOB streams.
#pragma once

namespace viz {

class TField;

//! Copies the value of `source` (its dataset's current record) into `target` (whose dataset must be
//! in edit or insert state). A NULL source clears the target. By the field kinds:
//!   - source VarBytes: the raw framework value;
//!   - source Largeint: as a 64-bit integer;
//!   - both BLOB kinds: the bytes from stream to stream, without the 8-byte header (16-bit 1 and 256,
//!     then the 32-bit count of the bytes after it) that some producers put in front of a picture;
//!   - wide string into a BLOB kind: the UTF-16 units without terminator; a BLOB kind into a wide
//!     string: its bytes read as UTF-16;
//!   - otherwise the target takes the source's value as a framework variant.
void CopyFrameworkFieldValue(const TField& source, TField& target);

}  // namespace viz
