#pragma once
// Long work on a terminal (building an index, sending a backlog) as one line that is rewritten in
// place: "mv62-records: indexing: 12000 records, 3105/s". Nothing when standard error is not a
// terminal, so that logs and pipes get no carriage returns.
#include <QElapsedTimer>
#include <QString>

namespace mv62tool {

class ProgressLine {
  public:
    explicit ProgressLine(QString what);
    ~ProgressLine();
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    // `done` so far, of `total` when it is known (not negative); shown at most five times a
    // second.
    void Show(qint64 done, qint64 total = -1);
    // Takes the line off the terminal, so that the next message starts on a clean line.
    void Clear();

  private:
    QString what_;
    bool terminal_;
    QElapsedTimer clock_;
    qint64 shownAt_ = -1;
    int width_ = 0;  // of the line on the terminal
};

}  // namespace mv62tool
