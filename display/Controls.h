#pragma once
// Small control helpers shared by the main window and the signal display: the circular indicator
// and the colour properties of labels as the technician sees them.
#include <QColor>
#include <QWidget>

class QLabel;

// A circular indicator with a fill colour and a thin black outline.
class TShape : public QWidget {
    Q_OBJECT
public:
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

void SetFontColor(QWidget* w, const QColor& c);
QColor FontColor(const QWidget* w);
// Opaque background for a label; a label without one shows its parent through.
void SetBackgroundColor(QWidget* w, const QColor& c);
QColor BackgroundColor(const QWidget* w);
