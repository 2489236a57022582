#include "app/statuslabel.h"

#include <QFontMetrics>
#include <QPainter>
#include <QRegularExpression>
#include <QStyle>

#include <algorithm>

namespace {

// Characters of a port name that stay on either side of the ellipsis.
constexpr int LeastKeptCharacters = 8;

}  // namespace

QString elidedStatusText(const QString &text, const QFontMetrics &metrics, int width)
{
    // Eliding measures in fractions of a pixel, horizontalAdvance() rounds:
    // whether a text fits is eliding's own judgement.
    const auto fits = [&](const QString &candidate) {
        return metrics.elidedText(candidate, Qt::ElideRight, width) == candidate;
    };
    if (fits(text))
        return text;
    static const QRegularExpression pathLike(QStringLiteral("\\S*/\\S*"));
    QRegularExpressionMatch longest;
    for (auto matches = pathLike.globalMatch(text); matches.hasNext();) {
        const QRegularExpressionMatch match = matches.next();
        if (!longest.hasMatch() || match.capturedLength() > longest.capturedLength())
            longest = match;
    }
    QString shortened = text;
    if (longest.hasMatch()) {
        const QString before = text.left(longest.capturedStart());
        const QString after = text.mid(longest.capturedEnd());
        const int least = metrics.horizontalAdvance(QString(LeastKeptCharacters, QLatin1Char('x')))
                          + metrics.horizontalAdvance(QChar(0x2026));
        // The parts' widths need not add up to the whole's: take off what
        // the whole still has too much.
        int room = std::max(width - metrics.horizontalAdvance(before + after), least);
        for (int attempt = 0; attempt < 4; ++attempt) {
            shortened = before + metrics.elidedText(longest.captured(), Qt::ElideMiddle, room) + after;
            if (fits(shortened) || room == least)
                break;
            room = std::max(room - std::max(metrics.horizontalAdvance(shortened) - width, 1), least);
        }
    }
    return metrics.elidedText(shortened, Qt::ElideRight, width);
}

StatusLabel::StatusLabel(QWidget *parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);  // it shows the device's name
    // The text never asks for room: it shares the bar with the progress bar
    // by their stretch alone.
    setSizePolicy(QSizePolicy::Ignored, sizePolicy().verticalPolicy());
}

void StatusLabel::showText(const QString &text)
{
    setText(text);
    setToolTip(text.trimmed().isEmpty() ? QString() : text);
}

QString StatusLabel::shownText() const
{
    return elidedStatusText(text(), fontMetrics(), textRect().width());
}

QSize StatusLabel::minimumSizeHint() const
{
    return {0, QLabel::minimumSizeHint().height()};
}

QRect StatusLabel::textRect() const
{
    return contentsRect().adjusted(margin(), margin(), -margin(), -margin());
}

void StatusLabel::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    drawFrame(&painter);
    const int flags = int(QStyle::visualAlignment(layoutDirection(), alignment())) | Qt::TextSingleLine;
    style()->drawItemText(&painter, textRect(), flags, palette(), isEnabled(), shownText(), foregroundRole());
}
