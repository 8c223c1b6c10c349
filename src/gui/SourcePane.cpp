#include "gui/SourcePane.h"

#include "plist/JsonWriter.h"
#include "plist/Parse.h"

#include <QFile>
#include <QFontDatabase>
#include <QPaintEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QTextBlock>

namespace gui {

class LineMargin : public QWidget {
public:
    explicit LineMargin(SourcePane* pane) : QWidget(pane), mPane(pane) {}
    QSize sizeHint() const override { return QSize(mPane->marginWidth(), 0); }

protected:
    void paintEvent(QPaintEvent* event) override { mPane->paintMargin(event); }

private:
    SourcePane* mPane;
};

namespace {

QColor severityColor(report::Severity severity)
{
    switch (severity) {
    case report::Severity::Error: return QColor(0xd0, 0x30, 0x30);
    case report::Severity::Warning: return QColor(0xe0, 0xa0, 0x00);
    case report::Severity::Note: return QColor(0x30, 0x70, 0xd0);
    }
    return Qt::gray;
}

} // namespace

SourcePane::SourcePane(QWidget* parent) : QPlainTextEdit(parent), mMargin(new LineMargin(this))
{
    setReadOnly(true);
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setAccessibleName(tr("Source"));
    connect(this, &QPlainTextEdit::blockCountChanged, this, [this] { setViewportMargins(marginWidth(), 0, 0, 0); });
    connect(this, &QPlainTextEdit::updateRequest, this, [this](const QRect& rect, int dy) {
        if (dy)
            mMargin->scroll(0, dy);
        else
            mMargin->update(0, rect.y(), mMargin->width(), rect.height());
    });
    setViewportMargins(marginWidth(), 0, 0, 0);
}

int SourcePane::marginWidth() const
{
    const int digits = static_cast<int>(QString::number(std::max(1, blockCount())).size());
    // The digits, and room for a finding's mark.
    return fontMetrics().horizontalAdvance(QLatin1Char('9')) * (digits + 2) + 6;
}

void SourcePane::resizeEvent(QResizeEvent* event)
{
    QPlainTextEdit::resizeEvent(event);
    const QRect area = contentsRect();
    mMargin->setGeometry(QRect(area.left(), area.top(), marginWidth(), area.height()));
}

void SourcePane::paintMargin(QPaintEvent* event)
{
    QPainter painter(mMargin);
    painter.fillRect(event->rect(), palette().window());
    const int lineHeight = fontMetrics().height();
    const int mark = lineHeight / 2;
    QTextBlock block = firstVisibleBlock();
    int top = qRound(blockBoundingGeometry(block).translated(contentOffset()).top());
    while (block.isValid() && top <= event->rect().bottom()) {
        const int line = block.blockNumber() + 1;
        if (block.isVisible()) {
            painter.setPen(line == mLit ? palette().text().color() : palette().placeholderText().color());
            painter.drawText(0, top, mMargin->width() - mark - 6, lineHeight, Qt::AlignRight, QString::number(line));
            if (auto it = mMarks.constFind(line); it != mMarks.constEnd()) {
                painter.setPen(Qt::NoPen);
                painter.setBrush(severityColor(*it));
                painter.drawEllipse(QRect(mMargin->width() - mark - 3, top + (lineHeight - mark) / 2, mark, mark));
            }
        }
        top += qRound(blockBoundingRect(block).height());
        block = block.next();
    }
}

int SourcePane::lineOf(const report::Finding& finding) const
{
    if (!mTextForm)
        return finding.position.line;
    if (finding.keyPath.isEmpty())
        return 1;
    // In the JSON form: each key of the path after the one before it.
    int at = 0;
    const QString text = toPlainText();
    static const QRegularExpression keys(QStringLiteral(R"((?:^|\.)([^.\[]+))"));
    for (const QRegularExpressionMatch& key : keys.globalMatch(finding.keyPath)) {
        const qsizetype found = text.indexOf(QLatin1Char('"') + key.captured(1) + QStringLiteral("\":"), at);
        if (found < 0)
            break;
        at = static_cast<int>(found);
    }
    return document()->findBlock(at).blockNumber() + 1;
}

bool SourcePane::showFinding(const QString& path, const report::Finding& finding,
                             const QList<report::Finding>& findings)
{
    if (path != mPath) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray bytes = file.readAll();
        mTextForm = bytes.startsWith("bplist");
        QString text = QString::fromUtf8(bytes);
        if (mTextForm) {
            const plist::ParseResult parsed = plist::parse(bytes);
            text = parsed.ok() ? QString::fromUtf8(plist::toJson(*parsed.value)) : parsed.errorText();
        }
        setPlainText(text);
        mPath = path;
    }
    mMarks.clear();
    for (const report::Finding& other : findings) {
        if (other.fileRead != finding.fileRead)
            continue;
        const int line = lineOf(other);
        auto it = mMarks.find(line);
        if (line > 0 && (it == mMarks.end() || other.severity < *it))
            mMarks.insert(line, other.severity);
    }
    mLit = lineOf(finding);
    QList<QTextEdit::ExtraSelection> lit;
    if (mLit > 0) {
        QTextEdit::ExtraSelection line;
        line.cursor = QTextCursor(document()->findBlockByNumber(mLit - 1));
        line.format.setBackground(severityColor(finding.severity).lighter(170));
        line.format.setProperty(QTextFormat::FullWidthSelection, true);
        lit << line;
        setTextCursor(line.cursor);
        centerCursor();
    }
    setExtraSelections(lit);
    mMargin->update();
    return true;
}

} // namespace gui
