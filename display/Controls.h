#pragma once
// Small control helpers shared by the main window and the signal display: the circular indicator
// and the colour properties of labels as the technician sees them.
#include <QColor>
#include <QFont>
#include <QString>
#include <QWidget>

class QLabel;

// The helpers below and TShape touch a control only when its text or colour changes. Set, every
// call writes the control whether or not anything changes: the plain way, for tests to compare.
void SetTouchUnchanged(bool on);

// A circular indicator with a fill colour and a thin black outline.
class TShape : public QWidget {
    Q_OBJECT
  public:
    // Created 17 x 17; the circle fills whatever rectangle the shape is given.
    explicit TShape(QWidget* parent, QColor fill = Qt::white);
    void SetBrushColor(const QColor& c);
    QColor BrushColor() const { return fill_; }

  protected:
    void paintEvent(QPaintEvent*) override;

  private:
    QColor fill_;
};

// The system's window-text colour.
QColor WindowTextColor();
// The face colour of buttons (the window background).
QColor ButtonFaceColor();

// Font colour of labels, buttons and check boxes alike; nothing happens when it is set already.
void SetFontColor(QWidget* w, const QColor& c);
QColor FontColor(const QWidget* w);
// Opaque background for a label; a label without one shows its parent through.
void SetBackgroundColor(QWidget* w, const QColor& c);
QColor BackgroundColor(const QWidget* w);

// The station's 8-point sans face, 11 pixels high: "Liberation Sans" when installed, otherwise
// "DejaVu Sans". The program installs it application-wide; canvas text uses the same face.
QFont StationFont(bool bold = false);

// Labels that size themselves to their caption. A label marked with SetAutoSize(true) is resized
// to its text at once and again by every SetCaption that changes its text.
void SetAutoSize(QLabel* label, bool on);
bool AutoSize(const QLabel* label);
void SetCaption(QLabel* label, const QString& text);
