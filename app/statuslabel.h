#pragma once

#include <QLabel>
#include <QString>

class QFontMetrics;

// `text` as it fits into `width` pixels: the longest port name or path in it
// (a word holding a '/') gives up its middle first, so that both ends of the
// name and the reason after it stay readable; whatever is still too long
// loses its end.
QString elidedStatusText(const QString &text, const QFontMetrics &metrics, int width);

// The status bar's text. However narrow it is made (the progress bar beside
// it takes half the bar), it shows what fits as elidedStatusText() gives it
// and holds the whole text as its tooltip; text() is always the whole text.
class StatusLabel : public QLabel
{
    Q_OBJECT

public:
    explicit StatusLabel(QWidget *parent);

    void showText(const QString &text);
    QString shownText() const;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QRect textRect() const;
};
