#include "RunFilter.h"

namespace mv62rec {

bool RunFilter::SetBound(bool since, const QString& text) {
    if (text.size() == 10 && QDate::fromString(text, Qt::ISODate).isValid()) {
        (since ? sinceDay : untilDay) = text;
        return true;
    }
    if (const QDateTime t = QDateTime::fromString(text, Qt::ISODateWithMs); t.isValid()) {
        (since ? sinceTime : untilTime) = t.toUTC();
        return true;
    }
    return false;
}

bool RunFilter::AcceptsDevice(const QString& runDevice) const {
    return device.isEmpty() || runDevice.contains(device, Qt::CaseInsensitive);
}

}  // namespace mv62rec
