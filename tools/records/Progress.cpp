#include "records/Progress.h"

#include <unistd.h>

#include <cstdio>

namespace mv62tool {

namespace {

constexpr qint64 kEveryMs = 200;

}  // namespace

ProgressLine::ProgressLine(QString what)
    : what_(std::move(what)), terminal_(::isatty(STDERR_FILENO) == 1) {
    clock_.start();
}

ProgressLine::~ProgressLine() {
    Clear();
}

void ProgressLine::Show(qint64 done, qint64 total) {
    const qint64 now = clock_.elapsed();
    if (!terminal_ || (shownAt_ >= 0 && now - shownAt_ < kEveryMs)) {
        return;
    }
    shownAt_ = now;
    QString line = QString("mv62-records: %1: %2").arg(what_, QString::number(done));
    if (total >= 0) {
        line += " of " + QString::number(total);
    }
    line += " records";
    if (now > 0) {
        line += QString(", %1/s").arg(done * 1000 / now);
    }
    const int width = static_cast<int>(line.size());
    const QByteArray text = ('\r' + line.leftJustified(width_) + '\r').toUtf8();
    width_ = width;
    std::fputs(text.constData(), stderr);
    std::fflush(stderr);
}

void ProgressLine::Clear() {
    if (terminal_ && width_ > 0) {
        std::fputs(('\r' + QString(width_, ' ') + '\r').toUtf8().constData(), stderr);
        std::fflush(stderr);
        width_ = 0;
    }
}

}  // namespace mv62tool
