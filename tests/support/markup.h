#pragma once

// Text from the network shown as text: markup in it must neither render nor read the
// files it names.

#include <QDir>
#include <QImage>
#include <QLabel>
#include <QTest>
#include <QTextDocumentFragment>

namespace corvane::testing {

// A picture that only markup could show: a red square, written into `folder`.
inline QString writeRedSquare(const QString &folder)
{
    QImage red(40, 40, QImage::Format_RGB32);
    red.fill(Qt::red);
    const QString path = QDir(folder).filePath(QStringLiteral("red.png"));
    if (!red.save(path))
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

// Columns: text. Each row renders differently as markup than as text.
inline void addMarkupRows(const QString &picture)
{
    using namespace Qt::StringLiterals;
    QTest::addColumn<QString>("text");
    QTest::newRow("img of a local file") << u"【<img src=\""_s + picture + u"\" width=40>】"_s;
    QTest::newRow("bold") << u"<b>粗体</b>"_s;
    QTest::newRow("heading") << u"<h1>大</h1>"_s;
    QTest::newRow("entity") << u"A &amp; B"_s;
}

// The widget, drawn, shows some of the red square.
inline bool showsRed(QWidget *widget)
{
    const QImage image = widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == qRgb(255, 0, 0))
                return true;
        }
    }
    return false;
}

// A label showing its text as text is at least as wide as that text.
inline bool showsAsText(const QLabel *label)
{
    return label->sizeHint().width() >= label->fontMetrics().horizontalAdvance(label->text());
}

// What a tooltip shows: Qt takes it for markup whenever it looks like markup.
inline QString shownToolTip(const QString &toolTip)
{
    return Qt::mightBeRichText(toolTip) ? QTextDocumentFragment::fromHtml(toolTip).toPlainText() : toolTip;
}

} // namespace corvane::testing
