#include "Controls.h"

#include <QLabel>
#include <QPainter>
#include <QPalette>
#include <QVariant>

#include "CanvasText.h"

namespace {
// Set by tests for the plain way: every label and lamp written, changed or not.
bool g_touchUnchanged = false;
}  // namespace

void SetTouchUnchanged(bool on) {
    g_touchUnchanged = on;
}

TShape::TShape(QWidget* parent, QColor fill) : QWidget(parent), fill_(fill) {
    resize(17, 17);
}

void TShape::SetBrushColor(const QColor& c) {
    if (c == fill_ && !g_touchUnchanged) {
        return;
    }
    fill_ = c;
    update();
}

void TShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(Qt::black, 1));
    painter.setBrush(fill_);
    // The outline's right and bottom pixels lie on the last column and row.
    painter.drawEllipse(rect().adjusted(0, 0, -1, -1));
}

QColor WindowTextColor() {
    return QColor(0, 0, 0);
}

QColor ButtonFaceColor() {
    return QColor(0xF0, 0xF0, 0xF0);
}

namespace {

// True when setting `p` on w would change nothing: the widget already has exactly this palette
// as its own. Setting a palette costs a resolution against the inherited one and a repaint.
bool HasOwnPalette(const QWidget* w, const QPalette& p) {
    return !g_touchUnchanged && w->testAttribute(Qt::WA_SetPalette) && p == w->palette() &&
           p.resolveMask() == w->palette().resolveMask();
}

}  // namespace

void SetFontColor(QWidget* w, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, c);
    p.setColor(QPalette::ButtonText, c);
    p.setColor(QPalette::Text, c);
    if (HasOwnPalette(w, p)) {
        return;
    }
    w->setPalette(p);
}

QColor FontColor(const QWidget* w) {
    return w->palette().color(w->foregroundRole());
}

void SetBackgroundColor(QWidget* w, const QColor& c) {
    QPalette p = w->palette();
    p.setColor(QPalette::Window, c);
    if (HasOwnPalette(w, p) && w->autoFillBackground()) {
        return;
    }
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

QColor BackgroundColor(const QWidget* w) {
    return w->palette().color(QPalette::Window);
}

QFont StationFont(bool bold) {
    TFont face;
    face.Bold = bold;
    QFont f = CanvasQFont(face);
    f.setStyleStrategy(QFont::PreferDefault);
    return f;
}

namespace {
constexpr const char* kAutoSizeProperty = "mv62AutoSize";
}

void SetAutoSize(QLabel* label, bool on) {
    label->setProperty(kAutoSizeProperty, on);
    if (on) {
        label->adjustSize();
    }
}

bool AutoSize(const QLabel* label) {
    return label->property(kAutoSizeProperty).toBool();
}

void SetCaption(QLabel* label, const QString& text) {
    if (label->text() == text && !g_touchUnchanged) {
        return;  // nothing to show anew, nor to measure
    }
    label->setText(text);
    if (AutoSize(label)) {
        label->adjustSize();
    }
}
