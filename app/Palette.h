#pragma once
// The window's colours, one name each, as the status panel, the indicators and the designed
// controls use them. The system's window-text colour is WindowTextColor() of the display room.
#include <QColor>

namespace colours {
inline const QColor Red{0xFF, 0x00, 0x00};
inline const QColor Green{0x00, 0xFF, 0x00};  // also the lime of the green pilot lamp
inline const QColor Blue{0x00, 0x00, 0xFF};
inline const QColor Yellow{0xFF, 0xFF, 0x00};
inline const QColor White{0xFF, 0xFF, 0xFF};
inline const QColor Black{0x00, 0x00, 0x00};
inline const QColor Grey{0x80, 0x80, 0x80};    // switch positions without a result
inline const QColor Silver{0xC0, 0xC0, 0xC0};  // behind the sensor offset
inline const QColor Cream{0xFF, 0xFB, 0xF0};   // behind the status values
inline const QColor Light{0xE3, 0xE3, 0xE3};   // the 3D light colour behind the sensor readings
}  // namespace colours
