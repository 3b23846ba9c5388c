#pragma once
// A run's printable report: one self-contained HTML page (inline CSS and SVG, no scripts, nothing
// fetched) laid out for A4.
#include <QByteArray>

#include "records/RunFolder.h"

namespace mv62tool {

// The run's raw line from its session journal ("ms  tx  55 AA 07  motor test"), found where the
// record says or beside the record; empty with the reason in `note` when it is not at hand.
QStringList RawLine(const FoundRun& r, QString& note);

QByteArray HtmlReport(const FoundRun& r);

}  // namespace mv62tool
