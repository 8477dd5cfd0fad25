// The text of a field as the controls show it. Single-byte fields (strings, memos) hold
// Windows-1252 text; wide strings and wide memos hold UTF-16. Controls speak QString, so every
// value passes through these two functions, which pick the conversion by the field's code page.
#pragma once

#include <QString>

namespace viz {
class TField;
}

namespace viz::ui {

enum class TTextCodePage { SingleByte, Utf16 };

//! The code page of a field's text: UTF-16 for wide strings and for BLOB fields whose stored type is
//! a wide memo, single-byte for every other field.
TTextCodePage FieldCodePage(const TField& field);

//! The whole value of the field as text (memos and BLOBs included); empty for NULL.
QString FieldText(const TField& field);
//! The text a grid cell shows: the display text, but the whole text of wide strings.
QString FieldDisplayText(const TField& field);
//! Writes the text into the field: an empty text makes it NULL. Characters a single-byte field cannot
//! hold become '?'.
void SetFieldText(TField& field, const QString& text);

}  // namespace viz::ui
