#pragma once
// The session journal on disk: JSON lines, one event a line, each handed to the operating system
// as it is written, so that a station that is killed loses at most the line being written.
#include <QFile>
#include <QJsonObject>
#include <QString>
#include <cstdint>
#include <span>
#include <vector>

namespace mv62rec {

class JournalWriter {
  public:
    // Creates the file (never over an existing one).
    bool Open(const QString& path, QString& error);
    // Writes one line (see JournalLines.h) with a single write to the operating system; no sync.
    bool Append(const QByteArray& line, QString& error) { return WriteLine(line, error); }
    // Holds a line back until the next line or Flush, to go out in the same write: the receive
    // handler applies a block's frame at once, without waiting or letting the message queue run,
    // and one write a receive event is what a stream costs.
    bool Hold(QByteArray line, QString& error);
    // Writes a line still held.
    bool Flush(QString& error);
    // Puts everything written so far on the disk.
    bool Sync();
    // Gives the open file a new name; writing goes on into the same file.
    bool Rename(const QString& path, QString& error);

    // Closes the file; one that could not take even its first line is removed (Path() is then
    // empty).
    void Close();

    bool IsOpen() const { return file_.isOpen(); }
    const QString& Path() const { return path_; }

  private:
    // Whole lines only: a line the file could not take whole is cut back off it.
    bool WriteLine(const QByteArray& line, QString& error);

    QFile file_;
    QString path_;
    QByteArray held_;
    qint64 written_ = 0;  // bytes of whole lines in the file
};

// The longest line a journal reader takes; a longer one is passed over as not an event.
inline constexpr qint64 kLongestJournalLine = 1 << 20;

// A session journal read line by line, one line in memory at a time, however large the file.
class JournalReader {
  public:
    // Regular files only (see OpenRegularFile); false with the reason.
    bool Open(const QString& path, QString& error);
    // The next event; false at the end. A last line cut off in the middle (a killed station) is
    // passed over and counted in CutLines(); so is any other line that is not a JSON object.
    bool Next(QJsonObject& event);
    int CutLines() const { return cutLines_; }

  private:
    QFile file_;
    QByteArray buffer_;
    int cutLines_ = 0;
};

// Every event of a journal (see JournalReader), for journals known to be small.
std::vector<QJsonObject> ReadJournal(const QString& path, int* cutLines = nullptr);

}  // namespace mv62rec
