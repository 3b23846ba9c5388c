#pragma once
// Text from a device, an operator or a configuration is data wherever it is written: one function
// per medium, so that no field reaches a spreadsheet as a formula, a terminal as a control
// sequence or a page as markup.
#include <QString>

#include "TerminalText.h"

namespace mv62rec {

// On a terminal: control characters shown as visible escapes (see TerminalText.h).
QString TerminalText(const QString& text);

// One CSV field (RFC 4180): quoted when it holds a quote, a comma or a line break. A text that a
// spreadsheet would take as a formula (it begins with '=', '+', '-', '@', TAB or CR) gets an
// apostrophe in front; a number such as "-5" stays a number.
QString CsvField(const QString& text);

// In HTML text or a quoted attribute: <, >, & and " escaped.
QString HtmlText(const QString& text);

}  // namespace mv62rec
